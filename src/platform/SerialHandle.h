// What a serial HANDLE points to on POSIX systems: the open descriptor and the
// time-outs that ReadFile applies to it (termios has no place for them).
#pragma once

#include <termios.h>

#include "windows_posix.h"

struct SerialHandle {
    int fd;
    COMMTIMEOUTS timeouts;
    termios found; // the line settings the port had when it was opened, given back at close
    bool hasFound;
};

// The handle's record, or null for the "no port" values and null.
SerialHandle *serialHandleFrom(HANDLE handle);
