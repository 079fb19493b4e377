// The start-up state and the end of a run, shared by the update tool and the web package writer.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <conio.h>
#include <fcntl.h>
#include <io.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include "BinImage.h"
#include "LumivaneFwUpgrade.h"

char *gHexFirmware = nullptr;
char *gHexFPGA_Code = nullptr; // chosen by the update, released here

void prepareConsole(void)
{
#ifdef _WIN32
    // The transcript is the same bytes on every platform: no LF to CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // Every console write shows at once, progress labels without a line end included.
    setvbuf(stdout, NULL, _IONBF, 0);
    interruptsInstall();
}

void warnIfStandInBuild(void)
{
#ifdef LUMIVANE_STANDIN_IMAGES
    fputs("WARNING: this build carries stand-in firmware images, made for the simulated unit only !\r\n",
          stdout);
#endif
}

char *copyCatalogueText(int index)
{
    // Writable and terminated by the spare zero bytes: the flat image builder cuts it apart.
    const autogen_files &entry = AUTOGEN_FILES[index];
    char *copy = (char *)calloc((size_t)entry.fileDataLength + 16, 1);
    if (copy != NULL) {
        memcpy(copy, entry.fileData, (size_t)entry.fileDataLength);
    }
    return copy;
}

BOOL allocateRunBuffers(void)
{
    gHexFirmware = copyCatalogueText(FIRMWARE_IMAGE_ENTRY);
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + 16, 1);
    if (gDataConcatenated != NULL) {
        memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    }
    gDataBuffer = (char *)calloc(DATA_BUFFER_SIZE, 1);
    if (gHexFirmware == NULL || gDataConcatenated == NULL || gDataBuffer == NULL) {
        puts("\r\nERROR: Not enough memory to start !\r");
        releaseRunBuffers();
        return FALSE;
    }
    return TRUE;
}

void releaseRunBuffers(void)
{
    free(gDataBuffer);
    gDataBuffer = NULL;
    free(gDataConcatenated);
    gDataConcatenated = NULL;
    free(gHexFirmware);
    gHexFirmware = NULL;
    free(gHexFPGA_Code);
    gHexFPGA_Code = NULL;
}

// Keys pressed before the closing message (an Enter during the reboot wait) must not answer it.
// Only a console's queue goes: on a pipe or a file the call fails and the input is read as it comes.
static void discardKeysTypedAhead(void)
{
#ifdef _WIN32
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
#else
    tcflush(STDIN_FILENO, TCIFLUSH);
#endif
}

void dipsplayLastMessageToUserBeforeExit(char *lastMessage)
{
    interruptsSetStage(STAGE_CLOSING);
    fputs(lastMessage, stdout);
    fputs("\r\nPress any key to exit", stdout);
    discardKeysTypedAhead();
    _getch();
}
