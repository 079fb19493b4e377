#include <chrono>
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

// The reply of one exchange, its bytes as they came (NUL bytes included); starts empty in
// every call.
char responseReceivedCopy[DATA_BUFFER_SIZE];
size_t responseLength = 0;

// Set when a reply was cut off unfinished: what is still arriving of it belongs to no
// later exchange.
bool replyLeftOnTheLine = false;

bool sendFailed = false;
int neverEndedReplies = 0;

void dropWhatACutReplyLeft(void)
{
    if (replyLeftOnTheLine) {
        ComPortAPI_DropInput();
        replyLeftOnTheLine = false;
    }
}

// Reads until one whole reading time-out passes in silence. A line that never falls silent
// (a device that keeps talking) ends the exchange by 3 reading time-outs and 1 s after it
// began: the read that would pass that bound is not started. So does a reply longer than
// the copy can hold. Either is no reply: it counts as no match.
bool collectResponse(void)
{
    typedef std::chrono::steady_clock Clock;
    const Clock::time_point start = Clock::now();
    const std::chrono::milliseconds readingTimeout(g_cto.ReadTotalTimeoutConstant);
    const Clock::duration lastReadStart = 2 * readingTimeout + std::chrono::seconds(1);
    responseLength = 0;
    responseReceivedCopy[0] = '\0';
    for (;;) {
        if (Clock::now() - start > lastReadStart) {
            replyLeftOnTheLine = true;
            neverEndedReplies++;
            return false;
        }
        int received = 0;
        ComPortAPI_ReadCOM(gDataBuffer, READ_SIZE, &received);
        if (received < 0 || received > READ_SIZE) {
            received = 0;
        }
        gDataBuffer[received] = '\0';
        if (received == 0) {
            return true;
        }
        size_t piece = (size_t)received;
        size_t room = READ_SIZE - responseLength;
        if (piece >= room) {
            memcpy(responseReceivedCopy + responseLength, gDataBuffer, room);
            responseLength = READ_SIZE;
            responseReceivedCopy[responseLength] = '\0';
            replyLeftOnTheLine = true;
            return false;
        }
        memcpy(responseReceivedCopy + responseLength, gDataBuffer, piece);
        responseLength += piece;
        responseReceivedCopy[responseLength] = '\0';
    }
}

// The whole reply, by its bytes and its length: a NUL byte hides nothing after it.
bool responseMatches(const char *expectedResponse)
{
    const size_t expectedLength = strlen(expectedResponse);
    return collectResponse() && responseLength == expectedLength &&
           memcmp(responseReceivedCopy, expectedResponse, expectedLength) == 0;
}

void eraseShownPercentage(int shown)
{
    printf(shown <= 9 ? "\b\b" : "\b\b\b");
}

// One write; a write that ran out of time has taken fewer bytes than asked.
bool writeWhole(void *bytes, int count)
{
    int written = 0;
    sendFailed = !ComPortAPI_WriteCOM(bytes, count, &written) || written != count;
    return !sendFailed;
}

void showPercentage(int percent)
{
    printf("%d%%", percent);
    fflush(stdout);
    updateListener().imageProgress(percent);
}

} // namespace

// Up to this many characters of a text from the unit are shown.
#define SHOWN_TEXT_LIMIT 200

std::string escapedUnitText(const char *text, size_t length, BOOL oneLine)
{
    std::string shown;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = (unsigned char)text[i];
        if ((c >= 0x20 && c < 0x7F) || (!oneLine && (c == '\r' || c == '\n' || c == '\t'))) {
            shown += (char)c;
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    return shown;
}

void showUnitText(const char *text, size_t length)
{
    const std::string shown =
        escapedUnitText(text, length < SHOWN_TEXT_LIMIT ? length : SHOWN_TEXT_LIMIT, FALSE);
    fwrite(shown.data(), 1, shown.size(), stdout);
    if (length > SHOWN_TEXT_LIMIT) {
        printf("... (%lu bytes)", (unsigned long)length);
    }
}

BOOL lastExchangeSendFailed(void)
{
    return sendFailed ? TRUE : FALSE;
}

int repliesThatNeverEnded(void)
{
    return neverEndedReplies;
}

BOOL sendCommand(char *commandToSend, BOOL isEchoON, BOOL validateResponse, char *expectedResponse)
{
    // Prefix, line end and terminator must fit around the command.
    bool fits = strlen(commandToSend) <= DATA_BUFFER_SIZE - 5;
    if (fits) {
        gDataBuffer[0] = '\0';
        if (isEchoON != 1) {
            strcpy(gDataBuffer, "%%");
        }
        strcat(gDataBuffer, commandToSend);
        strcat(gDataBuffer, "\n\r");
    }
    dropWhatACutReplyLeft();
    sendFailed = !fits;
    if (!fits || !writeWhole(gDataBuffer, (int)strlen(gDataBuffer))) {
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
    showPercentage(1);
    sendFailed = false;
    if (dataToSendLength < 0) {
        return FALSE;
    }
    dropWhatACutReplyLeft();
    int sent = 0;
    int shown = 0;
    while (sent != dataToSendLength) {
        if (dataToSendLength - sent > DATA_BLOCK_SIZE) {
            if (!writeWhole(dataToSend + sent, DATA_BLOCK_SIZE)) {
                return FALSE;
            }
            sent += DATA_BLOCK_SIZE;
            eraseShownPercentage(shown);
            shown = (int)((long long)sent * 100 / dataToSendLength);
            showPercentage(shown);
            continue;
        }
        if (!writeWhole(dataToSend + sent, dataToSendLength - sent)) {
            return FALSE;
        }
        eraseShownPercentage(shown);
        showPercentage(100);
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
        printf("\r\nExpected : %s  received : ", expectedResponse);
        showUnitText(responseReceivedCopy, responseLength);
        printf("\r\n");
        printf("\r\nError: Expected response did  not matched !\r\n");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}
