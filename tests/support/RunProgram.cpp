#include "RunProgram.h"

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

bool pollFor(const std::function<bool()> &done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

pid_t spawn(const RunOptions &options, int in, const std::string &out, const std::string &err)
{
    std::vector<char *> argv;
    for (const std::string &arg : options.argv) {
        argv.push_back(const_cast<char *>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0); // its own group, so a time-out ends it and whatever it started
        const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || fdOut < 0 || fdErr < 0 || dup2(in, 0) < 0 || dup2(fdOut, 1) < 0 || dup2(fdErr, 2) < 0) {
            _exit(126);
        }
        for (const auto &[name, value] : options.env) {
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        }
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) {
            _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0) {
        setpgid(pid, pid);
    }
    return pid;
}

RunResult runProgram(const RunOptions &options)
{
    RunResult result;
    // Files, not pipes: a program that leaves a child behind holding its output would keep a
    // pipe open for ever; and standard input from a file is there whole without a writer.
    TempDir files;
    const std::string in = files.file("stdin"), out = files.file("stdout"), err = files.file("stderr");
    int console = -1, fdIn = -1;
    if (options.stdinTerminal) {
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&console, &fdIn, nullptr, options.rawTerminal ? &raw : nullptr, nullptr) != 0) {
            return result;
        }
        fcntl(console, F_SETFD, FD_CLOEXEC);
    } else if (writeFile(in, options.stdinText)) {
        fdIn = open(in.c_str(), O_RDONLY | O_CLOEXEC);
    }
    // The standard output's terminal: the program opens it by its path, the test reads its master.
    int screen = -1, screenSlave = -1;
    std::string screenPath, screenOut;
    RunOptions child = options;
    if (options.outRows > 0 && options.outColumns > 0) {
        winsize size{};
        size.ws_row = (unsigned short)options.outRows;
        size.ws_col = (unsigned short)options.outColumns;
        if (openpty(&screen, &screenSlave, nullptr, nullptr, &size) != 0) {
            close(fdIn);
            return result;
        }
        screenPath = ttyname(screenSlave);
        fcntl(screen, F_SETFD, FD_CLOEXEC);
        fcntl(screenSlave, F_SETFD, FD_CLOEXEC);
        child.env.push_back({"TERM", "xterm"});
    }
    const pid_t pid = options.argv.empty() ? -1 : spawn(child, fdIn, screen < 0 ? out : screenPath, err);
    close(fdIn);
    // Whatever the terminal's master side has to read within waitMs, until it has nothing more:
    // read while the program runs, so that a full terminal never stops it.
    const auto readScreen = [&](int waitMs) {
        pollfd ready{screen, POLLIN, 0};
        char piece[4096];
        long count = 1;
        while (screen >= 0 && count > 0 && poll(&ready, 1, waitMs) > 0) {
            if ((count = read(screen, piece, sizeof piece)) > 0) {
                screenOut.append(piece, (size_t)count);
            }
        }
    };
    if (pid < 0) {
        close(screen);
        close(screenSlave);
        return result;
    }
    result.started = true;
    if (options.stdinTerminal && write(console, options.stdinText.data(), options.stdinText.size()) < 0) {
        perror("console");
    }

    int status = 0;
    result.timedOut = !pollFor(
        [&] {
            readScreen(0);
            if (options.signalWhen && (!result.whenHeld || options.signal == 0) &&
                options.signalWhen(screen < 0 ? readFile(out) : screenOut, console)) {
                result.whenHeld = true;
                if (options.signal != 0) {
                    // The group, as a terminal's Ctrl-C: under Wine it holds the Windows program's
                    // own process.
                    kill(options.signalProgramOnly ? pid : -pid, options.signal);
                } else if (write(console, options.keysWhen.data(), options.keysWhen.size()) < 0) {
                    perror("console");
                }
            }
            return waitpid(pid, &status, WNOHANG) != 0;
        },
        options.timeoutMs);
    if (result.timedOut) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    result.signaled = WIFSIGNALED(status);
    result.exitStatus = result.signaled ? WTERMSIG(status) : WEXITSTATUS(status);
    if (screen >= 0) {
        // Closed on this side too, the terminal's master reads what is left, then its end (the
        // last output may still be on its way through the terminal when the program has ended).
        close(screenSlave);
        readScreen(5000);
        close(screen);
    }
    result.out = screen < 0 ? readFile(out) : screenOut;
    result.err = readFile(err);
    if (console >= 0) {
        tcgetattr(console, &result.consoleAfter);
        close(console);
    }
    return result;
}

RunResult runToEnd(const std::vector<std::string> &argv, const std::string &input)
{
    RunOptions options;
    options.argv = argv;
    options.stdinText = input;
    return runProgram(options);
}

int openAsNobody(const std::string &path)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(126);
        }
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        _exit(fd >= 0 ? 0 : errno);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport
