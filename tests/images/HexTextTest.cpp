// Hex digits and line-break removal; the record line operations are the fuzz targets'.
#include <gtest/gtest.h>

#include <string>

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

} // namespace
