// base64_encode against a decoder written here: the text must decode to the input, the room
// rules must hold, and nothing beyond the room given may be written (the output buffer is
// exactly that room, so AddressSanitizer sees an overrun).
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "Encoder.h"
#include "FuzzSupport.h"

namespace {

const unsigned char UNTOUCHED = 0xA5;

int sextet(unsigned char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict: whole groups of four, "=" only at the end, unused bits zero.
bool decode(const unsigned char *text, int length, std::vector<unsigned char> &out)
{
    if (length % 4 != 0) {
        return false;
    }
    for (int i = 0; i < length; i += 4) {
        int padding = (text[i + 3] == '=') + (text[i + 2] == '=');
        if ((padding > 0 && i + 4 != length) || (text[i + 2] == '=' && text[i + 3] != '=')) {
            return false;
        }
        uint32_t bits = 0;
        for (int k = 0; k < 4; k++) {
            int value = k < 4 - padding ? sextet(text[i + k]) : 0;
            if (value < 0) {
                return false;
            }
            bits = (bits << 6) | (uint32_t)value;
        }
        if ((padding == 1 && (bits & 0xFF) != 0) || (padding == 2 && (bits & 0xFFFF) != 0)) {
            return false;
        }
        out.push_back((unsigned char)(bits >> 16));
        if (padding < 2) out.push_back((unsigned char)(bits >> 8));
        if (padding < 1) out.push_back((unsigned char)bits);
    }
    return true;
}

bool untouchedFrom(const unsigned char *buffer, int from, int room)
{
    for (int i = from; i < room; i++) {
        if (buffer[i] != UNTOUCHED) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // The room given, relative to the room needed: mostly around the boundary, sometimes negative.
    int roomOffset = input.ConsumeIntegralInRange<int>(-6, 3);
    std::vector<unsigned char> source = input.ConsumeRemainingBytes<unsigned char>();
    int slen = (int)source.size();
    int needed = 4 * ((slen + 2) / 3) + 1;
    int room = roomOffset == -6 ? -needed : needed + roomOffset;

    int allocated = room > 0 ? room : 0;
    unsigned char *dst = (unsigned char *)malloc((size_t)allocated);
    FUZZ_CHECK(allocated == 0 || dst != nullptr);
    memset(dst, UNTOUCHED, (size_t)allocated);

    int dlen = room;
    int result = base64_encode(dst, &dlen, source.data(), slen);
    if (slen == 0) {
        FUZZ_CHECK(result == 0 && dlen == room && untouchedFrom(dst, 0, allocated));
    } else if (room < needed) {
        FUZZ_CHECK(result == -1 && dlen == needed && untouchedFrom(dst, 0, allocated));
    } else {
        FUZZ_CHECK(result == 0 && dlen == needed - 1 && dst[dlen] == '\0');
        FUZZ_CHECK(untouchedFrom(dst, dlen + 1, allocated));
        std::vector<unsigned char> decoded;
        FUZZ_CHECK(decode(dst, dlen, decoded) && decoded == source);
    }
    free(dst);
    return 0;
}
