// Hex digits, line-break removal and the record line operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IntelHex.h"
#include "LumivaneFwUpgrade.h"
#include "StringOperations.h"

namespace {

TEST(HexDigits, CharactersAndPairs)
{
    const struct {
        char c;
        int value;
    } digits[] = {{'0', 0},  {'9', 9}, {'a', 10}, {'A', 10},      {'f', 15},
                  {'F', 15}, {'g', 0}, {'G', 0},  {(char)0xB0, 0}};
    for (const auto &d : digits) {
        EXPECT_EQ(int_from_hex_char(d.c), d.value) << "character " << (int)d.c;
    }
    const struct {
        std::string text;
        int value;
    } pairs[] = {{"3a", 58}, {"3AB", 58}, {"A", 10}, {"", 0}, {"FF", 255}};
    for (auto p : pairs) {
        EXPECT_EQ(u8_from_hex_string(&p.text[0]), p.value) << '"' << p.text << '"';
    }
}

TEST(StrRemoveNL, ReplacesEveryLineBreak)
{
    char version[] = "1.0.8\r\n>>";
    StrRemoveNL(version, ' ');
    EXPECT_STREQ(version, "1.0.8  >>");
    // With NUL the text shortens, yet later breaks are replaced too.
    char record[] = ":00000001FF\r\nA\rB";
    StrRemoveNL(record, '\0');
    EXPECT_EQ(std::string(record, sizeof record), std::string(":00000001FF\0\0A\0B\0", 17));
}

// A length of 252 or more wraps the summed count (LL + 4) to 0..3 bytes: here none.
const std::string WRAPPED = ":FC000000" + std::string(2 * 252, '1');

TEST(IntelHexLine, ValidityFieldsAndData)
{
    const struct {
        std::string line;
        bool valid;
        int type, length, address;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {":00000001FF", true, 1, 0, 0, {}},
        {":0200000480007a", true, 4, 2, 0, {0x80, 0}},
        {":04A2B0002FEDD83284", true, 0, 4, 0xA2B0, {0x2F, 0xED, 0xD8, 0x32}},
        {":0200001480006A", true, 4, 2, 0, {0x80, 0}}, // only the low type digit counts
        {WRAPPED + "00", true, 0, 252, 0, std::vector<uint8_t>(252, 0x11)},
        {WRAPPED + "01", false, 0, 252, 0, {}},
        {":04A2B0002FEDD83285", false, 0, 4, 0, {}}, // checksum off by one
        {":00000001FF ", false, 1, 0, 0, {}},        // checksum read from "F "
        {"00000001FF", false, 22, 0, 0, {}},         // no start code
        {":000000FF", false, 22, 0, 0, {}},          // below the shortest record
        {":0400000000FC", false, 0, 4, 0, {}},       // declares 4 bytes, holds none
        {":02000000FE00", false, 0, 2, 0, {}},       // declares 2, holds 1 and a checksum
        {":FC000000000000", false, 0, 252, 0, {}},
        {":0000", false, 208, 0, 0, {}}, // no type digit: read as its NUL
        {"", false, 208, 0, 0, {}},
    };
    for (auto r : rows) {
        char *line = &r.line[0];
        EXPECT_EQ(intel_hex_line_is_valid(line), r.valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID)
            << r.line;
        EXPECT_EQ(intel_hex_line_record_type(line), r.type) << r.line;
        EXPECT_EQ(intel_hex_line_data_length(line), r.length) << r.line;
        EXPECT_EQ(intel_hex_line_address(line), r.address) << r.line;
        EXPECT_EQ(intel_hex_line_is_data_record(line), r.type == 0) << r.line;
        EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(line), r.type == 4) << r.line;
        uint8_t *bytes = new_u8_data_array_from_intel_hex_string(line);
        EXPECT_EQ(bytes != nullptr, r.valid) << r.line;
        if (bytes != nullptr) {
            EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + r.bytes.size()), r.bytes) << r.line;
        }
        free(bytes);
        // The one-pass reader takes the text after the start code and reads nothing beyond
        // its length: the copy has no NUL, so a read past it is an AddressSanitizer report.
        if (r.line[0] == ':') {
            std::vector<char> exact(r.line.begin() + 1, r.line.end());
            IntelHexRecord fields;
            EXPECT_EQ(intel_hex_record_read(exact.data(), exact.size(), &fields),
                      r.valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID);
        }
    }
}

} // namespace
