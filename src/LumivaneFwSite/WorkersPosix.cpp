// Workers on POSIX systems: fork and exec of /proc/self/exe, the parent-death signal.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>

#include "Workers.h"

namespace {

std::string gOwnPath;

} // namespace

bool prepareWorkers(void)
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return false;
    }
    gOwnPath.assign(path, (size_t)length);
    return true;
}

WorkerProcess::~WorkerProcess()
{
    if (out_ >= 0) {
        close(out_);
    }
}

bool WorkerProcess::start(const std::vector<std::string> &args)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return false;
    }
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    std::vector<char *> argv = {(char *)gOwnPath.c_str()};
    for (const std::string &arg : args) {
        argv.push_back((char *)arg.c_str());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec. A worker whose site program
        // ends is told so (SIGTERM), and ends as the one-unit tool ends on it: port given back.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(nothing, STDIN_FILENO);
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (nothing >= 0) {
        close(nothing);
    }
    if (pid < 0) {
        close(pipeEnds[0]);
        return false;
    }
    pid_ = pid;
    out_ = pipeEnds[0];
    return true;
}

long WorkerProcess::read(char *buffer, size_t size)
{
    for (;;) {
        const ssize_t count = ::read(out_, buffer, size);
        if (count >= 0 || errno != EINTR) {
            return count > 0 ? (long)count : 0;
        }
    }
}

int WorkerProcess::wait()
{
    siginfo_t info = {};
    int done;
    while ((done = waitid(P_PID, (id_t)pid_, &info, WEXITED | WNOWAIT)) < 0 && errno == EINTR) {
    }
    return done == 0 && info.si_code == CLD_EXITED ? info.si_status & 0xFF : -1;
}

void WorkerProcess::release()
{
    if (pid_ > 0) {
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

void WorkerProcess::interrupt(int signalNumber)
{
    if (pid_ > 0) {
        kill(pid_, signalNumber);
    }
}
