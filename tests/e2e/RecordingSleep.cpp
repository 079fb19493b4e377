// Sleep for test builds of the update tool: returns at once and records each call on
// standard error, so that a run shows its reboot wait without spending it.
#include <cstdio>

#include "windows_posix.h"

void Sleep(DWORD dwMilliseconds)
{
    fprintf(stderr, "Sleep %u\n", (unsigned)dwMilliseconds);
}
