// The end-to-end scenarios played by the Windows build under Wine: the same rows and the same
// expected transcripts as the native runs, the ports named in the test run's Wine prefix.
#pragma once
#include "ToolRunner.h"
#include "WinePrefix.h"

namespace winetest {

class WineToolRunner : public e2e::ToolRunner {
public:
    void namePort(int com, const std::string &devicePath) override { prefix_.namePort(com, devicePath); }
    testsupport::RunResult run(e2e::Program program, const std::string &typed, int timeoutMs,
                               const std::string &workDir = "") override;
    // The .exe calls the system's own Sleep: its reboot wait is always the real one.
    bool realRebootWait() const override { return true; }
    std::string expectedErrorOutput(bool) const override { return ""; }

private:
    WinePrefix prefix_;
};

} // namespace winetest
