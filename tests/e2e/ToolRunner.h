// How the end-to-end scenarios reach the programs under test: native, or under Wine.
#pragma once
#include <string>

#include "RunProgram.h"
#include "SimUnit.h"

namespace e2e {

enum class Program { Update, WebPackage };

class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // COMn opens the terminal at devicePath; ports never named are absent.
    virtual void namePort(int com, const std::string &devicePath) = 0;
    virtual testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") = 0;
    // False for the test build: its Sleep returns at once, writing "Sleep <ms>" on standard error.
    virtual bool realRebootWait() const = 0;
    std::string expectedErrorOutput(bool rebootWaitRan) const;
};

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
    testsupport::RunOptions runOptions(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "") const;

private:
    bool realRebootWait_;
    testsupport::PortsDir ports_;
};

} // namespace e2e
