// Flat image builder: Intel HEX text to the flat memory image the unit receives, with the
// length and checksum that are announced before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IntelHex.h"
#include "LumivaneFwUpgrade.h"
#include "StringOperations.h"

// Colon, record text with its line ending, and NUL.
#define INTEL_HEX_LINE_BUFFER_SIZE 100

uint8_t *gDataConcatenated = nullptr;
int gDataConcatenatedLenght = 0;
uint32_t gDataConcatenatedCheckSum = 0;

#define INVALID_LINE_DIAGNOSTIC "\r\n intel_hex_line_is_valid \r"

// The line is printed as text, never as a format: it comes from the image. A line that
// did not fit the line buffer is shown from its token, behind its start code.
static void reportRejectedLine(const char *diagnostic, const char *startCode, const char *text, size_t textLength)
{
    puts(diagnostic);
    fputs(startCode, stdout);
    fwrite(text, 1, textLength, stdout);
    puts("\r");
    fflush(stdout);
}

static void reportInvalidLine(const char *line, size_t lineLength)
{
    reportRejectedLine(INVALID_LINE_DIAGNOSTIC, "", line, lineLength);
}

// Lays one line into the flat image. FALSE once the line is reported as refused.
static BOOL concatenateLine(char *intelHexStringLine, uint32_t *memory_offset)
{
    size_t lineLength = strlen(intelHexStringLine);
    if (intel_hex_line_is_valid(intelHexStringLine) != INTEL_HEX_STRING_OK) {
        reportInvalidLine(intelHexStringLine, lineLength);
        return FALSE;
    }
    BOOL isLinearAddress = intel_hex_line_is_extended_linear_address_record(intelHexStringLine);
    BOOL isData = intel_hex_line_is_data_record(intelHexStringLine);
    if (!isLinearAddress && !isData) {
        return TRUE;
    }
    uint8_t data_length = intel_hex_line_data_length(intelHexStringLine);
    // The upper address lives in the second data byte; without it there is no offset to take.
    if (isLinearAddress && data_length < 2) {
        reportInvalidLine(intelHexStringLine, lineLength);
        return FALSE;
    }
    uint32_t address = (uint32_t)intel_hex_line_address(intelHexStringLine) + *memory_offset;
    if (isData && address + data_length > CONCAT_BUFFER_SIZE) {
        reportRejectedLine("\r\n CONCAT_BUFFER_SIZE exceeded \r", "", intelHexStringLine, lineLength);
        return FALSE;
    }
    uint8_t *data = new_u8_data_array_from_intel_hex_string(intelHexStringLine);
    if (data == nullptr) {
        reportRejectedLine("\r\n new_u8_data_array_from_intel_hex_string \r", "", intelHexStringLine, lineLength);
        return FALSE;
    }
    if (isLinearAddress) {
        // Only bits 16 to 23 of the upper address count: the unit's images rely on it.
        *memory_offset = (uint32_t)data[1] << 16;
    } else {
        memcpy(gDataConcatenated + address, data, data_length);
        // The length rule: the address of the last data record, not its end.
        gDataConcatenatedLenght = (int)address;
    }
    free(data);
    return TRUE;
}

BOOL ValidateFwAndConcatenateData(char *gHexData)
{
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenatedLenght = 0;
    uint32_t memory_offset = 0;

    char **extractedHexLine = str_split(gHexData, ":");
    if (extractedHexLine == nullptr) {
        puts("\r\nNUL extractedHexLine \r");
        fflush(stdout);
        return FALSE;
    }
    BOOL result = TRUE;
    char intelHexStringLine[INTEL_HEX_LINE_BUFFER_SIZE];
    for (int index = 0; extractedHexLine[index] != nullptr; index++) {
        const char *token = extractedHexLine[index];
        if (strlen(token) + 2 > sizeof intelHexStringLine) {
            // Too long for the line buffer: refused, shown up to its line ending.
            reportRejectedLine(INVALID_LINE_DIAGNOSTIC, ":", token, strcspn(token, "\r\n"));
            result = FALSE;
            break;
        }
        strcpy(intelHexStringLine, ":");
        strcat(intelHexStringLine, token);
        StrRemoveNL(intelHexStringLine, '\0');
        if (!concatenateLine(intelHexStringLine, &memory_offset)) {
            result = FALSE;
            break;
        }
    }
    free(extractedHexLine);
    return result;
}

void ComputeConcatenatedDataCheckSum(void)
{
    gDataConcatenatedCheckSum = 0;
    for (int index = 0; index < gDataConcatenatedLenght; index++) {
        gDataConcatenatedCheckSum -= gDataConcatenated[index];
    }
}
