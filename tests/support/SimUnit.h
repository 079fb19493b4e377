// Simulated units (the unitsim program) for the tests, on ports of a private ports directory,
// and what they report.
#pragma once
#include "TempDir.h"

#include <nlohmann/json.hpp>

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace testsupport {

// A private configuration home whose LumivaneFwUpgrade/ports directory names the tool's ports:
// run the tool with env() (XDG_CONFIG_HOME set to configHome()).
class PortsDir {
public:
    PortsDir();
    const std::string &configHome() const { return dir_.path(); }
    // Makes comN a symbolic link to the terminal at devicePath, replacing any earlier entry.
    void name(int com, const std::string &devicePath) const;
    std::pair<std::string, std::string> env() const { return {"XDG_CONFIG_HOME", configHome()}; }

private:
    TempDir dir_;
    std::string ports_;
};

// Holds a port as another program would, until destroyed: TIOCEXCL and a shared flock, the
// weakest lock that must keep the tool off the port.
class HeldPort {
public:
    explicit HeldPort(const std::string &path);
    ~HeldPort();
    HeldPort(const HeldPort &) = delete;
    HeldPort &operator=(const HeldPort &) = delete;
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

class SimUnit {
public:
    // A unit with these unitsim options; its device path (slavePath()) is what names it.
    explicit SimUnit(const std::vector<std::string> &options = {});
    ~SimUnit() { stop(); }
    SimUnit(const SimUnit &) = delete;
    SimUnit &operator=(const SimUnit &) = delete;

    // Starts unitsim and waits until its port exists and its first report is written.
    bool start(int timeoutMs = 10000);
    // Asks it to end (SIGTERM) and waits; kills it after timeoutMs. True when it ended by itself
    // with status 0 (its final report is then written).
    bool stop(int timeoutMs = 5000);

    // The report as it is now: unitsim replaces it whole, so it is an object, or empty while
    // there is none.
    nlohmann::json report() const;

    const std::string &slavePath() const { return slavePath_; }
    // The file unitsim replaces (through a temporary file of this name and ".tmp").
    std::string reportPath() const { return files_.file("report.json"); }
    // Why start() failed: unitsim's own message.
    const std::string &error() const { return error_; }

private:
    bool reap(bool wait);

    TempDir files_;
    std::vector<std::string> args_;
    std::string slavePath_;
    std::string error_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
};

} // namespace testsupport
