#include "ToolRunner.h"

#include <unistd.h>

namespace e2e {

NativeToolRunner::NativeToolRunner(bool realRebootWait) : realRebootWait_(realRebootWait) {}

void NativeToolRunner::namePort(int com, const std::string &devicePath)
{
    ports_.name(com, devicePath);
}

testsupport::RunResult NativeToolRunner::run(Program program, const std::string &typed, int timeoutMs,
                                             const std::string &workDir)
{
    return testsupport::runProgram(runOptions(program, typed, timeoutMs, workDir));
}

testsupport::RunOptions NativeToolRunner::runOptions(Program program, const std::string &typed, int timeoutMs,
                                                     const std::string &workDir) const
{
    testsupport::RunOptions options;
    std::string path = program == Program::WebPackage ? LUMIVANE_WEB_PACKAGE_PATH
                       : realRebootWait_              ? LUMIVANE_UPDATE_PATH
                                                      : LUMIVANE_UPDATE_FASTWAIT_PATH;
    options.argv = {path};
    options.stdinText = typed;
    options.timeoutMs = timeoutMs;
    options.env = {ports_.env()};
    options.workDir = workDir;
    return options;
}

std::string NativeToolRunner::expectedErrorOutput(bool rebootWaitRan) const
{
    std::string calls;
    for (int i = 0; rebootWaitRan && !realRebootWait_ && i < 46; i++) {
        calls += recordedSleep(3000);
    }
    return calls;
}

std::string recordedSleep(unsigned milliseconds) { return "Sleep " + std::to_string(milliseconds) + "\n"; }

} // namespace e2e
