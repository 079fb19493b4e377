// The Win32 serial time-out rules, for the layers that carry them out themselves (the POSIX
// serial stand-ins, the network port): how long a read or a write of a given count may take.
#pragma once

#include <cstdint>

#include "Platform.h"

// A transfer without this limit waits as long as it takes (a Win32 time-out of 0).
const int64_t NO_LIMIT_MS = -1;

struct ReadLimits {
    int64_t totalMs;    // from the call; 0 returns at once with what has come
    int64_t intervalMs; // after each byte that came
};

// The total time-out runs from the call; the interval time-out only after a byte has come, so
// with both equal a read always ends within one time-out of its start.
inline ReadLimits readLimitsFor(const COMMTIMEOUTS &timeouts, DWORD count)
{
    const bool returnAtOnce = timeouts.ReadIntervalTimeout == MAXDWORD &&
                              timeouts.ReadTotalTimeoutMultiplier == 0 &&
                              timeouts.ReadTotalTimeoutConstant == 0;
    if (returnAtOnce) {
        return {0, NO_LIMIT_MS};
    }
    const int64_t totalMs =
        static_cast<int64_t>(timeouts.ReadTotalTimeoutMultiplier) * count + timeouts.ReadTotalTimeoutConstant;
    const bool hasInterval = timeouts.ReadIntervalTimeout != 0 && timeouts.ReadIntervalTimeout != MAXDWORD;
    return {totalMs != 0 ? totalMs : NO_LIMIT_MS,
            hasInterval ? static_cast<int64_t>(timeouts.ReadIntervalTimeout) : NO_LIMIT_MS};
}

// The write fields bound a write by its count; both 0, nothing does.
inline int64_t writeLimitMsFor(const COMMTIMEOUTS &timeouts, DWORD count)
{
    const int64_t totalMs = static_cast<int64_t>(timeouts.WriteTotalTimeoutMultiplier) * count +
                            timeouts.WriteTotalTimeoutConstant;
    return totalMs != 0 ? totalMs : NO_LIMIT_MS;
}
