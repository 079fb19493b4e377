// One output file at a time: create it new, write raw bytes, close.
#pragma once

#include <cstdint>

#include "Platform.h"

// Creates fileName as a new file for binary writing. Whatever already has that name (a file,
// a link, a FIFO, a directory) makes it fail: nothing is opened through a name that someone
// else put there.
BOOL FileAPI_CreateNewFile(char *fileName);
// FALSE when no file is open or the stream took fewer than dataLength bytes.
BOOL FileAPI_writeToFileBinary(void *dataToWrite, uint32_t dataLength);
// FALSE when no file is open or the close failed (its buffered bytes may be lost).
BOOL FileAPI_CloseFile(void);
