// Baud rates outside the termios B-constants, through Linux's termios2. Kept apart
// because <asm/termbits.h> cannot live in the same source as glibc's <termios.h>.
#pragma once

#include <cstdint>

// Sets both directions of fd to rate; true when the driver took the request.
bool setCustomBaudRate(int fd, uint32_t rate);

// The output rate that fd's driver reports, or 0 when it cannot be read.
uint32_t customBaudRate(int fd);
