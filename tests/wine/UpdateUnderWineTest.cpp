// The scenarios played by LumivaneFwUpgrade.exe under Wine, with the native runs' rows and
// expectations. The .exe spends its reboot wait for real (140 s): of the rows that reach the
// reboot, only the road of one update and the prompt that is not recognised run (label slow).
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "Transcript.h"
#include "WineToolRunner.h"

namespace {

using namespace transcript;

class UpdateUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateUnderWine, TranscriptExitStatusAndUnitsAsExpected)
{
    winetest::WineToolRunner runner;
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Wine, UpdateUnderWine, ::testing::ValuesIn(e2e::scenarioNames(false)),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });
INSTANTIATE_TEST_SUITE_P(RebootUnderWine, UpdateUnderWine,
                         ::testing::Values(e2e::FULL_UPDATE_SCENARIO,
                                           "StallInMidImageThenNoPromptAfterTheReboot"),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// The native runs end the key wait at the end of their piped input; a console shows that the
// run really waits for the operator's key at the closing message, and ends with it.
TEST(ClosingMessageUnderWine, WaitsForAKeyAndEndsWithIt)
{
    const std::string expected =
        announcement() + DISCOVERY_FAILED + openingPort(7) + openFailed(7) + PRESS_ANY_KEY;
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

// A device that opens but is no serial port: the Win32 settings calls refuse it.
TEST(ManualEntryUnderWine, APortThatRefusesItsSettings)
{
    winetest::WineToolRunner runner;
    runner.namePort(33, "/dev/null");
    const testsupport::RunResult run = runner.run(e2e::Program::Update, "33\n", 30000);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 255);
    EXPECT_EQ(visible(run.out), visible(announcement() + DISCOVERY_FAILED + openingPort(33) +
                                        configurationFailed(33) + PRESS_ANY_KEY));
}

} // namespace
