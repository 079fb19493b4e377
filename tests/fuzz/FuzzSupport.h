// What the fuzz targets share: heap copies that let AddressSanitizer see the end of an
// input, and a check that stops the run on a broken invariant.
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

#endif
