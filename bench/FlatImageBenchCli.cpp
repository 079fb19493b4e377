// Builds the flat image of one Intel HEX file with the tool's own builder and writes the bytes
// within the announced length to a file: the tool's side of the whole-process comparison with
// objcopy and srec_cat.
//
// Usage: flatimage_bench_cli <in.hex> <out.bin>
// Exit status: 0 written, 1 refused by the builder (its diagnostics are on standard output),
// 2 usage or file error.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LumivaneFwUpgrade.h"

namespace {

// The whole file as a heap working copy with 16 zero bytes behind it, as the tool's callers
// make theirs: writable, because the builder cuts it apart.
char *readWorkingCopy(const char *path)
{
    FILE *in = fopen(path, "rb");
    if (in == nullptr) {
        return nullptr;
    }
    char *copy = nullptr;
    long size = -1;
    if (fseek(in, 0, SEEK_END) == 0 && (size = ftell(in)) >= 0 && fseek(in, 0, SEEK_SET) == 0) {
        copy = (char *)calloc((size_t)size + 16, 1);
        if (copy != nullptr && fread(copy, 1, (size_t)size, in) != (size_t)size) {
            free(copy);
            copy = nullptr;
        }
    }
    fclose(in);
    return copy;
}

// No partial file is left behind: a failed write removes what was written.
bool writeFlatImage(const char *path, const uint8_t *bytes, size_t length)
{
    FILE *out = fopen(path, "wb");
    if (out == nullptr) {
        return false;
    }
    bool written = fwrite(bytes, 1, length, out) == length;
    written = (fclose(out) == 0) && written;
    if (!written) {
        remove(path);
    }
    return written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s <in.hex> <out.bin>\n", argv[0]);
        return 2;
    }
    char *workingCopy = readWorkingCopy(argv[1]);
    if (workingCopy == nullptr) {
        fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 2;
    }
    // Allocated and filled as the main flow does before its first build.
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + 16, 1);
    if (gDataConcatenated == nullptr) {
        fprintf(stderr, "%s: out of memory\n", argv[0]);
        free(workingCopy);
        return 2;
    }
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);

    int status = 0;
    if (ValidateFwAndConcatenateData(workingCopy) != TRUE) {
        status = 1;
    } else if (!writeFlatImage(argv[2], gDataConcatenated, (size_t)gDataConcatenatedLenght)) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        status = 2;
    }
    free(gDataConcatenated);
    gDataConcatenated = nullptr;
    free(workingCopy);
    return status;
}
