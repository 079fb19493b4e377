// Ctrl-C, Ctrl-\, Ctrl-Break, a closed console window, SIGINT, SIGQUIT, SIGTERM, SIGHUP: the run
// ends at once with status 1 (at the closing key wait, with the status it already had), the port
// and the console given back as they were found, a web package's part file removed, and one line
// that says what was cut short. A closed standard output loses the text, never the run.
#include <csignal>
#include <cstdio>
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
volatile sig_atomic_t gClosingStatus = 1;
const char *volatile gPartFile = NULL;
void (*volatile gAlsoCall)(RunStage stage) = NULL;

void callTheHook(void)
{
    void (*hook)(RunStage) = gAlsoCall;
    if (hook != NULL) {
        hook((RunStage)gStage);
    }
}

// The status an interrupt ends the run with: the one the run already had once it is over.
int interruptedStatus(void)
{
    return gStage == STAGE_CLOSING ? gClosingStatus : 1;
}

#ifdef _WIN32
// Bounds each of the port stop's two waits (the guard, the transfer under way): the system ends
// the process 5 s after CTRL_CLOSE_EVENT, whatever the handler is doing.
const DWORD PORT_STOP_BOUND_MS = 1500;

// Runs on a thread of its own that the system starts, while the main thread goes on. It takes
// the standard output's own lock first and keeps it until the process is gone: a progress text
// under way is finished, and nothing the main thread writes after it (a refused port's error)
// shows. The port layer then stops the port, refusing it to the main thread from then on.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    static volatile LONG handling = 0;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (InterlockedExchange(&handling, 1) != 0) {
        // A second event while the first is handled: the first ends the process.
        return TRUE;
    }
    callTheHook();
    _lock_file(stdout);
    ComPortAPI_StopFromAnotherThread(PORT_STOP_BOUND_MS);
    if (gStage == STAGE_WRITING_PACKAGE && gPartFile != NULL) {
        // The part file was opened sharing its deletion: it goes when its handle closes.
        DeleteFileA(gPartFile);
    }
    fputs(CUT_SHORT[gStage], stdout);
    // Not ExitProcess: the main thread may hold a C runtime lock that the runtime's own exit
    // would wait for.
    TerminateProcess(GetCurrentProcess(), (UINT)interruptedStatus());
    return TRUE;
}
#else
void onSignal(int)
{
    callTheHook();
    serialRestoreOnInterrupt();
    consoleRestoreOnInterrupt();
    if (gStage == STAGE_WRITING_PACKAGE && gPartFile != NULL) {
        unlink(gPartFile);
    }
    const char *line = CUT_SHORT[gStage];
    ssize_t written = write(STDOUT_FILENO, line, strlen(line));
    (void)written;
    _exit(interruptedStatus());
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
    interruptsCatch(onSignal);
#endif
}

#ifndef _WIN32
void interruptsCatch(void (*handler)(int))
{
    // No SA_RESTART: a console read under way ends at once.
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        sigaction(signalNumber, &action, NULL);
    }
    // A reader that goes away (`| head`) makes writes to standard output fail; the run goes on.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, NULL);
}
#endif

void interruptsAlsoCall(void (*hook)(RunStage stage))
{
    gAlsoCall = hook;
}

void interruptsSetStage(RunStage stage)
{
    gStage = stage;
}

int endRun(const char *lastMessage, int status)
{
    gClosingStatus = status;
    dipsplayLastMessageToUserBeforeExit((char *)lastMessage);
    return status;
}

void interruptsRemoveOnInterrupt(const char *partFile)
{
    gPartFile = partFile;
}
