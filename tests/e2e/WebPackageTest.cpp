// LumivaneFwWebPackage on the embedded image: the package byte for byte, also where something
// already has its part file's name.
#include <gtest/gtest.h>

#include "Scenarios.h"

namespace {

class WebPackage : public ::testing::TestWithParam<std::string> {};

TEST_P(WebPackage, WrittenWholeWithPartFileRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runWithPlantedPart(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, WebPackage, ::testing::ValuesIn(e2e::plantedPartKinds()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
