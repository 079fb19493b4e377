// The unit's answer to the version query, as any bytes the line may bring.
#include "FuzzSupport.h"
#include "LumivaneFwUpgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *reply = newTerminatedText(data, size);
    VersionReply version;
    int fields = parseVersionReply(reply, &version);
    FUZZ_CHECK(fields >= 0 && fields <= 7);
    // The model is printed with %s: it must end inside its field.
    FUZZ_CHECK(memchr(version.model, '\0', sizeof version.model) != nullptr);
    if (fields != 7) {
        FUZZ_CHECK(version.fpga_type == -1);
    }
    free(reply);
    return 0;
}
