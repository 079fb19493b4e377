#include "PtyLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool makeDirs(const std::string &path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') {
            continue;
        }
        std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

} // namespace

PtyLine::~PtyLine()
{
    close();
}

bool PtyLine::open(std::string &error)
{
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[PATH_MAX];
    if (ptsname_r(fd_, name, sizeof name) != 0) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    // Raw from the start: a line in cooked mode would echo the unit's own replies back to it
    // before the tool has configured the port.
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(fd_, TCSANOW, &tio);
    }
    return true;
}

bool PtyLine::link(const std::string &dir, int com, std::string &error)
{
    if (!makeDirs(dir)) {
        error = "cannot create " + dir + ": " + std::strerror(errno);
        return false;
    }
    std::string path = dir + "/com" + std::to_string(com);
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = path + " exists and is not a link";
        return false;
    }
    // Link under a private name, then rename over the entry: the port never looks absent
    // half-way, and a stale link from an earlier run is replaced.
    std::string temp = path + ".unitsim." + std::to_string(getpid());
    ::unlink(temp.c_str());
    if (symlink(slavePath_.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot link " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    linkPath_ = path;
    return true;
}

void PtyLine::unlink()
{
    if (linkPath_.empty()) {
        return;
    }
    // Only our own link goes: another unit may have taken the name since.
    char target[PATH_MAX];
    ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, size_t(n)) == slavePath_) {
        ::unlink(linkPath_.c_str());
    }
    linkPath_.clear();
}

bool PtyLine::holdSlave(std::string &error)
{
    slaveFd_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd_ < 0) {
        error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void PtyLine::stopWriter()
{
    // A stopped tty takes nothing from its writer: the pty's room for it is 0 until restarted,
    // however empty its buffer.
    tcflow(slaveFd_, TCOOFF);
}

void PtyLine::close()
{
    unlink();
    for (int *fd : {&fd_, &slaveFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
        }
        *fd = -1;
    }
}

LineSettings PtyLine::settings() const
{
    LineSettings settings;
    readLineSettings(fd_, settings);
    return settings;
}
