// The Windows programs under Wine, in the private prefix that the test run made once
// (CTest fixture wine_prefix, through wine-env.sh): its serial ports named by the tests, and
// runs with an operator's console as standard input.
//
//   winetest::WinePrefix prefix;                 // the run's prefix, every port absent
//   prefix.namePort(3, unit.slavePath());        // COM3 opens the simulated unit's line
//   RunResult run = prefix.run(winetest::windowsProgram("LumivaneFwUpgrade.exe"),
//                              winetest::CLOSING_KEY, 60000);
#pragma once
#include <string>
#include <vector>

#include "RunProgram.h"

namespace winetest {

// The key that the operator presses at "Press any key to exit". A letter: it cannot be taken
// for the end of a typed line.
extern const char CLOSING_KEY[];

// The path of a program of the Windows build (build/windows/NAME).
std::string windowsProgram(const std::string &name);

class WinePrefix {
public:
    // The test run's prefix; every port is made absent, whatever an earlier test left.
    WinePrefix();
    // Every port absent again, so that no later test finds a link to a closed line.
    ~WinePrefix();
    WinePrefix(const WinePrefix &) = delete;
    WinePrefix &operator=(const WinePrefix &) = delete;

    // COMn opens devicePath (a terminal: a simulated unit's line; /dev/null opens but refuses
    // every setting). Ports never named fail to open.
    void namePort(int com, const std::string &devicePath);

    // Runs a Windows program to its end in workDir ("": anywhere). Its console is a terminal
    // on which `keys` are typed ahead, a line feed being Enter. The terminal stays open, so a
    // key wait is real: a run that ends at "Press any key to exit" needs one more key
    // (CLOSING_KEY) or it is still running at the time-out. Standard output and error come
    // back byte for byte; timedOut is set when the program was still running after
    // timeoutMs; the exit status is the program's (-1 shows as 255).
    testsupport::RunResult run(const std::string &program, const std::string &keys, int timeoutMs,
                               const std::string &workDir = "") const;

private:
    // Runs wine-env.sh with these arguments; a failure fails the test.
    void envCommand(const std::vector<std::string> &arguments) const;
};

} // namespace winetest
