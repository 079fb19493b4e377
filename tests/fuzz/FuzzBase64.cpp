// base64_encode against nettle's encoding: the text, the room rules, and nothing written beyond
// the text and its NUL (the output buffer is exactly the room given: AddressSanitizer sees more).
#include <fuzzer/FuzzedDataProvider.h>
#include <nettle/base64.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Encoder.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // The room given, relative to the room needed: mostly around the boundary, sometimes negative.
    int roomOffset = input.ConsumeIntegralInRange<int>(-6, 3);
    std::vector<unsigned char> source = input.ConsumeRemainingBytes<unsigned char>();
    int slen = (int)source.size();
    std::string text(BASE64_ENCODE_RAW_LENGTH(source.size()), '\0');
    base64_encode_raw(&text[0], source.size(), source.data());
    int needed = (int)text.size() + 1;
    int room = roomOffset == -6 ? -needed : needed + roomOffset;

    std::vector<unsigned char> dst((size_t)std::max(room, 0), 0xA5), expected = dst;
    int dlen = room;
    int result = base64_encode(dst.data(), &dlen, source.data(), slen);
    if (slen == 0) {
        FUZZ_CHECK(result == 0 && dlen == room);
    } else if (room < needed) {
        FUZZ_CHECK(result == -1 && dlen == needed);
    } else {
        FUZZ_CHECK(result == 0 && dlen == needed - 1);
        memcpy(expected.data(), text.c_str(), (size_t)needed);
    }
    FUZZ_CHECK(dst == expected);
    return 0;
}
