#include "PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

struct RateCode {
    int rate;
    speed_t code;
};
const RateCode RATE_CODES[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},
                               {9600, B9600},   {57600, B57600}, {115200, B115200}};

void require(bool ok, const char *what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

} // namespace

Pty::Pty()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    require(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0, "posix_openpt");
    slavePath_ = ptsname(master_);
    keepOpen_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    require(keepOpen_ >= 0, "open slave");
}

Pty::~Pty()
{
    close(keepOpen_);
    unplug();
}

int Pty::baudRate() const
{
    termios tio;
    require(tcgetattr(master_, &tio) == 0, "tcgetattr");
    for (const RateCode &entry : RATE_CODES) {
        if (cfgetospeed(&tio) == entry.code) {
            return entry.rate;
        }
    }
    return -1;
}

bool Pty::ctsFlowControl() const
{
    termios tio;
    require(tcgetattr(master_, &tio) == 0, "tcgetattr");
    return (tio.c_cflag & CRTSCTS) != 0;
}

void Pty::send(const std::string &bytes) const
{
    require(write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "write");
}

std::string Pty::receiveUntilQuiet(int quietMs) const
{
    std::string received;
    pollfd entry{master_, POLLIN, 0};
    char chunk[4096];
    while (poll(&entry, 1, quietMs) > 0) {
        ssize_t count = read(master_, chunk, sizeof chunk);
        if (count <= 0) {
            break;
        }
        received.append(chunk, count);
    }
    return received;
}

void Pty::unplug()
{
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

PtyPeer::PtyPeer(Pty &pty, std::function<void(Pty &, const std::atomic<bool> &)> script)
    : thread_([this, &pty, script] { script(pty, stop_); })
{
}

PtyPeer::~PtyPeer()
{
    stop_ = true;
    thread_.join();
}

std::string receiveBytes(const Pty &pty, size_t count, const std::atomic<bool> &stop)
{
    std::string received;
    char chunk[4096];
    while (received.size() < count) {
        pollfd entry{pty.master(), POLLIN, 0};
        if (poll(&entry, 1, 20) <= 0) {
            if (stop) {
                break;
            }
            continue;
        }
        ssize_t got = read(pty.master(), chunk, std::min(sizeof chunk, count - received.size()));
        if (got > 0) {
            received.append(chunk, got);
        }
    }
    return received;
}

long long elapsedMs(const std::function<void()> &f)
{
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}
