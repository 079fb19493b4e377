// A whole Intel HEX text through the flat image builder, with the buffers laid out as the
// main flow lays them out (the text with 16 zero bytes after it, the flat image with 16 spare
// bytes), compared with a reading of the text done here: the verdict, the length, every byte
// written and, through the checksum, every byte left alone below the length.
#include <cctype>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

// Two hex digits of a record line; a character that is no hex digit reads as 0.
uint8_t byteAt(const char *line, size_t pos)
{
    auto digit = [](char c) { return isxdigit((unsigned char)c) ? c : '0'; };
    const char pair[3] = {digit(line[pos]), digit(line[pos + 1])};
    return (uint8_t)strtoul(pair, nullptr, 16);
}

// Start code, every declared byte inside the line, and the checksum in its last two
// characters; the sum covers (length + 4) modulo 256 bytes.
bool isValidRecord(const char *line, size_t length)
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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The builder's diagnostics would drown libFuzzer's own report, which goes to stderr.
    FUZZ_CHECK(freopen("/dev/null", "w", stdout) != nullptr);
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + 16, 1);
    FUZZ_CHECK(gDataConcatenated != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Records are cut at colons; each ends at its first line break, and the text at its NUL.
    std::string text((const char *)data, strnlen((const char *)data, size));
    std::map<uint32_t, uint8_t> written;
    uint32_t upper = 0;
    int length = 0;
    size_t at = text.find_first_not_of(':');
    bool ok = at != std::string::npos;
    for (; ok && at != std::string::npos; at = text.find_first_not_of(':', at)) {
        size_t end = std::min(text.find(':', at), text.size());
        std::string line = ":" + text.substr(at, std::min(text.find_first_of("\r\n", at), end) - at);
        // The line buffer holds the colon, the token and a NUL.
        ok = end - at + 2 <= 100 && isValidRecord(line.c_str(), line.size());
        uint8_t count = byteAt(line.c_str(), 1);
        if (ok && line[8] == '4') {
            ok = count >= 2;
            upper = (uint32_t)byteAt(line.c_str(), 11) << 16;
        } else if (ok && line[8] == '0') {
            uint32_t address = upper + (uint32_t)(byteAt(line.c_str(), 3) << 8 | byteAt(line.c_str(), 5));
            ok = address + count <= CONCAT_BUFFER_SIZE;
            for (uint32_t i = 0; ok && i < count; i++) {
                written[address + i] = byteAt(line.c_str(), 9 + 2 * i);
            }
            length = ok ? (int)address : length;
        }
        at = end;
    }

    char *copy = newHeapText(data, size, 16);
    FUZZ_CHECK(ValidateFwAndConcatenateData(copy) == (ok ? TRUE : FALSE));
    free(copy);
    FUZZ_CHECK(gDataConcatenatedLenght == length);
    uint32_t checksum = 0u - 255u * (uint32_t)length;
    for (auto [address, byte] : written) {
        FUZZ_CHECK(gDataConcatenated[address] == byte);
        checksum += address < (uint32_t)length ? 255u - byte : 0;
    }
    ComputeConcatenatedDataCheckSum();
    FUZZ_CHECK(gDataConcatenatedCheckSum == checksum);
    for (int i = 0; i < 16; i++) {
        FUZZ_CHECK(gDataConcatenated[CONCAT_BUFFER_SIZE + i] == 0);
    }
    return 0;
}
