#include "ToolRunner.h"

namespace e2e {

testsupport::RunOptions NativeToolRunner::runOptions(Program program, const std::string &typed, int timeoutMs,
                                                     const std::string &workDir) const
{
    testsupport::RunOptions options;
    options.argv = {program == Program::WebPackage ? LUMIVANE_WEB_PACKAGE_PATH
                    : realRebootWait_              ? LUMIVANE_UPDATE_PATH
                                                   : LUMIVANE_UPDATE_FASTWAIT_PATH};
    options.stdinText = typed;
    options.timeoutMs = timeoutMs;
    options.env = {ports_.env()};
    options.workDir = workDir;
    return options;
}

std::string ToolRunner::expectedErrorOutput(bool rebootWaitRan) const
{
    std::string calls;
    for (int i = 0; rebootWaitRan && !realRebootWait() && i < 46; i++) {
        calls += "Sleep 3000\n";
    }
    return calls;
}

} // namespace e2e
