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
#include "FlatImageFixture.h"
#include "ReleaseManifest.h"

namespace {

const std::string EOF_RECORD = ":00000001FF\r\n";
const std::string INVALID = "\r\n intel_hex_line_is_valid \r\n";

// The verdict is that of the output: the builder refuses a text with a diagnostic.
struct BuildCase {
    const char *name;
    std::string text;
    int length;
    uint32_t checksum;
    std::string output;
    uint32_t at = 0; // where `bytes` must lie in the flat image
    std::vector<uint8_t> bytes = {};
};

std::vector<BuildCase> buildCases()
{
    const auto data = [](uint16_t at, std::vector<uint8_t> bytes) { return hexRecord(0, at, bytes); };
    const std::string page1 = hexRecord(4, 0, {0x80, 0x01}) + data(0x0010, {1, 2, 3, 4}) + EOF_RECORD;
    const std::string line44 = data(0x0100, std::vector<uint8_t>(44, 0x11));
    const std::string beyond = data(0xFFF8, std::vector<uint8_t>(9, 6));
    const std::string format = ":%s%n%s%n%s1\r\n";
    // clang-format off
    return {
        // The length is the last record's address, so its own bytes lie beyond it: 2^32 - 65552 * 255.
        {"UpperAddressKeepsItsLowByte", page1, 65552, 4278251536u, "", 0x1000E, {0xFF, 0xFF, 1, 2, 3, 4, 0xFF}},
        {"LineFeedEndings", std::regex_replace(page1, std::regex("\r\n"), "\n"), 65552, 4278251536u, ""},
        {"CarriageReturnEndings", std::regex_replace(page1, std::regex("\r\n"), "\r"), 65552, 4278251536u, ""},
        {"DescendingRecordsGiveLowerAddress", data(0x0020, {0}) + data(0x0004, {0}) + EOF_RECORD, 4, 0u - 4 * 255, ""},
        {"LaterRecordsOverwriteEarlierOnes", data(0, {1, 2, 3}) + data(1, {9}), 1, 0u - 1, "", 0, {1, 9, 3}},
        {"LowerCaseDigits", ":01000200ab52\r\n" + EOF_RECORD, 2, 0u - 510, "", 2, {0xAB}},
        {"NoDataRecord", hexRecord(4, 0, {0, 0}) + EOF_RECORD, 0, 0, ""},
        {"OtherRecordTypesPassedOver", ":" + EOF_RECORD + ":" + data(0x0002, {0}) + hexRecord(2, 0, {0x10, 0}) +
             hexRecord(3, 0, {0, 0, 0, 0}) + hexRecord(5, 0, {0x80, 0, 0x80, 0x08}), 2, 0u - 510, ""},
        {"TextAfterTheLineBreakIgnored", data(0x0002, {0}) + "  junk\r\n" + EOF_RECORD, 2, 0u - 510, ""},
        {"EmptyText", "", 0, 0, "\r\nNUL extractedHexLine \r\n"},
        {"BadChecksumOnThirdLine", data(0x0008, {0}) + data(0x0010, {0}) + ":01001800007F\r\n" + data(0x0020, {0}),
         16, 0u - 15 * 255, INVALID + ":01001800007F\r\n"},
        {"LinePrintedAsTextNotFormat", format, 0, 0, INVALID + format},
        {"LongestLineThatFitsTheBuffer", data(0x0100, std::vector<uint8_t>(43, 0x11)), 256, 0u - 256 * 255, ""},
        {"LineOverrunningTheBuffer", line44 + EOF_RECORD, 0, 0, INVALID + line44},
        {"UpperAddressWithOneByte", ":0100000401FA\r\n" + data(0, {0}), 0, 0, INVALID + ":0100000401FA\r\n"},
        {"RecordEndingAtTheImageEnd", hexRecord(4, 0, {0, 0x3F}) + data(0xFFF8, std::vector<uint8_t>(8, 0)),
         0x3FFFF8, 0u - 0x3FFFF8u * 255, ""},
        // The refused record writes nothing.
        {"RecordReachingBeyondTheImage", hexRecord(4, 0, {0, 0x3F}) + data(0xFFF0, {5}) + beyond, 0x3FFFF0,
         0u - 0x3FFFF0u * 255, "\r\n CONCAT_BUFFER_SIZE exceeded \r\n" + beyond, 0x3FFFF8, std::vector<uint8_t>(8, 0xFF)},
    };
    // clang-format on
}

class FlatImageBuild : public FlatImageTest, public ::testing::WithParamInterface<BuildCase> {};

TEST_P(FlatImageBuild, LengthChecksumAndDiagnostics)
{
    const BuildCase &c = GetParam();
    const BuildResult result = build(c.text);
    EXPECT_EQ(result.ok, c.output.empty());
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(gDataConcatenatedLenght, c.length);
    EXPECT_EQ(gDataConcatenatedCheckSum, c.checksum);
    const uint8_t *flat = gDataConcatenated;
    EXPECT_EQ(std::vector<uint8_t>(flat + c.at, flat + c.at + c.bytes.size()), c.bytes);
    // The spare bytes behind the image are never written.
    EXPECT_EQ(std::count(flat + CONCAT_BUFFER_SIZE, flat + CONCAT_BUFFER_SIZE + 16, 0), 16);
}

INSTANTIATE_TEST_SUITE_P(Texts, FlatImageBuild, ::testing::ValuesIn(buildCases()),
                         [](const auto &info) { return info.param.name; });

std::string sha256sum(const std::string &bytes)
{
    return testsupport::runToEnd({"/usr/bin/sha256sum"}, bytes).out.substr(0, 64);
}

// The figures program's lines for each image: the manifest's figures, which the builder must
// reproduce (any diagnostic of it would land inside the line), and sha256sum's digests.
TEST_F(FlatImageTest, CatalogueHoldsTheManifestsFiguresAndTheFiguresProgramTheirSha256)
{
    const testsupport::RunResult figures = testsupport::runToEnd({LUMIVANE_CATALOGUE_FIGURES_PROGRAM});
    EXPECT_EQ(figures.exitStatus, 0);
    ASSERT_EQ(std::size(AUTOGEN_FILES), std::size(RELEASE_ENTRIES));
    for (size_t i = 0; i < std::size(AUTOGEN_FILES); i++) {
        const ReleaseEntry &published = RELEASE_ENTRIES[i];
        const std::string text(AUTOGEN_FILES[i].fileData, (size_t)AUTOGEN_FILES[i].fileDataLength);
        EXPECT_EQ(strlen(AUTOGEN_FILES[i].fileData), text.size()) << published.file;
        build(text);
        char line[160];
        snprintf(line, sizeof line, "%-28s text %9d  lines %6d  flat length %8d  checksum %10u\n",
                 published.file, published.textLength, published.lines, published.flatLength,
                 published.checksum);
        EXPECT_NE(figures.out.find(
                      line + ("    sha256 text " + sha256sum(text)) + "\n    sha256 flat " +
                      sha256sum({(const char *)gDataConcatenated, (size_t)published.flatLength}) + "\n"),
                  std::string::npos)
            << line << figures.out;
    }
}

} // namespace
