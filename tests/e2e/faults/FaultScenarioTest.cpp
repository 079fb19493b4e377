// The fault table (FaultScenarios.cpp) played by the native programs; the runner's time-out
// makes a hang a failure.
#include <gtest/gtest.h>

#include "Scenarios.h"

namespace {

class FaultScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(FaultScenario, EndsCleanlyWithItsTranscriptAndExitStatus)
{
    e2e::NativeToolRunner runner(false);
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Native, FaultScenario, ::testing::ValuesIn(e2e::scenarioNames(e2e::faultScenarios())),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
