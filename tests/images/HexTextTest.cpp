// Hex digits, token splitting, line-break removal and the record line operations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IntelHex.h"
#include "LumivaneFwUpgrade.h"
#include "StringOperations.h"

namespace {

// The operations take writable strings; each case gets its own copy.
std::vector<char> writable(const std::string &s)
{
    std::vector<char> copy(s.begin(), s.end());
    copy.push_back('\0');
    return copy;
}

TEST(HexDigits, CharacterValues)
{
    const struct { char c; int value; } cases[] = {
        {'0', 0}, {'7', 7}, {'9', 9}, {'a', 10}, {'A', 10}, {'f', 15}, {'F', 15},
        {'g', 0}, {'G', 0}, {' ', 0}, {'\0', 0}, {':', 0}, {(char)0xB0, 0}, {(char)0xFF, 0}};
    for (const auto &c : cases) {
        EXPECT_EQ(int_from_hex_char(c.c), c.value) << "character " << (int)c.c;
    }
}

TEST(HexDigits, ByteFromString)
{
    const struct { const char *text; int value; } cases[] = {
        {"3A", 58}, {"3a", 58}, {"3AB", 58}, {"A", 10}, {"", 0}, {"G1", 1}, {"FF", 255}, {"00", 0}};
    for (const auto &c : cases) {
        std::vector<char> text = writable(c.text);
        EXPECT_EQ(u8_from_hex_string(text.data()), c.value) << '"' << c.text << '"';
    }
}

TEST(StrSplit, CutsAtDelimitersInPlace)
{
    char text[] = "AB::CD:";
    char **tokens = str_split(text, ":");
    ASSERT_NE(tokens, nullptr);
    EXPECT_STREQ(tokens[0], "AB");
    EXPECT_STREQ(tokens[1], "CD");
    EXPECT_EQ(tokens[2], nullptr);
    // The delimiter ending each token became its NUL; the second colon of the pair stays.
    EXPECT_EQ(text[2], '\0');
    EXPECT_EQ(text[3], ':');
    EXPECT_EQ(text[6], '\0');
    free(tokens);
}

TEST(StrSplit, TextWithoutDelimiterIsOneToken)
{
    char text[] = "00000001FF\r\n";
    char **tokens = str_split(text, ":");
    ASSERT_NE(tokens, nullptr);
    EXPECT_EQ(tokens[0], text);
    EXPECT_EQ(tokens[1], nullptr);
    free(tokens);
}

TEST(StrSplit, NoTokensGiveNull)
{
    char empty[] = "", colons[] = ":::", text[] = "AB";
    EXPECT_EQ(str_split(empty, ":"), nullptr);
    EXPECT_EQ(str_split(colons, ":"), nullptr);
    EXPECT_EQ(str_split(nullptr, ":"), nullptr);
    EXPECT_EQ(str_split(text, nullptr), nullptr);
}

TEST(StrSplit, ListGrowsForManyTokens)
{
    std::string text;
    for (int i = 0; i < 1000; i++) {
        text += ":" + std::to_string(i);
    }
    std::vector<char> copy = writable(text);
    char **tokens = str_split(copy.data(), ":");
    ASSERT_NE(tokens, nullptr);
    for (int i = 0; i < 1000; i++) {
        ASSERT_STREQ(tokens[i], std::to_string(i).c_str());
    }
    EXPECT_EQ(tokens[1000], nullptr);
    free(tokens);
}

TEST(StrRemoveNL, ReplacesEveryLineBreak)
{
    char version[] = "1.0.8\r\n>>";
    EXPECT_EQ(StrRemoveNL(version, ' '), TRUE);
    EXPECT_STREQ(version, "1.0.8  >>");

    // With NUL the walk still reaches the original end: later breaks are replaced too.
    char record[] = ":00000001FF\r\nA\rB";
    StrRemoveNL(record, '\0');
    EXPECT_EQ(std::string(record, sizeof record), std::string(":00000001FF\0\0A\0B\0", 17));
}

struct LineCase {
    const char *line;
    bool valid;
};

TEST(IntelHexLine, Validity)
{
    const LineCase cases[] = {
        {":00000001FF", true},
        {":0200000480007A", true},
        {":04A2B0002FEDD83284", true},
        {":0200000480007a", true},            // lower case digits
        {":00000001FE", false},              // last digit changed
        {":0200000480007B", false},
        {":04A2B0002FEDD83285", false},
        {":00000001FF ", false},             // checksum then read from "F "
        {"00000001FF", false},               // no start code
        {"", false},
        {":", false},
        {":00", false},
        {":000000FF", false},                // below the shortest record
        {":0400000000FC", false},            // declares 4 bytes, holds none
        {":10800000481FD703B6", false},      // declares 16 bytes, holds 4
        // A length of 252 or more wraps the summed count to 0..3 bytes.
        {":FC000000000000", false},          // too short for its 252 bytes
    };
    for (const LineCase &c : cases) {
        std::vector<char> line = writable(c.line);
        EXPECT_EQ(intel_hex_line_is_valid(line.data()), c.valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID)
            << '"' << c.line << '"';
    }
}

TEST(IntelHexLine, LengthOf252OrMoreSumsFewBytes)
{
    // 252 + 4 wraps to 0 bytes summed: the checksum field must read 00.
    std::string body = ":FC000000" + std::string(2 * 252, '1');
    std::vector<char> good = writable(body + "00"), bad = writable(body + "01");
    EXPECT_EQ(intel_hex_line_is_valid(good.data()), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_line_is_valid(bad.data()), INTEL_HEX_STRING_INVALID);
}

TEST(IntelHexLine, Fields)
{
    const struct { const char *line; int type; int length; int address; } cases[] = {
        {":0200000480007A", 4, 2, 0},
        {":00000001FF", 1, 0, 0},
        {":04A2B0002FEDD83284", 0, 4, 0xA2B0},
        {":04A2B0002FEDD83285", 0, 4, 0},    // address of a line that is not valid
        {":0200001480006A", 4, 2, 0},        // only the low type digit counts
        {":020000A48000DA", 4, 2, 0},
        {":020000A08000DE", 0, 2, 0},
        {":0000000AF6", 17, 0, 0},
        {":0000", 208, 0, 0},                // no type digit: read as its NUL
        {"", 208, 0, 0},
    };
    for (const auto &c : cases) {
        std::vector<char> line = writable(c.line);
        EXPECT_EQ(intel_hex_line_record_type(line.data()), c.type) << c.line;
        EXPECT_EQ(intel_hex_line_data_length(line.data()), c.length) << c.line;
        EXPECT_EQ(intel_hex_line_address(line.data()), c.address) << c.line;
        EXPECT_EQ(intel_hex_line_is_data_record(line.data()), c.type == 0) << c.line;
        EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(line.data()), c.type == 4) << c.line;
    }
}

