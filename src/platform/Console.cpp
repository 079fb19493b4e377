// The Microsoft C runtime's console key read and integer formatting.
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "RestoreOnInterrupt.h"
#include "windows_posix.h"

namespace {

// The console's own settings while a key wait has changed them, for an interrupt to put back.
volatile sig_atomic_t gConsoleChanged = 0;
termios gConsoleFound;

} // namespace

void consoleRestoreOnInterrupt(void)
{
    if (gConsoleChanged) {
        tcsetattr(STDIN_FILENO, TCSANOW, &gConsoleFound);
    }
}

int _getch(void)
{
    if (!isatty(STDIN_FILENO)) {
        // Through stdio, so that a byte that scanf has buffered is not skipped.
        return getchar();
    }
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        return EOF;
    }
    termios keyAtATime = saved;
    keyAtATime.c_lflag &= ~(ICANON | ECHO);
    keyAtATime.c_cc[VMIN] = 1;
    keyAtATime.c_cc[VTIME] = 0;
    gConsoleFound = saved;
    gConsoleChanged = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &keyAtATime);
    unsigned char key;
    ssize_t count = read(STDIN_FILENO, &key, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    gConsoleChanged = 0;
    return count == 1 ? key : EOF;
}

char *_itoa(int value, char *buffer, int radix)
{
    if (radix < 2 || radix > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    // Only base 10 shows a sign; other bases show the two's-complement bits.
    bool negative = radix == 10 && value < 0;
    unsigned int magnitude =
        negative ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    char digits[33];
    int count = 0;
    do {
        unsigned int digit = magnitude % radix;
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= radix;
    } while (magnitude != 0);
    char *out = buffer;
    if (negative) {
        *out++ = '-';
    }
    while (count > 0) {
        *out++ = digits[--count];
    }
    *out = '\0';
    return buffer;
}
