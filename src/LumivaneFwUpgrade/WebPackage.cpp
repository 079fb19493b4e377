// The web upload package: a five-line header, then the flat microcontroller image as base64
// text in lines of FIRMWARE_CHUNCK_SIZE_FOR_WEB characters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Encoder.h"
#include "FileAPI.h"
#include "LumivaneFwUpgrade.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#define FIRMWARE_FILE_HEADER_FOR_WEB "NorVex\r\n418263\r\n"
#define FIRMWARE_CHUNCK_SIZE_FOR_WEB 928

namespace {

const char PACKAGE_FILE_NAME[] = "FwToUpload.bin";
// The package is written under this name and renamed only once complete, so that a failed
// run never leaves a partial package, nor destroys the previous one.
const char PACKAGE_PART_FILE_NAME[] = "FwToUpload.bin.part";
const int BASE64_ROOM = 600 * 1024;

BOOL replacePackageWithPart(void)
{
#ifdef _WIN32
    return MoveFileExA(PACKAGE_PART_FILE_NAME, PACKAGE_FILE_NAME, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(PACKAGE_PART_FILE_NAME, PACKAGE_FILE_NAME) == 0;
#endif
}

// Removes what has the part file's name: the entry itself (a link, never its target; a FIFO
// without opening it). A directory stays, and the creation that follows fails on it.
void removePart(void)
{
#ifdef _WIN32
    // DeleteFile removes a symbolic link itself, never what it leads to.
    DeleteFileA(PACKAGE_PART_FILE_NAME);
#else
    unlink(PACKAGE_PART_FILE_NAME);
#endif
}

// Appends the text in lines of FIRMWARE_CHUNCK_SIZE_FOR_WEB characters, each but the last
// followed by CR LF.
BOOL writeImageLines(const char *bufferBase64, int dataLengthBase64)
{
    BOOL written = TRUE;
    char line[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 2];
    int remainingByte = dataLengthBase64;
    int currentIndex = 0;
    while (written && remainingByte > FIRMWARE_CHUNCK_SIZE_FOR_WEB) {
        memcpy(line, bufferBase64 + currentIndex, FIRMWARE_CHUNCK_SIZE_FOR_WEB);
        line[FIRMWARE_CHUNCK_SIZE_FOR_WEB] = '\r';
        line[FIRMWARE_CHUNCK_SIZE_FOR_WEB + 1] = '\n';
        written = FileAPI_writeToFileBinary(line, sizeof line);
        currentIndex += FIRMWARE_CHUNCK_SIZE_FOR_WEB;
        remainingByte -= FIRMWARE_CHUNCK_SIZE_FOR_WEB;
    }
    if (written && remainingByte > 0) {
        written = FileAPI_writeToFileBinary((void *)(bufferBase64 + currentIndex), (uint32_t)remainingByte);
    }
    return written;
}

// Header and lines go through one opening of a file created new: a name opened a second time
// could meanwhile lead somewhere else.
BOOL writePart(const char *header, const char *bufferBase64, int dataLengthBase64)
{
    removePart();
    if (!FileAPI_CreateNewFile((char *)PACKAGE_PART_FILE_NAME)) {
        return FALSE;
    }
    BOOL written = FileAPI_writeToFileBinary((void *)header, (uint32_t)strlen(header)) &&
                   writeImageLines(bufferBase64, dataLengthBase64);
    return FileAPI_CloseFile() && written;
}

// Every end of the writer, good or bad, waits for the operator's key.
BOOL endPackage(BOOL written)
{
    endRun("", written ? 0 : 1);
    return written;
}

BOOL failPackage(const char *message)
{
    puts(message);
    removePart();
    return endPackage(FALSE);
}

} // namespace

BOOL createFirmwareFileForWeb(void)
{
    char header[128];
    char tempString[16];
    snprintf(header, sizeof header, "%s%s\r\n", FIRMWARE_FILE_HEADER_FOR_WEB, FIRMWARE_VERSION_TO_UPLOAD);

    interruptsSetStage(STAGE_WRITING_PACKAGE);
    if (!ValidateFwAndConcatenateData(gHexFirmware)) {
        // Nothing has been touched: there is no part file of this run to remove.
        puts("\r\nERROR: Firmware data is not valid !\r");
        return endPackage(FALSE);
    }
    puts("\r\n Firmware data is valid !\r");

    ComputeConcatenatedDataCheckSum();
    snprintf(tempString, sizeof tempString, "%u", (unsigned)gDataConcatenatedCheckSum);
    strcat(header, tempString);
    strcat(header, "\r\n");
    printf("\r\n Firmware CheckSum = %s !\r\n", tempString);
    printf("\r\n Firmware CheckSum u = %u !\r\n", (unsigned)gDataConcatenatedCheckSum);

    _itoa(gDataConcatenatedLenght, tempString, 10);
    strcat(header, tempString);
    strcat(header, "\r\n");
    printf("\r\n Firmware data length = %d !\r\n", gDataConcatenatedLenght);

    char *bufferBase64 = (char *)malloc(BASE64_ROOM);
    if (bufferBase64 == NULL) {
        return failPackage("\r\nERROR: Not enough memory to encode the firmware !\r");
    }
    // An empty image encodes to no text at all: the package is then the header alone.
    int dataLengthBase64 = BASE64_ROOM;
    int test = base64_encode((unsigned char *)bufferBase64, &dataLengthBase64, gDataConcatenated,
                             gDataConcatenatedLenght);
    if (gDataConcatenatedLenght == 0) {
        dataLengthBase64 = 0;
    }
    if (test == -1) {
        free(bufferBase64);
        return failPackage("\r\n ERROR BASE 64 !\r");
    }

    // The unit's web loader takes no "=": the padding is sent as "A".
    for (int back = 1; back <= 4 && back <= dataLengthBase64; back++) {
        if (bufferBase64[dataLengthBase64 - back] == '=') {
            bufferBase64[dataLengthBase64 - back] = 'A';
        }
    }

    interruptsRemoveOnInterrupt(PACKAGE_PART_FILE_NAME);
    BOOL written = writePart(header, bufferBase64, dataLengthBase64);
    free(bufferBase64);
    if (!written || !replacePackageWithPart()) {
        return failPackage("\r\nERROR: FwToUpload.bin could not be written !\r");
    }
    return endPackage(TRUE);
}
