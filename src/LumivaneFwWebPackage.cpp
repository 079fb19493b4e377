// Writes the web upload package FwToUpload.bin into the current directory.
#include <cstdio>

#include "LumivaneFwUpgrade.h"

int main(void)
{
    prepareConsole();
#ifdef LUMIVANE_STANDIN_IMAGES
    fputs("WARNING: stand-in firmware images, for the simulated unit only: never use this package on a real unit\r\n",
          stdout);
#endif
    if (!allocateRunBuffers()) {
        return 1;
    }
    BOOL written = createFirmwareFileForWeb();
    releaseRunBuffers();
    return written ? 0 : 1;
}
