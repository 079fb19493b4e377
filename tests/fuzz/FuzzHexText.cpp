// A whole Intel HEX text through the flat image builder, with the buffers laid out as the
// main flow lays them out: the text a heap copy with 16 zero bytes after it, the flat image
// CONCAT_BUFFER_SIZE bytes of 0xFF and 16 spare zero bytes. AddressSanitizer sees any access
// beyond either; the spare bytes must stay 0.
#include "FuzzSupport.h"
#include "LumivaneFwUpgrade.h"

#define SPARE_BYTES 16

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The builder's diagnostics would drown libFuzzer's own report, which goes to stderr.
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        abort();
    }
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + SPARE_BYTES, 1);
    if (gDataConcatenated == nullptr) {
        abort();
    }
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *text = newHeapText(data, size, SPARE_BYTES);
    BOOL built = ValidateFwAndConcatenateData(text);
    FUZZ_CHECK(built == TRUE || built == FALSE);
    FUZZ_CHECK(gDataConcatenatedLenght >= 0 && gDataConcatenatedLenght <= CONCAT_BUFFER_SIZE);
    for (int i = 0; i < SPARE_BYTES; i++) {
        FUZZ_CHECK(gDataConcatenated[CONCAT_BUFFER_SIZE + i] == 0);
    }
    // Reads exactly the announced length of the image.
    ComputeConcatenatedDataCheckSum();
    free(text);
    return 0;
}
