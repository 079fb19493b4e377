// The rows that reach the reboot, played by LumivaneFwUpgrade.exe with its real reboot wait
// (140 s each, one at a time in the shared prefix): the road of one update, and one that meets
// a noisy port, a unit that stalls in mid-image and a prompt that does not come back. The
// others change only the unit's side and timing after the reboot, which the native runs check.
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "WineToolRunner.h"

namespace {

class RebootUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(RebootUnderWine, WithTheRealRebootWait)
{
    winetest::WineToolRunner runner;
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Wine, RebootUnderWine,
                         ::testing::Values(e2e::FULL_UPDATE_SCENARIO,
                                           "NoisyPortThenAStallingUnitWithoutItsPrompt"),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
