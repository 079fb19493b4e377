// Workers on POSIX systems: fork and exec of /proc/self/exe, the channel on descriptor 3, the
// parent-death signal.
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "Workers.h"

const char CHANNEL_OPTION[] = "--channel";

namespace {

std::string gOwnPath;
// Where the worker finds its channel.
const int CHANNEL_FD = 3;
// Above the descriptors the child sets up, so that no dup2 overwrites another end.
const int HIGH_FD = 10;

long readFrom(int fd, char *buffer, size_t size)
{
    for (;;) {
        const ssize_t count = ::read(fd, buffer, size);
        if (count >= 0 || errno != EINTR) {
            return count > 0 ? (long)count : 0;
        }
    }
}

void closeIfOpen(int &fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

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
    closeIfOpen(out_);
    closeIfOpen(events_);
}

bool WorkerProcess::start(const std::vector<std::string> &args, std::string *why)
{
    int output[2] = {-1, -1}, channel[2] = {-1, -1};
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0 || pipe2(output, O_CLOEXEC) != 0 || pipe2(channel, O_CLOEXEC) != 0) {
        *why = strerror(errno);
        for (int fd : {nothing, output[0], output[1], channel[0], channel[1]}) {
            closeIfOpen(fd);
        }
        return false;
    }
    std::vector<std::string> words = {gOwnPath};
    words.insert(words.end(), args.begin(), args.end());
    words.push_back(CHANNEL_OPTION);
    words.push_back(std::to_string(CHANNEL_FD));
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
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
        const int ends[] = {fcntl(nothing, F_DUPFD_CLOEXEC, HIGH_FD),
                            fcntl(output[1], F_DUPFD_CLOEXEC, HIGH_FD),
                            fcntl(channel[1], F_DUPFD_CLOEXEC, HIGH_FD)};
        // dup2 leaves the copies open across exec.
        if (ends[0] < 0 || ends[1] < 0 || ends[2] < 0 || dup2(ends[0], STDIN_FILENO) < 0 ||
            dup2(ends[1], STDOUT_FILENO) < 0 || dup2(ends[0], STDERR_FILENO) < 0 ||
            dup2(ends[2], CHANNEL_FD) < 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    const int error = errno;
    for (int fd : {nothing, output[1], channel[1]}) {
        closeIfOpen(fd);
    }
    if (pid < 0) {
        *why = strerror(error);
        closeIfOpen(output[0]);
        closeIfOpen(channel[0]);
        return false;
    }
    pid_ = pid;
    out_ = output[0];
    events_ = channel[0];
    return true;
}

long WorkerProcess::readOutput(char *buffer, size_t size)
{
    return readFrom(out_, buffer, size);
}

long WorkerProcess::readEvents(char *buffer, size_t size)
{
    return readFrom(events_, buffer, size);
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
        ::kill(pid_, signalNumber);
        ::kill(pid_, SIGCONT);
    }
}

void WorkerProcess::kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
    }
}
