#include <cstdio>
#include <cstring>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"

// Every read of a reply asks for this much, so that a terminator fits behind it.
#define READ_SIZE (DATA_BUFFER_SIZE - 1)
// Image data goes out in writes of this size, with one percentage update per write.
#define DATA_BLOCK_SIZE 10240

char *gDataBuffer = nullptr;

namespace {

// The reply of one exchange; starts empty in every call.
char responseReceivedCopy[DATA_BUFFER_SIZE];

// Reads until one whole reading time-out passes in silence. A reply longer than
// the copy can hold is read to its end all the same (so that nothing of it is left
// for the next exchange), but only what fits is kept and it counts as no match.
bool collectResponse(void)
{
    size_t length = 0;
    bool fits = true;
    responseReceivedCopy[0] = '\0';
    for (;;) {
        int received = 0;
        ComPortAPI_ReadCOM(gDataBuffer, READ_SIZE, &received);
        if (received < 0 || received > READ_SIZE) {
            received = 0;
        }
        gDataBuffer[received] = '\0';
        if (received == 0) {
            return fits;
        }
        size_t piece = strlen(gDataBuffer);
        size_t room = READ_SIZE - length;
        if (piece > room) {
            piece = room;
            fits = false;
        }
        memcpy(responseReceivedCopy + length, gDataBuffer, piece);
        length += piece;
        responseReceivedCopy[length] = '\0';
    }
}

bool responseMatches(const char *expectedResponse)
{
    return collectResponse() && strcmp(responseReceivedCopy, expectedResponse) == 0;
}

void eraseShownPercentage(int shown)
{
    printf(shown <= 9 ? "\b\b" : "\b\b\b");
}

} // namespace

BOOL sendCommand(char *commandToSend, BOOL isEchoON, BOOL validateResponse, char *expectedResponse)
{
    // Prefix, line end and terminator must fit around the command.
    bool fits = strlen(commandToSend) <= DATA_BUFFER_SIZE - 5;
    int written = 0;
    if (fits) {
        gDataBuffer[0] = '\0';
        if (isEchoON != 1) {
            strcpy(gDataBuffer, "%%");
        }
        strcat(gDataBuffer, commandToSend);
        strcat(gDataBuffer, "\n\r");
    }
    if (!fits || !ComPortAPI_WriteCOM(gDataBuffer, (int)strlen(gDataBuffer), &written)) {
        printf("\r\nError occurred when sending data !\r\n");
        fflush(stdout);
        return FALSE;
    }
    if (expectedResponse == nullptr) {
        return TRUE;
    }
    bool matched = responseMatches(expectedResponse);
    return validateResponse != 1 || matched ? TRUE : FALSE;
}

BOOL sendData(uint8_t *dataToSend, int dataToSendLength, BOOL validateResponse, char *expectedResponse)
{
    printf("1%%");
    fflush(stdout);
    if (dataToSendLength < 0) {
        return FALSE;
    }
    int sent = 0;
    int shown = 0;
    while (sent != dataToSendLength) {
        int written = 0;
        if (dataToSendLength - sent > DATA_BLOCK_SIZE) {
            if (!ComPortAPI_WriteCOM(dataToSend + sent, DATA_BLOCK_SIZE, &written)) {
                return FALSE;
            }
            sent += DATA_BLOCK_SIZE;
            eraseShownPercentage(shown);
            shown = (int)((long long)sent * 100 / dataToSendLength);
            printf("%d%%", shown);
            fflush(stdout);
            continue;
        }
        if (!ComPortAPI_WriteCOM(dataToSend + sent, dataToSendLength - sent, &written)) {
            return FALSE;
        }
        eraseShownPercentage(shown);
        printf("100%%");
        fflush(stdout);
        sent = dataToSendLength;
        if (expectedResponse == nullptr) {
            return TRUE;
        }
        bool matched = responseMatches(expectedResponse);
        if (validateResponse != 1) {
            return TRUE;
        }
        if (matched) {
            return TRUE;
        }
        printf("\r\nExpected : %s  received : %s\r\n", expectedResponse, responseReceivedCopy);
        printf("\r\nError: Expected response did  not matched !\r\n");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

BOOL StrRemoveNL(char *str, char ch)
{
    // The end is fixed before the walk: with NUL as the replacement the text shortens,
    // yet every later line-break character must still be replaced.
    for (char *end = str + strlen(str); str < end; ++str) {
        if (*str == '\n' || *str == '\r') {
            *str = ch;
        }
    }
    return TRUE;
}
