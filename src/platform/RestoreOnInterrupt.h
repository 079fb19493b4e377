// What the platform layer changed outside the process, put back from a signal handler before
// an interrupted run ends. Both are async-signal-safe.
#pragma once

// Purges the open serial port, gives it back its line settings and exclusive claim, closes it.
void serialRestoreOnInterrupt(void);

// Gives the console back the settings that a key wait changed.
void consoleRestoreOnInterrupt(void);
