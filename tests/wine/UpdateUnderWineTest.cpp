// The update and fault scenarios played by LumivaneFwUpgrade.exe under Wine, with the native
// runs' rows and expectations: every row that stops before the reboot. The .exe spends its
// reboot wait for real, and the Wine tests run one at a time in their shared prefix, so the
// rows that reach the reboot run apart (FullUpdateUnderWineTest), and only some of them.
#include <gtest/gtest.h>

#include <map>

#include "Scenarios.h"
#include "Transcript.h"
#include "WineToolRunner.h"

namespace {

// Rows that cannot happen under Wine, and why. Nothing else may differ from a native run.
const std::string INPUT_NEVER_ENDS =
    "a console's input never ends: the row ends the operator's input, as only a pipe can";
const std::map<std::string, std::string> WINE_ALLOWANCES = {
    {"RepliesPausedFor1300ms", INPUT_NEVER_ENDS},
    {"OperatorTypesAnEmptyLine", INPUT_NEVER_ENDS},
    {"InputEndsBeforeTheRate", INPUT_NEVER_ENDS},
    {"HeldPortSkippedAndRefusedWhenTyped", "Wine opens a serial device that a Linux program holds (flock); "
                                           "Windows refuses a port another program has open"},
    {"OperatorTypesAPortTooLongForTheDevicePath", "Wine's port table names COM1 to COM40 only"},
    {"OperatorTypesAHugeRate",
     "Wine's serial driver sets a rate it does not know to 38400 instead of refusing it"},
};

std::vector<std::string> rowsBeforeTheReboot()
{
    std::vector<std::string> names;
    for (const std::vector<e2e::Scenario> *rows : {&e2e::updateScenarios(), &e2e::faultScenarios()}) {
        for (const e2e::Scenario &row : *rows) {
            if (row.reboot == e2e::Reboot::NotReached)
                names.push_back(row.name);
        }
    }
    return names;
}

class UpdateUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateUnderWine, TranscriptExitStatusAndUnitsAsExpected)
{
    const auto allowance = WINE_ALLOWANCES.find(GetParam());
    if (allowance != WINE_ALLOWANCES.end()) {
        GTEST_SKIP() << allowance->second;
    }
    winetest::WineToolRunner runner;
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

// The native runs end the key wait at the end of their piped input; a console shows that the
// run really waits for the operator's key at the closing message, and ends with it.
TEST(ClosingMessageUnderWine, WaitsForAKeyAndEndsWithIt)
{
    using namespace transcript;
    const std::string expected =
        announcement() + discoveryFailed() + openingPort(7) + openFailed(7) + closingAfterManualEntry();
    const std::string program = winetest::windowsProgram("LumivaneFwUpgrade.exe");
    winetest::WinePrefix prefix;

    const testsupport::RunResult waiting = prefix.run(program, "7\n", 5000);
    EXPECT_TRUE(waiting.timedOut) << "ended without a key, status " << waiting.exitStatus;
    EXPECT_EQ(visible(waiting.out), visible(expected));

    const testsupport::RunResult pressed =
        prefix.run(program, std::string("7\n") + winetest::CLOSING_KEY, 30000);
    EXPECT_FALSE(pressed.timedOut);
    EXPECT_EQ(pressed.exitStatus, 255);
    EXPECT_EQ(visible(pressed.out), visible(expected));
}

// A device that opens but is no serial port: the Win32 settings calls refuse it, and the
// serial layer closes it again. (The native layer's own stand-ins are checked by its tests.)
TEST(ManualEntryUnderWine, APortThatRefusesItsSettings)
{
    using namespace transcript;
    winetest::WineToolRunner runner;
    runner.namePort(33, "/dev/null");
    const testsupport::RunResult run = runner.run(e2e::Program::Update, "33\n", 30000);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 255);
    EXPECT_EQ(visible(run.out), visible(announcement() + discoveryFailed() + openingPort(33) +
                                        configurationFailed(33) + closingAfterManualEntry()));
}

INSTANTIATE_TEST_SUITE_P(Wine, UpdateUnderWine, ::testing::ValuesIn(rowsBeforeTheReboot()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