TEST(IntelHexLine, DataBytes)
{
    const struct { const char *line; std::vector<uint8_t> bytes; } cases[] = {
        {":0200000480007A", {128, 0}},
        {":08D5B80000020000FFFFFFFF6D", {0, 2, 0, 0, 255, 255, 255, 255}},
        {":00000001FF", {}},
    };
    for (const auto &c : cases) {
        std::vector<char> line = writable(c.line);
        uint8_t *bytes = new_u8_data_array_from_intel_hex_string(line.data());
        ASSERT_NE(bytes, nullptr) << c.line;
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + c.bytes.size()), c.bytes) << c.line;
        free(bytes);
    }
    for (const char *invalid : {":0200000480007B", ":0400000000FC", ""}) {
        std::vector<char> line = writable(invalid);
        EXPECT_EQ(new_u8_data_array_from_intel_hex_string(line.data()), nullptr) << invalid;
    }
}

// The one-pass reader takes the line's length from its caller and reads nothing beyond it:
// the bytes after it, which would make the checksum wrong, are not part of the record.
TEST(IntelHexRecord, ReadsOnlyTheGivenLength)
{
    const std::string record = "04A2B0002FEDD83284";
    std::vector<char> exact(record.begin(), record.end());  // no NUL: a read past it is caught
    IntelHexRecord fields;
    ASSERT_EQ(intel_hex_record_read(exact.data(), exact.size(), &fields), INTEL_HEX_STRING_OK);
    EXPECT_EQ(fields.dataLength, 4);
    EXPECT_EQ(fields.address, 0xA2B0);
    EXPECT_EQ(fields.recordType, 0);
    EXPECT_EQ(std::vector<uint8_t>(fields.data, fields.data + 4), (std::vector<uint8_t>{0x2F, 0xED, 0xD8, 0x32}));

    std::vector<char> longer = writable(record + "FF");
    EXPECT_EQ(intel_hex_record_read(longer.data(), record.size(), &fields), INTEL_HEX_STRING_OK);
    EXPECT_EQ(intel_hex_record_read(longer.data(), record.size() + 2, &fields), INTEL_HEX_STRING_INVALID);
    EXPECT_EQ(intel_hex_record_read(exact.data(), 9, &fields), INTEL_HEX_STRING_INVALID);  // shorter than any record
}

}  // namespace
