// Until the update procedure exists: prints what the flat image builder makes of each
// embedded image, so that a build can be checked against the release's figures.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BinImage.h"
#include "LumivaneFwUpgrade.h"

static int countLines(const char *text)
{
    int lines = 0;
    for (; *text != '\0'; text++) {
        lines += (*text == '\n');
    }
    return lines;
}

int main(void)
{
#ifdef LUMIVANE_STANDIN_IMAGES
    puts("Stand-in firmware images: this build must not program a real unit.");
#endif
    gDataConcatenated = (uint8_t *)malloc(CONCAT_BUFFER_SIZE + 16);
    if (gDataConcatenated == nullptr) {
        puts("Memoire insuffisante");
        return 0;
    }
    memset(gDataConcatenated, 0, CONCAT_BUFFER_SIZE + 16);
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);

    for (const autogen_files &entry : AUTOGEN_FILES) {
        char *workingCopy = (char *)calloc((size_t)entry.fileDataLength + 16, 1);
        if (workingCopy == nullptr) {
            puts("Memoire insuffisante");
            break;
        }
        memcpy(workingCopy, entry.fileData, (size_t)entry.fileDataLength);
        printf("%-28s text %9d  lines %6d  ", entry.filePath, entry.fileDataLength, countLines(entry.fileData));
        fflush(stdout);
        if (ValidateFwAndConcatenateData(workingCopy)) {
            ComputeConcatenatedDataCheckSum();
            printf("flat length %8d  checksum %10u\n", gDataConcatenatedLenght, gDataConcatenatedCheckSum);
        } else {
            puts("FAILED");
        }
        fflush(stdout);
        free(workingCopy);
    }
    free(gDataConcatenated);
    return 0;
}
