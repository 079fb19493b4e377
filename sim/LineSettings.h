// The line settings that the program on the other side of the pseudo-terminal applied.
#pragma once

struct LineSettings {
    unsigned rate = 0;
    bool crtscts = false;
};

// Reads the slave's settings through the master (Linux hands the master the slave's
// termios). Kept apart because <asm/termbits.h> clashes with <termios.h>.
bool readLineSettings(int masterFd, LineSettings &settings);
