// One Intel HEX record line: its start code, fields and checksum, without the line ending.
#ifndef INTEL_HEX_H
#define INTEL_HEX_H

#include <cstddef>
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

// A record read in one pass: the operations above in one, for readers of many lines (the flat
// image builder), which would otherwise check every line once per field.
struct IntelHexRecord {
    uint8_t dataLength;
    uint16_t address;
    uint8_t recordType; // as intel_hex_line_record_type reads it: the low type digit only
    uint8_t data[UINT8_MAX];
};

// Reads the recordLength characters that follow a line's start code, and nothing beyond
// them. INTEL_HEX_STRING_OK with *record filled in exactly when the line would pass
// intel_hex_line_is_valid, INTEL_HEX_STRING_INVALID otherwise.
uint8_t intel_hex_record_read(const char *recordText, size_t recordLength, IntelHexRecord *record);

#endif
