// Hex digits to values, and splitting a text into tokens.
#ifndef STRING_OPERATIONS_H
#define STRING_OPERATIONS_H

#include <cstdint>

// Value of one hex digit (either case); any other character gives 0.
uint8_t int_from_hex_char(char aChar);

// The byte written by the first two characters; a lone character is the low nibble.
uint8_t u8_from_hex_string(char *inputString);

// Cuts s in place at every character of ct (strtok rules: no empty tokens) and returns a
// heap list of pointers into s, ended by a null pointer; the caller frees the list only.
// Null for a null argument or a text without tokens. Ends the process when out of memory.
char **str_split(char *s, const char *ct);

// 0 minus the 8-bit sum of numberOfBytes bytes written as hex pairs from hexString.
uint8_t u8_checksum_from_hex_string(char *hexString, uint8_t numberOfBytes);

#endif
