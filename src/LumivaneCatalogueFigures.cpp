// Prints what the tool's own flat image builder makes of each embedded image, so that a
// release engineer can check a build's image set against the release's published figures.
#include <cstdio>
#include <cstdlib>

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
    prepareConsole();
    warnIfStandInBuild();
    if (!allocateRunBuffers()) {
        return 1;
    }
    int failures = 0;
    for (int index = 0; index < (int)(sizeof AUTOGEN_FILES / sizeof AUTOGEN_FILES[0]); index++) {
        const autogen_files &entry = AUTOGEN_FILES[index];
        printf("%-28s text %9d  lines %6d  ", entry.filePath, entry.fileDataLength, countLines(entry.fileData));
        char *workingCopy = copyCatalogueText(index);
        if (workingCopy != NULL && ValidateFwAndConcatenateData(workingCopy)) {
            ComputeConcatenatedDataCheckSum();
            printf("flat length %8d  checksum %10u\n", gDataConcatenatedLenght, (unsigned)gDataConcatenatedCheckSum);
        } else {
            puts("FAILED");
            failures++;
        }
        free(workingCopy);
    }
    releaseRunBuffers();
    return failures == 0 ? 0 : 1;
}
