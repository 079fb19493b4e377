// The Windows build under Wine: the scenarios and web package rows of the native runs, with their
// expectations. The rows that reach an upload command run the test build with the shortened waits;
// the others, the shipped program. Of the rows that reach the reboot, the road of one update and
// the prompt that is not recognised and the one that comes in pieces run.
#include <gtest/gtest.h>

#include <map>

#include "Scenarios.h"
#include "SiteRows.h"
#include "Transcript.h"
#include "WinePrefix.h"

namespace {

using namespace transcript;

// Rows a Wine console or Wine's serial layer cannot play, and why; every other row must run as
// it does natively.
const std::map<std::string, std::string> WINE_ALLOWANCES = {
    {"InputEndsBeforeTheRate", "a console's input never ends: the run waits for the operator's next key"},
    {"PortTooLongForTheDevicePath", "Wine's port table names COM1 to COM40 only"},
    // Wine turns SIGINT into CTRL_C_EVENT, no other signal. (Nor would SIGINT show this one: Wine's
    // serial read ends on no abort, so the port goes with the process, without its settings.)
    {"SigtermWhileTheUnitPreparesForAnImage", "Wine turns only SIGINT into a console event"},
    {"SigquitDuringDiscovery", "Wine turns only SIGINT into a console event"},
    {"SigtermAtTheClosingKeyWait", "Wine turns only SIGINT into a console event"},
    {"KeyTypedAheadOfTheClosingKeyWait",
     "Wine reads its terminal raw from the start: no key wait to see on it"},
};

class UpdateUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateUnderWine, TranscriptExitStatusAndUnitsAsExpected)
{
    const auto allowance = WINE_ALLOWANCES.find(GetParam());
    if (allowance != WINE_ALLOWANCES.end()) {
        GTEST_SKIP() << allowance->second;
    }
    const e2e::Scenario &row = e2e::scenario(GetParam());
    winetest::WineToolRunner runner(row.transcript.find(preparing(Stage::ProgrammableLogic)) !=
                                    std::string::npos);
    e2e::runScenario(runner, row);
}

INSTANTIATE_TEST_SUITE_P(Wine, UpdateUnderWine, ::testing::ValuesIn(e2e::scenarioNames(false)),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });
INSTANTIATE_TEST_SUITE_P(RebootUnderWine, UpdateUnderWine,
                         ::testing::Values(e2e::FULL_UPDATE_SCENARIO,
                                           "StallInMidImageThenNoPromptAfterTheReboot",
                                           "PromptInPiecesWithinTheRead"),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// The native runs end the key wait at the end of their piped input, the other Wine rows with a
// key: without one, the run must still be waiting at the closing message.
TEST(ClosingMessageUnderWine, WaitsForAKey)
{
    winetest::WineToolRunner runner;
    const testsupport::RunResult run =
        testsupport::runProgram(runner.consoleOptions("LumivaneFwUpgrade.exe", "7\n", 5000, "", ""));
    EXPECT_TRUE(run.timedOut) << "ended without a key, status " << run.exitStatus;
    EXPECT_EQ(run.out, announcement() + DISCOVERY_FAILED + openingPort(7) + openFailed(7) + PRESS_ANY_KEY);
}

class PlantedPartUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(PlantedPartUnderWine, IsRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    winetest::WineToolRunner runner;
    e2e::runWithPlantedPart(runner, GetParam());
}

// Nothing planted, or a directory: Wine's file functions resolve a Unix link or FIFO planted
// beside the program before they act (DeleteFile and MoveFile reach a link's target), so a Windows
// program cannot tell such an entry from a file there. On Windows, DeleteFile removes a link
// itself; the native rows show the rest.
INSTANTIATE_TEST_SUITE_P(Wine, PlantedPartUnderWine, ::testing::Values("Nothing", "Directory"),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

class SiteUnderWine : public ::testing::TestWithParam<site::SiteRow> {};

// The site program's rows: process start, pipes, job object and console as Windows does them.
TEST_P(SiteUnderWine, ListingSummaryLogsRecordUnitsAndStatusAsExpected)
{
    winetest::WineToolRunner runner(true);
    site::runSiteRow(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Wine, SiteUnderWine, ::testing::ValuesIn(site::siteRows()),
                         [](const ::testing::TestParamInfo<site::SiteRow> &info) { return info.param.name; });

} // namespace
