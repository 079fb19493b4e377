#include "FileAPI.h"

#include <cstdio>

static FILE *fptr = nullptr;

static BOOL openFile(char *fileName, const char *mode)
{
    fptr = fopen(fileName, mode);
    if (fptr == nullptr) {
        puts("ERROR: File does not exists");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

static BOOL reportNoOpenFile(void)
{
    puts("ERROR: File does not exists or Not opened !");
    fflush(stdout);
    return FALSE;
}

BOOL FileAPI_CreateFile(char *fileName, BOOL isBinary)
{
    return openFile(fileName, isBinary == TRUE ? "wb" : "w");
}

BOOL FileAPI_OpenFile_ToWrite(char *fileName, BOOL isBinary)
{
    return openFile(fileName, isBinary == TRUE ? "ab" : "a");
}

BOOL FileAPI_writeToFileBinary(void *dataToWrite, uint32_t dataLength)
{
    if (fptr == nullptr) {
        return reportNoOpenFile();
    }
    if (fwrite(dataToWrite, 1, dataLength, fptr) != dataLength) {
        puts("ERROR: Writing to file failed !");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

BOOL FileAPI_CloseFile(void)
{
    if (fptr == nullptr) {
        return reportNoOpenFile();
    }
    // The stream is gone whatever fclose says; a failure means bytes did not reach the file.
    int closeResult = fclose(fptr);
    fptr = nullptr;
    if (closeResult != 0) {
        puts("ERROR: Closing file failed !");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}
