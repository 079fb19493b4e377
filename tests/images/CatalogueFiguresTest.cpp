// LumivaneCatalogueFigures names what ships: its SHA-256 of each embedded text and of each flat
// image as sent, against sha256sum of the same bytes.
#include <string>

#include "BinImage.h"
#include "ImageTestSupport.h"
#include "RunProgram.h"
#include "TempDir.h"
#include "LumivaneFwUpgrade.h"

namespace {

std::string sha256sum(const testsupport::TempDir &dir, const std::string &bytes)
{
    std::string path = dir.file("bytes");
    testsupport::writeFile(path, bytes);
    testsupport::RunOptions options;
    options.argv = {"/usr/bin/sha256sum", path};
    return testsupport::runProgram(options).out.substr(0, 64);
}

TEST_F(FlatImageTest, FiguresProgramPrintsTheSha256OfTextsAndFlatImages)
{
    testsupport::RunOptions options;
    options.argv = {LUMIVANE_CATALOGUE_FIGURES_PROGRAM};
    testsupport::RunResult figures = testsupport::runProgram(options);
    EXPECT_EQ(figures.exitStatus, 0) << figures.out;
    testsupport::TempDir dir;
    for (const autogen_files &entry : AUTOGEN_FILES) {
        std::string text(entry.fileData, (size_t)entry.fileDataLength);
        BuildResult flat = build(text);
        ASSERT_TRUE(flat.ok);
        std::string sent((const char *)gDataConcatenated, (size_t)flat.length);
        size_t at = figures.out.find(entry.filePath);
        ASSERT_NE(at, std::string::npos) << entry.filePath;
        EXPECT_NE(figures.out.find("\n    sha256 text " + sha256sum(dir, text) + "\n    sha256 flat " +
                                       sha256sum(dir, sent) + "\n", at),
                  std::string::npos)
            << entry.filePath << "\n" << figures.out;
    }
}

}  // namespace
