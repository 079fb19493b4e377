#include "FileAPI.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

static FILE *fptr = nullptr;

static BOOL reportOpened(void)
{
    if (fptr == nullptr) {
        puts("ERROR: File does not exists");
        fflush(stdout);
        return FALSE;
    }
    return TRUE;
}

// A descriptor of a file created new (CREATE_NEW; O_EXCL, which never follows a link), or -1.
static int createNewDescriptor(const char *fileName)
{
#ifdef _WIN32
    // Deletion is shared so that an interrupt, on another thread, can remove the file by its name
    // while it is open: it goes when the handle closes.
    HANDLE file = CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_DELETE, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int fd = _open_osfhandle((intptr_t)file, _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
    }
    return fd;
#else
    return open(fileName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
}

static BOOL reportNoOpenFile(void)
{
    puts("ERROR: File does not exists or Not opened !");
    fflush(stdout);
    return FALSE;
}

BOOL FileAPI_CreateNewFile(char *fileName)
{
    int fd = createNewDescriptor(fileName);
    fptr = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && fptr == nullptr) {
        close(fd);
    }
    return reportOpened();
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
