// Flat image builder: Intel HEX text to the flat memory image the unit receives, with the
// length and checksum that are announced before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IntelHex.h"
#include "LumivaneFwUpgrade.h"

// The longest line the builder takes, as a line buffer would hold it: colon, record text with
// its line ending, and NUL. Lines are read in place, yet the limit holds: longer ones are refused.
#define INTEL_HEX_LINE_BUFFER_SIZE 100

uint8_t *gDataConcatenated = nullptr;
int gDataConcatenatedLenght = 0;
uint32_t gDataConcatenatedCheckSum = 0;

#define INVALID_LINE_DIAGNOSTIC "\r\n intel_hex_line_is_valid \r"

// The line is printed as text, never as a format: it comes from the image. It is shown as
// its start code and its record text, up to its line ending.
static void reportRejectedLine(const char *diagnostic, const char *recordText, size_t recordLength)
{
    puts(diagnostic);
    fputs(":", stdout);
    fwrite(recordText, 1, recordLength, stdout);
    puts("\r");
    fflush(stdout);
}

// One token of the text cut at colons, and its record text: the token up to its first line
// break, which is the line that follows the start code once its line ending is cut off.
struct Token {
    char *text;
    size_t length;
    size_t recordLength;
};

// Cuts the next token exactly as strtok(text, ":") does: colons before it are skipped and
// the colon that ends it becomes a NUL. FALSE when no token is left. Cutting token by token,
// and measuring the record text in the same pass, spares a list of one pointer per line and
// two more passes over megabytes of text; the text ends up cut the same.
static bool cutNextToken(char **cursor, Token *token)
{
    char *start = *cursor;
    while (*start == ':') {
        start++;
    }
    // The record text ends at the first line break; the token, at the colon or NUL after it.
    token->recordLength = strcspn(start, ":\r\n");
    char *end = start + token->recordLength;
    while (*end != ':' && *end != '\0') {
        end++;
    }
    token->text = start;
    token->length = (size_t)(end - start);
    if (*end == ':') {
        *end++ = '\0';
    }
    *cursor = end;
    return token->length > 0;
}

// Lays one record into the flat image. FALSE once the record is reported as refused.
static BOOL concatenateRecord(const Token &token, uint32_t *memory_offset)
{
    // The record text is read in place: no copy into a line buffer, no pass to cut the line
    // ending, and one pass for every field instead of one validity check per field.
    IntelHexRecord record;
    if (token.length + 2 > INTEL_HEX_LINE_BUFFER_SIZE ||
        intel_hex_record_read(token.text, token.recordLength, &record) != INTEL_HEX_STRING_OK) {
        reportRejectedLine(INVALID_LINE_DIAGNOSTIC, token.text, token.recordLength);
        return FALSE;
    }
    const BOOL isLinearAddress = record.recordType == INTEL_HEX_RECORD_EXTENDED_LINEAR_ADDRESS;
    const BOOL isData = record.recordType == INTEL_HEX_RECORD_DATA;
    if (!isLinearAddress && !isData) {
        return TRUE;
    }
    // The upper address lives in the second data byte; without it there is no offset to take.
    if (isLinearAddress && record.dataLength < 2) {
        reportRejectedLine(INVALID_LINE_DIAGNOSTIC, token.text, token.recordLength);
        return FALSE;
    }
    const uint32_t address = (uint32_t)record.address + *memory_offset;
    if (isData && address + record.dataLength > CONCAT_BUFFER_SIZE) {
        reportRejectedLine("\r\n CONCAT_BUFFER_SIZE exceeded \r", token.text, token.recordLength);
        return FALSE;
    }
    if (isLinearAddress) {
        // Only bits 16 to 23 of the upper address count: the unit's images rely on it.
        *memory_offset = (uint32_t)record.data[1] << 16;
    } else {
        memcpy(gDataConcatenated + address, record.data, record.dataLength);
        // The length rule: the address of the last data record, not its end.
        gDataConcatenatedLenght = (int)address;
    }
    return TRUE;
}

BOOL ValidateFwAndConcatenateData(char *gHexData)
{
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenatedLenght = 0;
    uint32_t memory_offset = 0;

    char *cursor = gHexData;
    Token token;
    if (gHexData == nullptr || !cutNextToken(&cursor, &token)) {
        puts("\r\nNUL extractedHexLine \r");
        fflush(stdout);
        return FALSE;
    }
    do {
        if (!concatenateRecord(token, &memory_offset)) {
            // A refused record still leaves the whole text cut, as a split up front would.
            while (cutNextToken(&cursor, &token)) {
            }
            return FALSE;
        }
    } while (cutNextToken(&cursor, &token));
    return TRUE;
}

void ComputeConcatenatedDataCheckSum(void)
{
    gDataConcatenatedCheckSum = 0;
    for (int index = 0; index < gDataConcatenatedLenght; index++) {
        gDataConcatenatedCheckSum -= gDataConcatenated[index];
    }
}
