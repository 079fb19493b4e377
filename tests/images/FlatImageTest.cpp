// The flat image builder on small texts (the length rule, the checksum, the upper address
// rule, and the lines it refuses), and on the catalogue's texts against the release manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "BinImage.h"
#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "ReleaseManifest.h"
#include "RunProgram.h"
#include "TempDir.h"

namespace {

// The flat image's bytes from address `from` on.
std::vector<uint8_t> flatImage(uint32_t from, size_t count)
{
    return std::vector<uint8_t>(gDataConcatenated + from, gDataConcatenated + from + count);
}

const std::string EOF_RECORD = ":00000001FF\r\n";
const std::string INVALID = "\r\n intel_hex_line_is_valid \r\n";

std::string upper(uint16_t upperAddress)
{
    return hexRecord(4, 0, {(uint8_t)(upperAddress >> 8), (uint8_t)upperAddress});
}
std::string data(uint16_t address, std::vector<uint8_t> bytes)
{
    return hexRecord(0, address, bytes);
}

struct BuildCase {
    const char *name;
    std::string text;
    bool ok;
    int length;
    uint32_t checksum;
    std::string output;
    uint32_t at = 0; // where `bytes` must lie in the flat image
    std::vector<uint8_t> bytes = {};
};

std::vector<BuildCase> buildCases()
{
    const std::string page1 = upper(0x8001) + data(0x0010, {1, 2, 3, 4}) + EOF_RECORD;
    const std::string line44 = data(0x0100, std::vector<uint8_t>(44, 0x11));
    const std::string beyond = data(0xFFF8, std::vector<uint8_t>(9, 6));
    const std::string format = ":%s%n%s%n%s1\r\n";
    // clang-format off
    return {
        // The length is the last record's address, so its own bytes lie beyond it: 2^32 - 65552 * 255.
        {"UpperAddressKeepsItsLowByte", page1, true, 65552, 4278251536u, "", 0x1000E, {0xFF, 0xFF, 1, 2, 3, 4, 0xFF}},
        {"LineFeedEndings", std::regex_replace(page1, std::regex("\r\n"), "\n"), true, 65552, 4278251536u, ""},
        {"CarriageReturnEndings", std::regex_replace(page1, std::regex("\r\n"), "\r"), true, 65552, 4278251536u, ""},
        {"DescendingRecordsGiveLowerAddress", data(0x0020, {0}) + data(0x0004, {0}) + EOF_RECORD, true, 4, 0u - 4 * 255, ""},
        {"LaterRecordsOverwriteEarlierOnes", data(0, {1, 2, 3}) + data(1, {9}), true, 1, 0u - 1, "", 0, {1, 9, 3}},
        {"LowerCaseDigits", ":01000200ab52\r\n" + EOF_RECORD, true, 2, 0u - 510, "", 2, {0xAB}},
        {"NoDataRecord", upper(0) + EOF_RECORD, true, 0, 0, ""},
        {"OtherRecordTypesPassedOver",
         ":" + EOF_RECORD + ":" + data(0x0002, {0}) + hexRecord(2, 0, {0x10, 0}) + hexRecord(3, 0, {0, 0, 0, 0}) +
             hexRecord(5, 0, {0x80, 0, 0x80, 0x08}),
         true, 2, 0u - 510, ""},
        {"TextAfterTheLineBreakIgnored", data(0x0002, {0}) + "  junk\r\n" + EOF_RECORD, true, 2, 0u - 510, ""},
        {"EmptyText", "", false, 0, 0, "\r\nNUL extractedHexLine \r\n"},
        {"BadChecksumOnThirdLine", data(0x0008, {0}) + data(0x0010, {0}) + ":01001800007F\r\n" + data(0x0020, {0}),
         false, 16, 0u - 15 * 255, INVALID + ":01001800007F\r\n"},
        {"LinePrintedAsTextNotFormat", format, false, 0, 0, INVALID + format},
        {"LongestLineThatFitsTheBuffer", data(0x0100, std::vector<uint8_t>(43, 0x11)), true, 256, 0u - 256 * 255, ""},
        {"LineOverrunningTheBuffer", line44 + EOF_RECORD, false, 0, 0, INVALID + line44},
        {"UpperAddressWithOneByte", ":0100000401FA\r\n" + data(0, {0}), false, 0, 0, INVALID + ":0100000401FA\r\n"},
        {"RecordEndingAtTheImageEnd", upper(0x003F) + data(0xFFF8, std::vector<uint8_t>(8, 0)), true, 0x3FFFF8,
         0u - 0x3FFFF8u * 255, ""},
        // The refused record writes nothing.
        {"RecordReachingBeyondTheImage", upper(0x003F) + data(0xFFF0, {5}) + beyond, false, 0x3FFFF0,
         0u - 0x3FFFF0u * 255, "\r\n CONCAT_BUFFER_SIZE exceeded \r\n" + beyond, 0x3FFFF0,
         {5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    // clang-format on
}

class FlatImageBuild : public FlatImageTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(FlatImageBuild, LengthChecksumAndDiagnostics)
{
    const BuildCase &c = GetParam();
    BuildResult result = build(c.text);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.length, c.length);
    EXPECT_EQ(result.checksum, c.checksum);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(flatImage(c.at, c.bytes.size()), c.bytes);
    // The spare bytes behind the image are never written.
    EXPECT_EQ(flatImage(CONCAT_BUFFER_SIZE, 16), std::vector<uint8_t>(16, 0));
}

INSTANTIATE_TEST_SUITE_P(Texts, FlatImageBuild, ::testing::ValuesIn(buildCases()),
                         [](const ::testing::TestParamInfo<BuildCase> &info) { return info.param.name; });

std::string sha256sum(const std::string &bytes)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("bytes"), bytes);
    testsupport::RunOptions options;
    options.argv = {"/usr/bin/sha256sum", dir.file("bytes")};
    return testsupport::runProgram(options).out.substr(0, 64);
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
