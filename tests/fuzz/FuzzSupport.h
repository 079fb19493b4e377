// What the fuzz targets share: heap copies that let AddressSanitizer see the end of an
// input, a check that stops the run on a broken invariant, and a reading of record lines
// done here, independent of the one under test.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// libFuzzer keeps the crashing input when the target aborts.
#define FUZZ_CHECK(condition)                                                                                \
    ((condition)                                                                                             \
         ? (void)0                                                                                           \
         : (fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition), abort()))

// A heap block of exactly length input bytes and spareZeros zero bytes after them, so that
// any access beyond it is an overflow that AddressSanitizer reports.
inline char *newHeapText(const uint8_t *data, size_t length, size_t spareZeros)
{
    char *text = (char *)malloc(length + spareZeros);
    FUZZ_CHECK(text != nullptr);
    memcpy(text, data, length);
    memset(text + length, 0, spareZeros);
    return text;
}

// The input up to its first NUL, terminated and nothing more: a read past the NUL is caught.
inline char *newTerminatedText(const uint8_t *data, size_t size)
{
    return newHeapText(data, strnlen((const char *)data, size), 1);
}

// Hex digits as a record line holds them; a character that is no hex digit reads as 0.
inline uint8_t nibble(char c)
{
    return (uint8_t)(c >= '0' && c <= '9'   ? c - '0'
                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                            : 0);
}
inline uint8_t byteAt(const char *line, size_t pos)
{
    return (uint8_t)(nibble(line[pos]) << 4 | nibble(line[pos + 1]));
}

// Start code, every declared byte inside the line, and the checksum in its last two
// characters; the sum covers (length + 4) modulo 256 bytes.
inline bool isValidRecord(const char *line, size_t length)
{
    if (length < 11 || line[0] != ':' || length < 11 + 2 * (size_t)byteAt(line, 1)) {
        return false;
    }
    uint8_t sum = byteAt(line, length - 2);
    for (size_t i = 0; i < (uint8_t)(byteAt(line, 1) + 4); i++) {
        sum = (uint8_t)(sum + byteAt(line, 1 + 2 * i));
    }
    return sum == 0;
}

#endif
