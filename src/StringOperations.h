// Hex digits to values, and splitting a text into tokens.
#ifndef STRING_OPERATIONS_H
#define STRING_OPERATIONS_H

#include <cstdint>

// Value of one hex digit (either case); any other character gives 0.
uint8_t int_from_hex_char(char aChar);

// int_from_hex_char's values by character code, built at compile time: a table read costs
// less than three range tests per digit, and the image texts hold millions of digits.
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

// The byte written by two characters that the caller knows are there: readers of whole
// record lines skip the end-of-string tests of u8_from_hex_string, and it inlines.
inline uint8_t u8_from_hex_pair(const char *twoCharacters)
{
    return (uint8_t)((HEX_DIGIT_VALUES.value[(unsigned char)twoCharacters[0]] << 4) +
                     HEX_DIGIT_VALUES.value[(unsigned char)twoCharacters[1]]);
}

// The byte written by the first two characters; a lone character is the low nibble.
uint8_t u8_from_hex_string(char *inputString);

// Cuts s in place at every character of ct (strtok rules: no empty tokens) and returns a
// heap list of pointers into s, ended by a null pointer; the caller frees the list only.
// Null for a null argument or a text without tokens. Ends the process when out of memory.
char **str_split(char *s, const char *ct);

// 0 minus the 8-bit sum of numberOfBytes bytes written as hex pairs from hexString.
uint8_t u8_checksum_from_hex_string(char *hexString, uint8_t numberOfBytes);

#endif
