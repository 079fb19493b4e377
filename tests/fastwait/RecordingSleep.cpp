// Sleep for test builds of the update tool: returns at once and records each call on
// standard error, so that a run shows its reboot wait without spending it.
#include <cstdio>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "Platform.h"

namespace {

void record(DWORD milliseconds)
{
    fprintf(stderr, "Sleep %u\n", (unsigned)milliseconds);
}

} // namespace

#ifdef _WIN32
// The program calls the system's Sleep through its import entry; this entry, linked first,
// takes the place of the system's. The record's lines end as they do natively.
static VOID WINAPI recordingSleep(DWORD dwMilliseconds)
{
    static const int binary = _setmode(_fileno(stderr), _O_BINARY);
    (void)binary;
    record(dwMilliseconds);
}
extern "C" {
VOID(WINAPI *__imp_Sleep)(DWORD) = recordingSleep;
}
#else
void Sleep(DWORD dwMilliseconds)
{
    record(dwMilliseconds);
}
#endif
