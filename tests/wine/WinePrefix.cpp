#include "WinePrefix.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace winetest {

const char CLOSING_KEY[] = "q";

// Time for Wine to start the program and, after a time-out, for the terminal's hang-up to end it.
const int WINE_GRACE_MS = 20000;

std::string windowsProgram(const std::string &name)
{
    return std::string(LUMIVANE_WINDOWS_BUILD_DIR) + "/" + name;
}

WinePrefix::WinePrefix()
{
    envCommand({"reset", LUMIVANE_WINE_PREFIX});
}

WinePrefix::~WinePrefix()
{
    envCommand({"reset", LUMIVANE_WINE_PREFIX});
}

void WinePrefix::namePort(int com, const std::string &devicePath)
{
    envCommand({"port", LUMIVANE_WINE_PREFIX, std::to_string(com), devicePath});
}

void WinePrefix::envCommand(const std::vector<std::string> &arguments) const
{
    testsupport::RunOptions options;
    options.argv = {LUMIVANE_WINE_ENV};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.timeoutMs = 10000;
    const testsupport::RunResult result = testsupport::runProgram(options);
    EXPECT_TRUE(result.started && !result.timedOut && !result.signaled && result.exitStatus == 0)
        << "wine-env.sh " << arguments.front() << " failed: " << result.err;
}

testsupport::RunResult WinePrefix::run(const std::string &program, const std::string &keys, int timeoutMs,
                                       const std::string &workDir) const
{
    testsupport::TempDir files;
    const std::string keysFile = files.file("keys"), out = files.file("stdout");
    testsupport::RunResult result;
    if (!testsupport::writeFile(keysFile, keys))
        return result;

    testsupport::RunOptions options;
    const int seconds = (timeoutMs + 999) / 1000;
    options.argv = {
        LUMIVANE_WINE_ENV, "run", LUMIVANE_WINE_PREFIX, std::to_string(seconds), keysFile, out, program};
    options.timeoutMs = timeoutMs + WINE_GRACE_MS;
    options.workDir = workDir;
    result = testsupport::runProgram(options);
    // The harness's own complaints (no prefix, no program) come on its standard error.
    const std::string harness = result.err;
    result.out = testsupport::readFile(out);
    result.err = testsupport::readFile(out + ".stderr") + harness;
    result.timedOut =
        result.timedOut || (!result.signaled && result.exitStatus == 124); // wine-env.sh's time-out
    return result;
}

} // namespace winetest
