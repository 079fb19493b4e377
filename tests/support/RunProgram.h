// Runs a program to its end with a given standard input, capturing what it writes, with a
// time-out so that a hang becomes a failed test instead of a stuck suite.
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct RunOptions {
    std::vector<std::string> argv; // argv[0] is the program's path
    std::string stdinText;         // the whole of standard input, then end of input
    int timeoutMs = 60000;
    std::vector<std::pair<std::string, std::string>> env; // set for the child ("": unset)
    std::string workDir;                                  // "" keeps the current one
    // Standard input is a pseudo-terminal, an operator's console, on which stdinText is typed
    // ahead; it stays open until the program ends, so a key wait is a real wait.
    bool stdinTerminal = false;
    bool rawTerminal = false; // that terminal starts raw, as Wine reads a console
    // When both are given, standard output is a pseudo-terminal of that window size, with
    // TERM=xterm: `out` is what its master side read (its default output processing included, so
    // that a "\n" arrives as "\r\n").
    int outRows = 0;
    int outColumns = 0;
    // Sent to the program's process group once, as soon as signalWhen(standard output so far, the
    // console's master side or -1) holds; with no signal, keysWhen is typed on the console then, and again at
    // each look (every 5 ms) while it holds.
    int signal = 0;
    bool signalProgramOnly = false; // the program alone, not what it started
    std::string keysWhen;
    std::function<bool(const std::string &out, int console)> signalWhen;
};

struct RunResult {
    bool started = false;
    bool timedOut = false;  // killed after timeoutMs
    bool signaled = false;  // ended by a signal
    bool whenHeld = false;  // signalWhen held while the program ran
    int exitStatus = -1;    // exit status (0..255), or the signal number when signaled
    std::string out;        // standard output, byte for byte
    std::string err;        // standard error
    termios consoleAfter{}; // the console's settings after the end (stdinTerminal)
};

// A process as `nobody` (uid and gid 65534) opens the terminal at path: 0, or its errno.
int openAsNobody(const std::string &path);

RunResult runProgram(const RunOptions &options);
// Runs argv[0] to its end with input as its standard input.
RunResult runToEnd(const std::vector<std::string> &argv, const std::string &input = "");
// Polls, every 5 ms, until done() holds (true) or timeoutMs passes (false).
bool pollFor(const std::function<bool()> &done, int timeoutMs);
// Starts options.argv in its own process group, with `in` as standard input and its output to the
// files `out` and `err`; the process id, or -1.
pid_t spawn(const RunOptions &options, int in, const std::string &out, const std::string &err);

} // namespace testsupport
