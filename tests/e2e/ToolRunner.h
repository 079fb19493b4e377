// How the end-to-end scenarios reach the programs under test: build/native's programs with
// the ports named in a private $XDG_CONFIG_HOME, or the Windows build under Wine with the
// ports named in its prefix. The scenarios and their expected transcripts are the same for all.
#pragma once
#include <string>

#include "RunProgram.h"
#include "SimUnit.h"

namespace e2e {

enum class Program { Update, WebPackage };

class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // COMn (n may lie beyond the 32 that discovery scans) opens the terminal at devicePath.
    // Ports never named are absent.
    virtual void namePort(int com, const std::string &devicePath) = 0;
    // Runs the program to its end with `typed` as the operator's keyboard input (a line feed
    // is Enter), in workDir ("": anywhere), killed after timeoutMs.
    virtual testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") = 0;
    // False for the test build: its Sleep returns at once and writes "Sleep <ms>" on standard
    // error, and its long waits for a busy unit are divided by 4 (LongWait.h).
    virtual bool realRebootWait() const = 0;
    // The update's standard error in a run that did (or did not) go through the reboot wait.
    std::string expectedErrorOutput(bool rebootWaitRan) const;
};

// Runs build/native/<program>; the update with a recorded wait is LumivaneFwUpgrade_fastwait.
class NativeToolRunner : public ToolRunner {
public:
    explicit NativeToolRunner(bool realRebootWait) : realRebootWait_(realRebootWait) {}
    void namePort(int com, const std::string &devicePath) override { ports_.name(com, devicePath); }
    testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                               const std::string &workDir = "") override
    {
        return testsupport::runProgram(runOptions(program, typed, timeoutMs, workDir));
    }
    bool realRebootWait() const override { return realRebootWait_; }
    // What run() runs, for a caller that adds to it (a console, a signal).
    testsupport::RunOptions runOptions(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") const;

private:
    bool realRebootWait_;
    testsupport::PortsDir ports_;
};

} // namespace e2e
