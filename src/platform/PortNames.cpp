#include "PortNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

const char DEVICE_PATH_PREFIX[] = "\\\\.\\COM";

std::string portsDirectory()
{
    std::string base;
    const char *xdg = getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char *home = getenv("HOME");
        if (home == nullptr || home[0] == '\0') {
            return std::string();
        }
        base = std::string(home) + "/.config";
    }
    return base + "/LumivaneFwUpgrade/ports";
}

// Decimal digits after a known prefix: the number, or -1 when the rest is not a number.
long numberAfterPrefix(const char *name, const char *prefix)
{
    size_t prefixLength = strlen(prefix);
    if (strncmp(name, prefix, prefixLength) != 0) {
        return -1;
    }
    const char *digits = name + prefixLength;
    if (*digits == '\0' || strspn(digits, "0123456789") != strlen(digits) || strlen(digits) > 9) {
        return -1;
    }
    return strtol(digits, nullptr, 10);
}

std::string linkTarget(const std::string &path)
{
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0) {
        return std::string();
    }
    target[length] = '\0';
    return target;
}

// A serial8250 port with no UART behind it still has a device node; the driver
// reports its type as unknown.
bool isPhantom8250(const std::string &name)
{
    std::string driver = linkTarget("/sys/class/tty/" + name + "/device/driver");
    if (driver.size() < 10 || driver.compare(driver.size() - 10, 10, "serial8250") != 0) {
        return false;
    }
    int fd = open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    struct serial_struct info;
    bool unknown = ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type == PORT_UNKNOWN;
    close(fd);
    return unknown;
}

bool isSerialDevicePresent(const std::string &name)
{
    std::string entry = "/sys/class/tty/" + name;
    struct stat st;
    if (stat((entry + "/device").c_str(), &st) != 0) {
        return false;
    }
    char resolved[PATH_MAX];
    if (realpath(entry.c_str(), resolved) == nullptr || strstr(resolved, "/virtual/") != nullptr) {
        return false;
    }
    return !isPhantom8250(name);
}

std::vector<std::string> serialDevicesPresent()
{
    static const char *const families[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::tuple<int, long, std::string>> found;
    DIR *dir = opendir("/sys/class/tty");
    if (dir == nullptr) {
        return {};
    }
    while (struct dirent *entry = readdir(dir)) {
        for (int family = 0; family < 3; ++family) {
            long number = numberAfterPrefix(entry->d_name, families[family]);
            if (number >= 0 && isSerialDevicePresent(entry->d_name)) {
                found.emplace_back(family, number, entry->d_name);
            }
        }
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    std::vector<std::string> devices;
    for (const auto &device : found) {
        devices.push_back("/dev/" + std::get<2>(device));
    }
    return devices;
}

// Discovery asks for 32 ports: the folder's trouble is told once.
void tellFolderError(const std::string &directory, int error)
{
    static bool told = false;
    if (!told) {
        printf("\r\nERROR: The ports folder %s cannot be read (%s), it names no port !\r\n",
               directory.c_str(), strerror(error));
        fflush(stdout);
        told = true;
    }
}

} // namespace

int portNumberFromDevicePath(const char *path)
{
    if (path == nullptr) {
        return 0;
    }
    long number = numberAfterPrefix(path, DEVICE_PATH_PREFIX);
    return number > 0 ? static_cast<int>(number) : 0;
}

std::string deviceForPortNumber(int n, const std::string &directory,
                                const std::function<std::vector<std::string>()> &serialDevices)
{
    if (n <= 0) {
        return std::string();
    }
    if (!directory.empty()) {
        // Judged by what is there: a folder, or a link to one, alone names the ports; only a
        // name that certainly is not there lets the machine's own devices in. Anything else (a
        // dangling link, a link loop, a plain file, a folder that cannot be looked at) is the
        // folder's trouble, which must not leave the ports to chance.
        struct stat st;
        int error = lstat(directory.c_str(), &st) == 0 ? 0 : errno;
        const bool absent = error == ENOENT || error == ENOTDIR;
        if (error == 0 && S_ISLNK(st.st_mode)) {
            error = stat(directory.c_str(), &st) == 0 ? 0 : errno;
        }
        if (error == 0 && S_ISDIR(st.st_mode)) {
            // A missing entry is an absent port; an entry that cannot be looked at is the
            // folder's trouble (no search permission).
            std::string entry = directory + "/com" + std::to_string(n);
            if (lstat(entry.c_str(), &st) == 0 || errno == ENOENT) {
                return entry;
            }
            tellFolderError(directory, errno);
            return std::string();
        }
        if (!absent) {
            tellFolderError(directory, error != 0 ? error : ENOTDIR);
            return std::string();
        }
    }
    std::vector<std::string> devices = serialDevices();
    return static_cast<size_t>(n) <= devices.size() ? devices[n - 1] : std::string();
}

std::vector<int> portNumbersNamed(const std::string &directory,
                                  const std::function<std::vector<std::string>()> &serialDevices)
{
    std::vector<int> numbers;
    struct stat st;
    const bool nothingThere =
        directory.empty() || (lstat(directory.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR));
    if (!nothingThere) {
        // Whatever is at the folder's name alone names the ports: one that cannot be read names none.
        if (DIR *dir = opendir(directory.c_str())) {
            while (struct dirent *entry = readdir(dir)) {
                const long number = numberAfterPrefix(entry->d_name, "com");
                if (number > 0) {
                    numbers.push_back((int)number);
                }
            }
            closedir(dir);
        }
        return numbers;
    }
    const size_t devices = serialDevices().size();
    for (size_t n = 1; n <= devices; n++) {
        numbers.push_back((int)n);
    }
    return numbers;
}

std::vector<int> portNumbersNamed()
{
    return portNumbersNamed(portsDirectory(), serialDevicesPresent);
}

std::string deviceForPortNumber(int n)
{
    return deviceForPortNumber(n, portsDirectory(), serialDevicesPresent);
}
