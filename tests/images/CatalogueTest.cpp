// The embedded catalogue against the release manifest: each entry names its text, the flat
// image built from it has the published length and checksum, and LumivaneCatalogueFigures
// prints the SHA-256 of both that sha256sum gives.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "BinImage.h"
#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "ReleaseManifest.h"
#include "RunProgram.h"

namespace {

std::string sha256sum(const std::string &bytes)
{
    return outputOnFile({"/usr/bin/sha256sum"}, bytes).substr(0, 64);
}

TEST_F(FlatImageTest, CatalogueHoldsTheManifestsFiguresAndTheFiguresProgramTheirSha256)
{
    testsupport::RunOptions options;
    options.argv = {LUMIVANE_CATALOGUE_FIGURES_PROGRAM};
    const testsupport::RunResult figures = testsupport::runProgram(options);
    EXPECT_EQ(figures.exitStatus, 0) << figures.out;
    ASSERT_EQ(std::size(AUTOGEN_FILES), std::size(RELEASE_ENTRIES));
    for (size_t i = 0; i < std::size(AUTOGEN_FILES); i++) {
        const autogen_files &entry = AUTOGEN_FILES[i];
        const ReleaseEntry &published = RELEASE_ENTRIES[i];
        SCOPED_TRACE(published.file);
        EXPECT_STREQ(entry.filePath, published.file);
        EXPECT_EQ(entry.filePathLength, (int)strlen(published.file));
        EXPECT_EQ(entry.fileDataLength, published.textLength);
        EXPECT_EQ((int)strlen(entry.fileData), published.textLength);
        const std::string text(entry.fileData, (size_t)entry.fileDataLength);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), published.lines);
        const BuildResult flat = build(text);
        ASSERT_TRUE(flat.ok) << flat.output;
        EXPECT_EQ(flat.output, "");
        EXPECT_EQ(flat.length, published.flatLength);
        EXPECT_EQ(flat.checksum, published.checksum);
        const std::string sent((const char *)gDataConcatenated, (size_t)flat.length);
        const size_t at = figures.out.find(entry.filePath);
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(figures.out.find("\n    sha256 text " + sha256sum(text) + "\n    sha256 flat " +
                                       sha256sum(sent) + "\n",
                                   at),
                  std::string::npos)
            << figures.out;
    }
}

} // namespace
