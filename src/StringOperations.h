// Hex digits to values.
#pragma once

#include <cstdint>

// The value of each hex digit (either case) by character code, built at compile time; any other
// character gives 0. A table read costs less than three range tests per digit, and the image
// texts hold millions of digits.
struct HexDigitValues {
    uint8_t value[256] = {};
    constexpr HexDigitValues()
    {
        for (int c = '0'; c <= '9'; c++) {
            value[c] = (uint8_t)(c - '0');
        }
        for (int c = 'A'; c <= 'F'; c++) {
            value[c] = (uint8_t)(c - 'A' + 10);
            value[c - 'A' + 'a'] = (uint8_t)(c - 'A' + 10);
        }
    }
};
inline constexpr HexDigitValues HEX_DIGIT_VALUES{};

// The byte written by two characters that the caller knows are there.
inline uint8_t u8_from_hex_pair(const char *twoCharacters)
{
    return (uint8_t)((HEX_DIGIT_VALUES.value[(unsigned char)twoCharacters[0]] << 4) +
                     HEX_DIGIT_VALUES.value[(unsigned char)twoCharacters[1]]);
}
