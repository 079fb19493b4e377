// The flat image builder on small texts: the length rule, the checksum, the upper address
// rule, and the lines it refuses.
#include <cstring>
#include <string>
#include <vector>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

const std::string EOF_RECORD = ":00000001FF\r\n";

std::string upper(uint16_t upperAddress)
{
    return hexRecord(4, 0, {(uint8_t)(upperAddress >> 8), (uint8_t)upperAddress});
}

std::string data(uint16_t address, std::vector<uint8_t> bytes)
{
    return hexRecord(0, address, bytes);
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

const std::string INVALID = "\r\n intel_hex_line_is_valid \r\n";

struct BuildCase {
    const char *name;
    std::string text;
    bool ok;
    int length;
    uint32_t checksum;
    std::string output;
};

std::vector<BuildCase> buildCases()
{
    const std::string fourBytes = data(0x0010, {1, 2, 3, 4});
    const std::string longLine43 = data(0x0100, std::vector<uint8_t>(43, 0x11));
    const std::string longLine44 = data(0x0100, std::vector<uint8_t>(44, 0x11));
    const std::string beyond = data(0xFFF8, std::vector<uint8_t>(9, 0));
    const std::string formatLine = ":%s%n%s%n%s1";
    return {
        // The last record's own bytes lie beyond the length: 2^32 - 65552 * 255.
        {"UpperAddressOne", upper(0x0001) + fourBytes + EOF_RECORD, true, 65552, 4278251536u, ""},
        {"UpperAddress8001KeepsLowByte", upper(0x8001) + fourBytes + EOF_RECORD, true, 65552, 4278251536u, ""},
        {"DescendingRecordsGiveLowerAddress", data(0x0020, {0}) + data(0x0004, {0}) + EOF_RECORD, true, 4,
         0u - 4 * 255, ""},
        {"NoDataRecord", ":020000040000FA\r\n" + EOF_RECORD, true, 0, 0, ""},
        {"RecordsAfterEndOfFileAreLaid", EOF_RECORD + data(0x0002, {0x10}), true, 2, 0u - 510, ""},
        {"OtherRecordTypesPassedOver",
         data(0x0002, {0}) + hexRecord(2, 0, {0x10, 0}) + hexRecord(3, 0, {0, 0, 0, 0}) +
             hexRecord(5, 0, {0x80, 0, 0x80, 0x08}) + EOF_RECORD,
         true, 2, 0u - 510, ""},
        {"LineFeedEndings", replaceAll(upper(1) + fourBytes + EOF_RECORD, "\r\n", "\n"), true, 65552, 4278251536u, ""},
        {"CarriageReturnEndings", replaceAll(upper(1) + fourBytes + EOF_RECORD, "\r\n", "\r"), true, 65552,
         4278251536u, ""},
        {"EmptyText", "", false, 0, 0, "\r\nNUL extractedHexLine \r\n"},
        {"NothingButLineBreaks", "\r\n\r\n", false, 0, 0, INVALID + ":\r\n"},
        {"BadChecksumOnThirdLine",
         data(0x0008, {0}) + data(0x0010, {0}) + ":01001800007F\r\n" + data(0x0020, {0}), false, 16, 0u - 15 * 255,
         INVALID + ":01001800007F\r\n"},
        {"LineShorterThanDeclared", data(0x0008, {0}) + ":0400000000FC\r\n", false, 8, 0u - 8 * 255,
         INVALID + ":0400000000FC\r\n"},
        {"LinePrintedAsTextNotFormat", formatLine + "\r\n", false, 0, 0, INVALID + formatLine + "\r\n"},
        {"LongestLineThatFitsTheBuffer", longLine43, true, 256, 0u - 256 * 255, ""},
        {"LineOverrunningTheBuffer", longLine44 + EOF_RECORD, false, 0, 0,
         INVALID + longLine44.substr(0, longLine44.size() - 2) + "\r\n"},
        {"UpperAddressWithOneByte", ":0100000401FA\r\n" + data(0, {0}), false, 0, 0, INVALID + ":0100000401FA\r\n"},
        {"RecordEndingAtTheImageEnd", upper(0x003F) + data(0xFFF8, std::vector<uint8_t>(8, 0)), true, 0x3FFFF8,
         0u - 0x3FFFF8u * 255, ""},
        {"RecordReachingBeyondTheImage", upper(0x003F) + beyond, false, 0, 0,
         "\r\n CONCAT_BUFFER_SIZE exceeded \r\n" + beyond.substr(0, beyond.size() - 2) + "\r\n"},
        {"UpperAddressBeyondTheImage", upper(0x00FF) + data(0, {}), false, 0, 0,
         "\r\n CONCAT_BUFFER_SIZE exceeded \r\n:00000000" "00\r\n"},
        // The line ends at its first line break; what follows up to the next colon is not read,
        // but it still counts against the line buffer.
        {"TextAfterTheLineBreakIgnored", data(0x0002, {0}) + "  junk\r\n" + EOF_RECORD, true, 2, 0u - 510, ""},
        {"LineBreakInsideARecord", ":0100020\r000FD\r\n", false, 0, 0, INVALID + ":0100020\r\n"},
        {"TextAfterTheLineBreakOverrunsTheBuffer", EOF_RECORD + std::string(87, ' ') + data(0x0002, {0}), false,
         0, 0, INVALID + ":00000001FF\r\n"},
    };
}

void PrintTo(const BuildCase &c, std::ostream *os)
{
    *os << c.name;
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
    // The spare bytes behind the image are never written.
    EXPECT_TRUE(flatImageHolds(CONCAT_BUFFER_SIZE, std::vector<uint8_t>(16, 0)));
}

INSTANTIATE_TEST_SUITE_P(Texts, FlatImageBuild, ::testing::ValuesIn(buildCases()),
                         [](const ::testing::TestParamInfo<BuildCase> &info) { return info.param.name; });

TEST_F(FlatImageTest, DataLandsAtUpperAddressPlusRecordAddress)
{
    ASSERT_TRUE(build(upper(0x8001) + data(0x0010, {1, 2, 3, 4}) + EOF_RECORD).ok);
    EXPECT_TRUE(flatImageHolds(0x1000E, {0xFF, 0xFF, 1, 2, 3, 4, 0xFF}));
}

TEST_F(FlatImageTest, EachBuildStartsFromAFreshFill)
{
    ASSERT_TRUE(build(data(0x0000, {0, 0, 0, 0}) + data(0x0004, {0})).ok);
    ASSERT_TRUE(build(data(0x0002, {7}) + EOF_RECORD).ok);
    EXPECT_TRUE(flatImageHolds(0, {0xFF, 0xFF, 7, 0xFF, 0xFF}));
}

TEST_F(FlatImageTest, LaterRecordsOverwriteEarlierOnes)
{
    ASSERT_TRUE(build(data(0x0000, {1, 2, 3}) + data(0x0001, {9})).ok);
    EXPECT_TRUE(flatImageHolds(0, {1, 9, 3}));
}

TEST_F(FlatImageTest, RefusedRecordWritesNothing)
{
    BuildResult result = build(upper(0x003F) + data(0xFFF0, {5}) + data(0xFFF8, std::vector<uint8_t>(9, 6)));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.length, 0x3FFFF0);
    EXPECT_TRUE(flatImageHolds(0x3FFFF0, {5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF}));
}

// The text is left cut at colons exactly as strtok cuts it, whether the build succeeds or
// refuses a line partway through.
TEST_F(FlatImageTest, TextIsLeftCutAsStrtokCutsIt)
{
    const std::string texts[] = {
        upper(0x0001) + data(0x0010, {1, 2, 3, 4}) + EOF_RECORD,
        "::" + data(0x0010, {1}) + "::" + EOF_RECORD + ":",
        data(0x0008, {0}) + ":01001800007F\r\n" + data(0x0020, {0}) + "::" + EOF_RECORD,
        "junk" + data(0x0008, {0}) + EOF_RECORD,
    };
    for (const std::string &text : texts) {
        std::vector<char> built(text.size() + 16, '\0'), cut(text.size() + 16, '\0');
        memcpy(built.data(), text.data(), text.size());
        memcpy(cut.data(), text.data(), text.size());
        buildInPlace(built.data());
        for (char *token = strtok(cut.data(), ":"); token != nullptr; token = strtok(nullptr, ":")) {
        }
        EXPECT_EQ(built, cut) << text;
    }
}

}  // namespace
