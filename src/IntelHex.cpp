#include "IntelHex.h"

#include "StringOperations.h"

// Positions of the fields in a record line.
#define INTEL_HEX_LENGTH_POS 1
#define INTEL_HEX_ADDRESS_HIGH_POS 3
#define INTEL_HEX_ADDRESS_LOW_POS 5
#define INTEL_HEX_TYPE_POS 7
#define INTEL_HEX_TYPE_DIGIT_POS 8
#define INTEL_HEX_DATA_POS 9

// The same positions counted from behind the start code, where the record text starts.
#define RECORD_POS(linePos) ((linePos)-1)

uint8_t intel_hex_record_read(const char *recordText, size_t recordLength, IntelHexRecord *record)
{
    const size_t lineLength = recordLength + 1;
    if (lineLength < INTEL_HEX_MIN_LINE_LENGTH) {
        return INTEL_HEX_STRING_INVALID;
    }
    uint8_t data_length_in_bytes = u8_from_hex_pair(recordText + RECORD_POS(INTEL_HEX_LENGTH_POS));
    // Every byte the line declares must lie inside it, so no read leaves the line.
    if (lineLength < INTEL_HEX_MIN_LINE_LENGTH + 2 * (size_t)data_length_in_bytes) {
        return INTEL_HEX_STRING_INVALID;
    }
    const uint8_t addressHigh = u8_from_hex_pair(recordText + RECORD_POS(INTEL_HEX_ADDRESS_HIGH_POS));
    const uint8_t addressLow = u8_from_hex_pair(recordText + RECORD_POS(INTEL_HEX_ADDRESS_LOW_POS));
    const uint8_t typeByte = u8_from_hex_pair(recordText + RECORD_POS(INTEL_HEX_TYPE_POS));
    const char *dataText = recordText + RECORD_POS(INTEL_HEX_DATA_POS);
    uint8_t dataSum = 0;
    for (uint8_t i = 0; i < data_length_in_bytes; i++) {
        record->data[i] = u8_from_hex_pair(dataText + 2 * i);
        dataSum = (uint8_t)(dataSum + record->data[i]);
    }
    // The sum covers length, address, type and data bytes, (LL + 4) modulo 256 of them: all
    // of them, unless a length of 252 or more wraps the count to the first 0 to 3 bytes.
    const uint8_t header[4] = {data_length_in_bytes, addressHigh, addressLow, typeByte};
    const uint8_t summed = (uint8_t)(data_length_in_bytes + 4);
    uint8_t data_sum_calculated = 0;
    for (uint8_t i = 0; i < summed && i < 4; i++) {
        data_sum_calculated = (uint8_t)(data_sum_calculated - header[i]);
    }
    if (summed >= 4) {
        data_sum_calculated = (uint8_t)(data_sum_calculated - dataSum);
    }
    // The checksum is read from the last two characters, wherever the layout would put it.
    const uint8_t data_sum_expected = u8_from_hex_pair(recordText + recordLength - 2);
    if (data_sum_expected != data_sum_calculated) {
        return INTEL_HEX_STRING_INVALID;
    }
    record->dataLength = data_length_in_bytes;
    record->address = (uint16_t)((addressHigh << 8) + addressLow);
    record->recordType = (uint8_t)(recordText[RECORD_POS(INTEL_HEX_TYPE_DIGIT_POS)] - '0');
    return INTEL_HEX_STRING_OK;
}
