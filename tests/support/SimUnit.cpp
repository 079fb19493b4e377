#include "SimUnit.h"

#include "RunProgram.h"

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

PortsDir::PortsDir() : ports_(dir_.path() + "/LumivaneFwUpgrade/ports")
{
    mkdir((dir_.path() + "/LumivaneFwUpgrade").c_str(), 0755);
    mkdir(ports_.c_str(), 0755);
}

void PortsDir::name(int com, const std::string &devicePath) const
{
    const std::string entry = ports_ + "/com" + std::to_string(com);
    unlink(entry.c_str());
    if (symlink(devicePath.c_str(), entry.c_str()) != 0) {
        perror(entry.c_str());
    }
}

HeldPort::HeldPort(const std::string &path)
    : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (fd_ >= 0 && (flock(fd_, LOCK_SH | LOCK_NB) != 0 || ioctl(fd_, TIOCEXCL) != 0)) {
        close(fd_);
        fd_ = -1;
    }
}

HeldPort::~HeldPort()
{
    if (fd_ >= 0) { // exclusive mode outlives this descriptor on a pseudo-terminal: give the port back
        ioctl(fd_, TIOCNXCL);
        close(fd_);
    }
}

SimUnit::SimUnit(const std::vector<std::string> &options)
    : args_{LUMIVANE_UNITSIM_PATH, "--report", reportPath()}
{
    args_.insert(args_.end(), options.begin(), options.end());
}

bool SimUnit::start(int timeoutMs)
{
    RunOptions options;
    options.argv = args_;
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = spawn(options, in, files_.file("stdout"), files_.file("stderr"));
    close(in);
    // unitsim prints its device path once the port is linked and its report written.
    const bool ready = pollFor(
        [this] {
            const std::string out = readFile(files_.file("stdout"));
            slavePath_ = out.substr(0, out.find('\n'));
            return out.find('\n') != std::string::npos || reap(false);
        },
        timeoutMs);
    if (ready && pid_ > 0) {
        return true;
    }
    error_ = ready ? "unitsim ended at start (status " + std::to_string(exitStatus_) +
                         "): " + readFile(files_.file("stderr"))
                   : "unitsim did not become ready in time";
    stop();
    return false;
}

bool SimUnit::reap(bool wait)
{
    if (pid_ <= 0) {
        return true;
    }
    int status = 0;
    const pid_t done = waitpid(pid_, &status, wait ? 0 : WNOHANG);
    if (done == 0) {
        return false;
    }
    exitStatus_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
}

bool SimUnit::stop(int timeoutMs)
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!pollFor([this] { return reap(false); }, timeoutMs)) {
            kill(pid_, SIGKILL);
            reap(true);
            return false;
        }
    }
    return exitStatus_ == 0;
}

nlohmann::json SimUnit::report() const
{
    nlohmann::json report = nlohmann::json::parse(readFile(reportPath()), nullptr, false);
    return report.is_object() ? report : nlohmann::json::object();
}

} // namespace testsupport
