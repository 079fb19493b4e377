// What the fuzz targets share: heap copies that let AddressSanitizer see the end of an input, and
// a check that stops the run on a broken invariant (libFuzzer keeps the input when it aborts).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(c)                                                                                        \
    ((c) ? (void)0 : (fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #c), abort()))

// A heap block of exactly length input bytes and spareZeros zero bytes after them.
inline char *newHeapText(const uint8_t *data, size_t length, size_t spareZeros)
{
    char *text = (char *)calloc(length + spareZeros, 1);
    FUZZ_CHECK(text != nullptr);
    return (char *)memcpy(text, data, length);
}
