// Writes the web upload package FwToUpload.bin into the current directory.
#include <cstdio>

#include "LumivaneFwUpgrade.h"

int main(void)
{
    prepareConsole();
    warnIfStandInBuild();
    if (!allocateRunBuffers()) {
        return endRun("", 1);
    }
    BOOL written = createFirmwareFileForWeb();
    releaseRunBuffers();
    return written ? 0 : 1;
}
