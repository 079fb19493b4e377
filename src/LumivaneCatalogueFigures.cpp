// Prints what the tool's own flat image builder makes of each embedded image, and the SHA-256
// of each embedded text and of each flat image as sent (its first `flat length` bytes), so that
// a release engineer can check a build's image set against the release's figures and name
// exactly what ships. Exit status 1 when an image does not build or differs from the manifest.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nettle/sha2.h>

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

static void printSha256(const char *label, const void *bytes, size_t size)
{
    struct sha256_ctx context;
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_init(&context);
    sha256_update(&context, size, (const uint8_t *)bytes);
    sha256_digest(&context, sizeof digest, digest);
    printf("    sha256 %s ", label);
    for (uint8_t b : digest) {
        printf("%02x", b);
    }
    printf("\n");
}

int main(void)
{
    prepareConsole();
    warnIfStandInBuild();
    if (!allocateRunBuffers()) {
        return 1;
    }
    printf("Image set of release %s (firmware %s)\n", RELEASE_NAME, RELEASE_FIRMWARE_VERSION);
    int failures = 0;
    for (int index = 0; index < (int)(sizeof AUTOGEN_FILES / sizeof AUTOGEN_FILES[0]); index++) {
        const autogen_files &entry = AUTOGEN_FILES[index];
        const ReleaseEntry &published = RELEASE_ENTRIES[index];
        int lines = countLines(entry.fileData);
        printf("%-28s text %9d  lines %6d  ", entry.filePath, entry.fileDataLength, lines);
        char *workingCopy = copyCatalogueText(index);
        if (workingCopy == NULL || !ValidateFwAndConcatenateData(workingCopy)) {
            puts("FAILED");
            failures++;
            free(workingCopy);
            continue;
        }
        free(workingCopy);
        ComputeConcatenatedDataCheckSum();
        printf("flat length %8d  checksum %10u\n", gDataConcatenatedLenght,
               (unsigned)gDataConcatenatedCheckSum);
        printSha256("text", entry.fileData, (size_t)entry.fileDataLength);
        printSha256("flat", gDataConcatenated, (size_t)gDataConcatenatedLenght);
        if (strcmp(entry.filePath, published.file) != 0 || entry.fileDataLength != published.textLength ||
            lines != published.lines || gDataConcatenatedLenght != published.flatLength ||
            gDataConcatenatedCheckSum != published.checksum) {
            printf("    DIFFERS from %s.manifest: %s text %d  lines %d  flat length %d  checksum %u\n",
                   RELEASE_NAME, published.file, published.textLength, published.lines, published.flatLength,
                   published.checksum);
            failures++;
        }
    }
    releaseRunBuffers();
    return failures == 0 ? 0 : 1;
}
