// The Windows programs under Wine, in the private prefix that the test run made once (CTest
// fixture wine_prefix, wine-env.sh), with serial ports named by the tests and an operator's
// console as standard input.
#pragma once
#include <string>

#include "RunProgram.h"
#include "ToolRunner.h"

namespace winetest {

// The key the operator presses at "Press any key to exit": a letter, never taken for Enter.
extern const char CLOSING_KEY[];

// The path of a program of the Windows build.
std::string windowsProgram(const std::string &name);

class WinePrefix {
public:
    // The test run's prefix, every port absent, before and after.
    WinePrefix();
    ~WinePrefix();
    WinePrefix(const WinePrefix &) = delete;
    WinePrefix &operator=(const WinePrefix &) = delete;
    // COMn opens devicePath (a terminal; /dev/null opens but refuses every setting; "": absent).
    void namePort(int com, const std::string &devicePath);
    // Runs a Windows program to its end in workDir ("": anywhere) on a console where `keys`
    // are typed ahead (a line feed is Enter). The console stays open: a run that ends at its key
    // wait needs CLOSING_KEY, or it is still running at the time-out (timedOut).
    testsupport::RunResult run(const std::string &program, const std::string &keys, int timeoutMs,
                               const std::string &workDir = "") const;

private:
    void nameNoPort(); // every port absent
};

// The scenarios played by the Windows build: the same rows and transcripts as the native runs,
// with the shipped program or (testBuild) LumivaneFwUpgrade_fastwait.exe.
class WineToolRunner : public e2e::ToolRunner {
public:
    explicit WineToolRunner(bool testBuild = false) : testBuild_(testBuild) {}
    void namePort(int com, const std::string &devicePath) override { prefix_.namePort(com, devicePath); }
    // The native runs end a key wait at the end of their piped input; here the operator presses a key.
    testsupport::RunResult run(e2e::Program program, const std::string &typed, int timeoutMs,
                               const std::string &workDir = "") override
    {
        return prefix_.run(windowsProgram(program == e2e::Program::WebPackage ? "LumivaneFwWebPackage.exe"
                                          : testBuild_ ? "LumivaneFwUpgrade_fastwait.exe"
                                                       : "LumivaneFwUpgrade.exe"),
                           typed + CLOSING_KEY, timeoutMs, workDir);
    }
    bool realRebootWait() const override { return !testBuild_; }

private:
    bool testBuild_;
    WinePrefix prefix_;
};

} // namespace winetest
