// The Windows programs under Wine, in the private prefix that the test run made once (CTest
// fixture wine_prefix, wine-env.sh), with serial ports named by the tests and an operator's
// console as standard input.
#pragma once
#include <string>

#include "RunProgram.h"
#include "Scenarios.h"

namespace winetest {

// A port another program holds: Wine does not see a Linux program's hold, but it refuses to open
// a directory with the error Windows gives for a held port (access denied). So it does for an
// absent port, which the prefix makes a directory too: Wine cannot make a port that is not found
// (it opens a serial device of the machine in its place).
inline const char HELD_PORT[] = "/";

// The key the operator presses at "Press any key to exit": a letter, never taken for Enter.
inline const char CLOSING_KEY[] = "q";

// The scenarios played by the Windows build: the same rows and transcripts as the native runs,
// with the shipped program or (testBuild) LumivaneFwUpgrade_fastwait.exe. Every port of the
// prefix is absent before and after.
class WineToolRunner final : public e2e::ToolRunner {
public:
    explicit WineToolRunner(bool testBuild = false) : testBuild_(testBuild) { nameNoPort(); }
    ~WineToolRunner() override { nameNoPort(); }
    WineToolRunner(const WineToolRunner &) = delete;
    WineToolRunner &operator=(const WineToolRunner &) = delete;
    // COMn opens devicePath (a terminal; /dev/null opens but refuses every setting; HELD_PORT: held
    // by another program; "": absent).
    void namePort(int com, const std::string &devicePath) override;
    void holdPort(int com, const std::string &) override { namePort(com, HELD_PORT); }
    // The native runs end a key wait at the end of their piped input; here the operator presses a key
    // once the closing message is shown (a key typed before it is dropped).
    testsupport::RunOptions runOptions(e2e::Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "",
                                       const std::vector<std::string> &args = {}) const override
    {
        return consoleOptions(program == e2e::Program::WebPackage ? "LumivaneFwWebPackage.exe"
                              : program == e2e::Program::Site     ? "LumivaneFwSite_fastwait.exe"
                              : testBuild_                        ? "LumivaneFwUpgrade_fastwait.exe"
                                                                  : "LumivaneFwUpgrade.exe",
                              typed, timeoutMs, workDir, CLOSING_KEY, args);
    }
    bool realRebootWait() const override { return !testBuild_; }
    bool restoresTerminalFlags() const override { return false; }
    // Runs a program of the Windows build in workDir ("": anywhere) on a console where `keys` are
    // typed ahead (a line feed is Enter), and closingKey once the output ends with the closing
    // message. The console stays open: without closingKey a run that ends at its key wait is still
    // running at the time-out (timedOut).
    testsupport::RunOptions consoleOptions(const std::string &program, const std::string &keys, int timeoutMs,
                                           const std::string &workDir, const std::string &closingKey,
                                           const std::vector<std::string> &args = {}) const;

private:
    void nameNoPort();

    bool testBuild_;
};

} // namespace winetest
