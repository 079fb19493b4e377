// Millisecond sleep. Its own library, so that a test build can link a recorder instead.
#include <time.h>

#include <cerrno>

#include "windows_posix.h"

void Sleep(DWORD dwMilliseconds)
{
    timespec remaining{static_cast<time_t>(dwMilliseconds / 1000),
                       static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
