#include "LineSettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool readLineSettings(int masterFd, LineSettings &settings)
{
    struct termios2 tio {};
    if (ioctl(masterFd, TCGETS2, &tio) != 0) {
        return false;
    }
    // The kernel fills c_ospeed for the classic Bxxx rates as well as for BOTHER.
    settings.rate = tio.c_ospeed;
    settings.crtscts = (tio.c_cflag & CRTSCTS) != 0;
    return true;
}
