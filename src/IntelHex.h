// One Intel HEX record line: its start code, fields and checksum, without the line ending.
#pragma once

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

// A record read in one pass: every field and the checksum at once, as readers of many lines
// (the flat image builder) need.
struct IntelHexRecord {
    uint8_t dataLength;
    uint16_t address;
    uint8_t recordType; // the low type digit only
    uint8_t data[UINT8_MAX];
};

// Reads the recordLength characters that follow a line's start code, and nothing beyond
// them. INTEL_HEX_STRING_OK with *record filled in when every declared byte lies inside the
// record and the checksum in its last two characters adds up, INTEL_HEX_STRING_INVALID otherwise.
uint8_t intel_hex_record_read(const char *recordText, size_t recordLength, IntelHexRecord *record);
