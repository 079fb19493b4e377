#include "StringOperations.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint8_t int_from_hex_char(char aChar)
{
    return HEX_DIGIT_VALUES.value[(unsigned char)aChar];
}

uint8_t u8_from_hex_string(char *inputString)
{
    // Only whether the string holds two characters matters, not its whole length.
    if (inputString[0] == '\0' || inputString[1] == '\0') {
        return int_from_hex_char(inputString[0]);
    }
    return u8_from_hex_pair(inputString);
}

char **str_split(char *s, const char *ct)
{
    if (s == nullptr || ct == nullptr) {
        return nullptr;
    }
    char **tab = nullptr;
    size_t size = 1;
    size_t i = 0;
    for (char *token = strtok(s, ct); token != nullptr; token = strtok(nullptr, ct)) {
        // Grow by doubling, always keeping room for the closing null pointer.
        if (i + 1 >= size) {
            size *= 2;
            char **grown = (char **)realloc(tab, size * sizeof(char *));
            if (grown == nullptr) {
                puts("Memoire insuffisante");
                free(tab);
                exit(0);
            }
            tab = grown;
        }
        tab[i++] = token;
    }
    if (tab != nullptr) {
        tab[i] = nullptr;
    }
    return tab;
}

uint8_t u8_checksum_from_hex_string(char *hexString, uint8_t numberOfBytes)
{
    uint8_t data_sum = 0;
    for (uint8_t i = 0; i < numberOfBytes; i++) {
        data_sum = (uint8_t)(data_sum - u8_from_hex_string(hexString + 2 * i));
    }
    return data_sum;
}
