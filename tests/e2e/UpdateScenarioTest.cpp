// Every scenario but the full one, run with the test build whose reboot wait is recorded
// instead of spent.
#include <gtest/gtest.h>

#include <algorithm>

#include "Scenarios.h"

namespace {

std::vector<std::string> recordedWaitScenarios()
{
    // The rows that reach the reboot first: they take longest.
    std::vector<std::string> names = e2e::scenarioNames(true), before = e2e::scenarioNames(false);
    names.erase(std::find(names.begin(), names.end(), e2e::FULL_UPDATE_SCENARIO));
    names.insert(names.end(), before.begin(), before.end());
    return names;
}

class UpdateScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateScenario, TranscriptExitStatusAndUnitsAsExpected)
{
    e2e::NativeToolRunner runner(false);
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Native, UpdateScenario, ::testing::ValuesIn(recordedWaitScenarios()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
