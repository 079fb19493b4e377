#include "WineToolRunner.h"

namespace winetest {

testsupport::RunResult WineToolRunner::run(e2e::Program program, const std::string &typed, int timeoutMs,
                                           const std::string &workDir)
{
    const char *name =
        program == e2e::Program::WebPackage ? "LumivaneFwWebPackage.exe" : "LumivaneFwUpgrade.exe";
    // The native runs end every key wait at the end of their piped input; on Wine's console the
    // operator presses a key.
    return prefix_.run(windowsProgram(name), typed + CLOSING_KEY, timeoutMs, workDir);
}

} // namespace winetest
