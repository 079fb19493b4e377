// What the platform layer changed outside the process, put back from a signal handler before
// an interrupted run ends. Both are async-signal-safe.
#ifndef LUMIVANE_PLATFORM_RESTORE_ON_INTERRUPT_H
#define LUMIVANE_PLATFORM_RESTORE_ON_INTERRUPT_H

// Purges the open serial port, gives it back its line settings and exclusive claim, closes it.
void serialRestoreOnInterrupt(void);

// Gives the console back the settings that a key wait changed.
void consoleRestoreOnInterrupt(void);

#endif
