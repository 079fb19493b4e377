// Ctrl-C, Ctrl-Break, a closed console window, SIGINT, SIGTERM, SIGHUP: the run ends at once
// with status 1, the port and the console given back as they were found, and one line that
// says what was cut short. Handlers only make async-signal-safe calls.
#include <csignal>
#include <cstring>
#include <initializer_list>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"

#ifndef _WIN32
#include <unistd.h>

#include "RestoreOnInterrupt.h"
#endif

namespace {

// One line per RunStage, in its order.
const char *const CUT_SHORT[] = {
    "\r\nINTERRUPTED: the update was stopped before any image was sent, the unit is unchanged.\r\n",
    "\r\nINTERRUPTED: the upload was cut short, the unit did not get a whole image and must be updated again "
    "!\r\n",
    "\r\nINTERRUPTED: the reboot wait was cut short, the unit's return was not checked.\r\n",
    "\r\nINTERRUPTED: the run had already ended.\r\n",
    "\r\nINTERRUPTED: the package was not written, FwToUpload.bin is unchanged.\r\n",
};

volatile sig_atomic_t gStage = STAGE_BEFORE_UPLOAD;

#ifdef _WIN32
// Runs on a thread of its own that the system starts; the process ends with it.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (g_hCOM != INVALID_HANDLE_VALUE && g_hCOM != NULL) {
        PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        ComPortAPI_CloseCOM();
    }
    const char *line = CUT_SHORT[gStage];
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, (DWORD)strlen(line), &written, NULL);
    ExitProcess(1);
    return TRUE;
}
#else
void onSignal(int)
{
    serialRestoreOnInterrupt();
    consoleRestoreOnInterrupt();
    const char *line = CUT_SHORT[gStage];
    ssize_t written = write(STDOUT_FILENO, line, strlen(line));
    (void)written;
    _exit(1);
}
#endif

} // namespace

void interruptsInstall(void)
{
#ifdef _WIN32
    // The console's input settings come back by themselves: _getch restores the mode it
    // changes before it returns, and the process changes no other.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigfillset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, NULL);
    }
#endif
}

void interruptsSetStage(RunStage stage)
{
    gStage = stage;
}
