// How the end-to-end scenarios reach the programs under test. One runner per way of running
// them: NativeToolRunner runs build/native's programs with the ports named through a private
// $XDG_CONFIG_HOME; a runner for the Windows build runs the .exe files under Wine with the
// ports named in its prefix. The scenarios and their expected transcripts are the same for all.
#pragma once
#include <string>

#include "RunProgram.h"
#include "SimUnit.h"

namespace e2e {

enum class Program {
    Update,     // LumivaneFwUpgrade
    WebPackage, // LumivaneFwWebPackage
};

class ToolRunner {
public:
    virtual ~ToolRunner() = default;

    // Names port COMn (n may lie beyond the 32 that discovery scans) as the terminal at
    // devicePath, a simulated unit's port. Ports never named are absent.
    virtual void namePort(int com, const std::string &devicePath) = 0;

    // Runs the program to its end with `typed` as the operator's keyboard input (a line feed
    // is the Enter key), in workDir ("": anywhere), killed after timeoutMs.
    virtual testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") = 0;

    // True when the update's reboot wait really lasts 46 x 3 s; false when the program's
    // Sleep returns at once and writes "Sleep <ms>" on standard error for every call.
    virtual bool realRebootWait() const = 0;

    // What the update program writes on standard error in a run that did (or did not) go
    // through the reboot wait.
    virtual std::string expectedErrorOutput(bool rebootWaitRan) const = 0;
};

// Runs build/native/<program>, or, for the update with a recorded wait, the test build
// LumivaneFwUpgrade_fastwait (the same sources with a Sleep that only records).
class NativeToolRunner : public ToolRunner {
public:
    explicit NativeToolRunner(bool realRebootWait);
    void namePort(int com, const std::string &devicePath) override;
    testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                               const std::string &workDir = "") override;
    bool realRebootWait() const override { return realRebootWait_; }
    std::string expectedErrorOutput(bool rebootWaitRan) const override;
    // What run() runs, for a caller that adds to it (a console, a signal).
    testsupport::RunOptions runOptions(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") const;

private:
    bool realRebootWait_;
    testsupport::PortsDir ports_;
};

// The recording Sleep's line for one call.
std::string recordedSleep(unsigned milliseconds);

} // namespace e2e
