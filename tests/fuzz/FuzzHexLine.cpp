// One Intel HEX record line through every IntelHex operation. The results are compared with
// a reading of the line done here, field by field, so both false acceptance and false
// rejection show up; reads past the line's NUL are AddressSanitizer reports.
#include <sanitizer/allocator_interface.h>

#include "FuzzSupport.h"
#include "IntelHex.h"

namespace {

// Non-hex characters read as 0, as the record reader documents.
int nibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

uint8_t byteAt(const char *line, size_t pos)
{
    return (uint8_t)((nibble(line[pos]) << 4) + nibble(line[pos + 1]));
}

// Start code, every declared byte inside the line, and the checksum in its last two characters.
bool isValidRecord(const char *line, size_t length)
{
    if (length < 11 || line[0] != ':') {
        return false;
    }
    uint8_t declared = byteAt(line, 1);
    if (length < 11 + 2 * (size_t)declared) {
        return false;
    }
    uint8_t sum = byteAt(line, length - 2);
    uint8_t summedBytes = (uint8_t)(declared + 4);
    for (size_t i = 0; i < summedBytes; i++) {
        sum = (uint8_t)(sum + byteAt(line, 1 + 2 * i));
    }
    return sum == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *line = newTerminatedText(data, size);
    size_t length = strlen(line);
    bool valid = isValidRecord(line, length);

    FUZZ_CHECK(intel_hex_start_code_present(line) == (line[0] == ':'));
    FUZZ_CHECK(intel_hex_line_is_valid(line) == (valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID));
    FUZZ_CHECK(intel_hex_line_address(line) == (valid ? (byteAt(line, 3) << 8) + byteAt(line, 5) : 0));
    if (length >= 3) {
        FUZZ_CHECK(intel_hex_line_data_length(line) == byteAt(line, 1));
    }
    uint8_t type = intel_hex_line_record_type(line);
    if (length >= 9) {
        FUZZ_CHECK(type == (uint8_t)(line[8] - '0'));
    }
    FUZZ_CHECK(intel_hex_line_is_data_record(line) == (type == INTEL_HEX_RECORD_DATA));
    FUZZ_CHECK(intel_hex_line_is_extended_linear_address_record(line) ==
               (type == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS));

    uint8_t *bytes = new_u8_data_array_from_intel_hex_string(line);
    FUZZ_CHECK((bytes != nullptr) == valid);
    if (bytes != nullptr) {
        uint8_t declared = byteAt(line, 1);
        FUZZ_CHECK(__sanitizer_get_allocated_size(bytes) >= declared);
        for (size_t i = 0; i < declared; i++) {
            FUZZ_CHECK(bytes[i] == byteAt(line, 9 + 2 * i));
        }
        free(bytes);
    }
    // None of the operations may touch the line.
    FUZZ_CHECK(memcmp(line, data, length) == 0);
    free(line);
    return 0;
}
