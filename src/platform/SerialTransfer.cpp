// Blocking reads and writes with the Win32 serial time-out rules.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "CommTimeouts.h"
#include "SerialHandle.h"

namespace {

int64_t nowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

const int64_t NS_PER_MS = 1000000;
const int64_t NO_DEADLINE = INT64_MAX;

// Milliseconds for poll() until deadline, rounded up so that a read never ends early;
// -1 waits without end.
int pollTimeoutUntil(int64_t deadline)
{
    if (deadline == NO_DEADLINE) {
        return -1;
    }
    int64_t remaining = deadline - nowNs();
    if (remaining <= 0) {
        return 0;
    }
    int64_t ms = (remaining + NS_PER_MS - 1) / NS_PER_MS;
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

// Waits for events on fd until deadline: 1 when they came, 0 on time-out, -1 on error.
int waitFor(int fd, short events, int64_t deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = poll(&entry, 1, pollTimeoutUntil(deadline));
        if (ready > 0) {
            return 1;
        }
        if (ready == 0) {
            if (deadline == NO_DEADLINE || nowNs() >= deadline) {
                return 0;
            }
            continue;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

} // namespace

// Ends by the Win32 read time-out rules (CommTimeouts.h).
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED)
{
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr || lpBuffer == nullptr) {
        return FALSE;
    }
    const ReadLimits limits = readLimitsFor(port->timeouts, nNumberOfBytesToRead);
    int64_t totalDeadline =
        limits.totalMs != NO_LIMIT_MS ? nowNs() + limits.totalMs * NS_PER_MS : NO_DEADLINE;
    int64_t intervalDeadline = NO_DEADLINE;

    char *buffer = static_cast<char *>(lpBuffer);
    DWORD received = 0;
    BOOL result = TRUE;
    while (received < nNumberOfBytesToRead) {
        int64_t deadline = totalDeadline < intervalDeadline ? totalDeadline : intervalDeadline;
        int ready = waitFor(port->fd, POLLIN, deadline);
        if (ready == 0) {
            break;
        }
        ssize_t count = ready < 0 ? -1 : read(port->fd, buffer + received, nNumberOfBytesToRead - received);
        if (count > 0) {
            received += static_cast<DWORD>(count);
            if (limits.intervalMs != NO_LIMIT_MS) {
                intervalDeadline = nowNs() + limits.intervalMs * NS_PER_MS;
            }
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        // Readable yet nothing to read, or EIO: the device has gone.
        result = FALSE;
        break;
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = received;
    }
    return result;
}

// Returns once the driver has taken every byte, or, when the write time-out fields are set,
// at their deadline with the count taken so far, as Windows does (the caller compares it).
// With CRTSCTS the driver holds output while CTS is off; poll() sees the queue full.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED)
{
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    SerialHandle *port = serialHandleFrom(hFile);
    if (port == nullptr || lpBuffer == nullptr) {
        return FALSE;
    }
    const int64_t limitMs = writeLimitMsFor(port->timeouts, nNumberOfBytesToWrite);
    int64_t deadline = limitMs != NO_LIMIT_MS ? nowNs() + limitMs * NS_PER_MS : NO_DEADLINE;

    const char *buffer = static_cast<const char *>(lpBuffer);
    DWORD written = 0;
    BOOL result = TRUE;
    while (written < nNumberOfBytesToWrite) {
        ssize_t count = write(port->fd, buffer + written, nNumberOfBytesToWrite - written);
        if (count > 0) {
            written += static_cast<DWORD>(count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && errno == EAGAIN) {
            int ready = waitFor(port->fd, POLLOUT, deadline);
            if (ready <= 0) {
                result = ready == 0 ? TRUE : FALSE;
                break;
            }
        } else {
            result = FALSE;
            break;
        }
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = written;
    }
    return result;
}
