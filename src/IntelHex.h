// One Intel HEX record line: its start code, fields and checksum, without the line ending.
#ifndef INTEL_HEX_H
#define INTEL_HEX_H

#include <cstdint>

#define INTEL_HEX_RECORD_DATA 0
#define INTEL_HEX_RECORD_EOF 1
#define INTEL_HEX_RECORD_EXTENDED_SEGMENT_ADDRESS 2
#define INTEL_HEX_RECORD_START_SEGMENT_ADDRESS 3
#define INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS 4
#define INTEL_HEX_RECORD_START_LINEAR_ADDRESS 5

#define INTEL_HEX_STRING_OK 1
#define INTEL_HEX_STRING_INVALID 0

// Shortest record line: colon, length, address, type and checksum without data.
#define INTEL_HEX_MIN_LINE_LENGTH 11

uint8_t intel_hex_start_code_present(char *intelHexString);
uint8_t intel_hex_line_data_length(char *intelHexString);
// 0 when the line is not valid.
uint16_t intel_hex_line_address(char *intelHexString);
// Only the low digit of the type field counts.
uint8_t intel_hex_line_record_type(char *intelHexString);
uint8_t intel_hex_line_is_data_record(char *intelHexString);
uint8_t intel_hex_line_is_extended_linear_address_record(char *intelHexString);
// Start code, room for every declared byte, and the checksum in the last two characters.
uint8_t intel_hex_line_is_valid(char *intelHexString);
// New heap array of the line's data bytes, owned by the caller; null when the line is
// not valid or memory is short.
uint8_t *new_u8_data_array_from_intel_hex_string(char *intelHexString);

#endif
