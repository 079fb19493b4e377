#include "IntelHex.h"

#include <cstdlib>
#include <cstring>

#include "StringOperations.h"

// Positions of the fields in a record line.
#define INTEL_HEX_LENGTH_POS 1
#define INTEL_HEX_ADDRESS_HIGH_POS 3
#define INTEL_HEX_ADDRESS_LOW_POS 5
#define INTEL_HEX_TYPE_DIGIT_POS 8
#define INTEL_HEX_DATA_POS 9

uint8_t intel_hex_start_code_present(char *intelHexString)
{
    return intelHexString[0] == ':' ? 1 : 0;
}

uint8_t intel_hex_line_data_length(char *intelHexString)
{
    // An empty line has no length field: read its NUL rather than past it.
    return u8_from_hex_string(intelHexString + (intelHexString[0] != '\0' ? INTEL_HEX_LENGTH_POS : 0));
}

uint16_t intel_hex_line_address(char *intelHexString)
{
    if (intel_hex_line_is_valid(intelHexString) != INTEL_HEX_STRING_OK) {
        return 0;
    }
    return (uint16_t)((u8_from_hex_string(intelHexString + INTEL_HEX_ADDRESS_HIGH_POS) << 8) +
                      u8_from_hex_string(intelHexString + INTEL_HEX_ADDRESS_LOW_POS));
}

uint8_t intel_hex_line_record_type(char *intelHexString)
{
    // A line too short to hold the type digit reads as if the digit were its NUL.
    char typeDigit = strnlen(intelHexString, INTEL_HEX_TYPE_DIGIT_POS + 1) > INTEL_HEX_TYPE_DIGIT_POS
                         ? intelHexString[INTEL_HEX_TYPE_DIGIT_POS]
                         : '\0';
    return (uint8_t)(typeDigit - '0');
}

uint8_t intel_hex_line_is_data_record(char *intelHexString)
{
    return intel_hex_line_record_type(intelHexString) == INTEL_HEX_RECORD_DATA ? 1 : 0;
}

uint8_t intel_hex_line_is_extended_linear_address_record(char *intelHexString)
{
    return intel_hex_line_record_type(intelHexString) == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS ? 1 : 0;
}

uint8_t intel_hex_line_is_valid(char *intelHexString)
{
    if (!intel_hex_start_code_present(intelHexString)) {
        return INTEL_HEX_STRING_INVALID;
    }
    size_t lineLength = strlen(intelHexString);
    if (lineLength < INTEL_HEX_MIN_LINE_LENGTH) {
        return INTEL_HEX_STRING_INVALID;
    }
    uint8_t data_length_in_bytes = intel_hex_line_data_length(intelHexString);
    // Every byte the line declares must lie inside it, so no read leaves the line.
    if (lineLength < INTEL_HEX_MIN_LINE_LENGTH + 2 * (size_t)data_length_in_bytes) {
        return INTEL_HEX_STRING_INVALID;
    }
    uint8_t data_sum_expected = u8_from_hex_string(intelHexString + lineLength - 2);
    uint8_t data_sum_calculated =
        u8_checksum_from_hex_string(intelHexString + INTEL_HEX_LENGTH_POS, (uint8_t)(data_length_in_bytes + 4));
    return data_sum_expected == data_sum_calculated ? INTEL_HEX_STRING_OK : INTEL_HEX_STRING_INVALID;
}

uint8_t *new_u8_data_array_from_intel_hex_string(char *intelHexString)
{
    uint8_t dataLength = intel_hex_line_data_length(intelHexString);
    if (intel_hex_line_is_valid(intelHexString) != INTEL_HEX_STRING_OK) {
        return nullptr;
    }
    // At least one byte, so that an empty record is told apart from a failed allocation.
    uint8_t *dataArray = (uint8_t *)malloc(dataLength > 0 ? dataLength : 1);
    if (dataArray == nullptr) {
        return nullptr;
    }
    for (uint8_t i = 0; i < dataLength; i++) {
        dataArray[i] = u8_from_hex_string(intelHexString + INTEL_HEX_DATA_POS + 2 * i);
    }
    return dataArray;
}
