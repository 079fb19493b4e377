// One Intel HEX record line through every IntelHex operation, compared field by field with
// the reading done here, so that both false acceptance and false rejection show up; reads
// past the line's NUL are AddressSanitizer reports.
#include <sanitizer/allocator_interface.h>

#include "FuzzSupport.h"
#include "IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *line = newTerminatedText(data, size);
    size_t length = strlen(line);
    bool valid = isValidRecord(line, length);

    FUZZ_CHECK(intel_hex_start_code_present(line) == (line[0] == ':'));
    FUZZ_CHECK(intel_hex_line_is_valid(line) == (valid ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID));
    FUZZ_CHECK(intel_hex_line_address(line) == (valid ? (byteAt(line, 3) << 8) + byteAt(line, 5) : 0));
    FUZZ_CHECK(length < 3 || intel_hex_line_data_length(line) == byteAt(line, 1));
    uint8_t type = intel_hex_line_record_type(line);
    FUZZ_CHECK(length < 9 || type == (uint8_t)(line[8] - '0'));
    FUZZ_CHECK(intel_hex_line_is_data_record(line) == (type == INTEL_HEX_RECORD_DATA));
    FUZZ_CHECK(intel_hex_line_is_extended_linear_address_record(line) ==
               (type == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS));

    uint8_t *bytes = new_u8_data_array_from_intel_hex_string(line);
    FUZZ_CHECK((bytes != nullptr) == valid);
    for (size_t i = 0; bytes != nullptr && i < byteAt(line, 1); i++) {
        FUZZ_CHECK(__sanitizer_get_allocated_size(bytes) > i && bytes[i] == byteAt(line, 9 + 2 * i));
    }
    free(bytes);
    // None of the operations may touch the line.
    FUZZ_CHECK(memcmp(line, data, length) == 0);
    free(line);
    return 0;
}
