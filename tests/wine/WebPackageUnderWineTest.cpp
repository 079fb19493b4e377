// LumivaneFwWebPackage.exe under Wine writes the same package, and the same console text, as
// the native program: both carry the same catalogue, builder and encoder.
#include <gtest/gtest.h>

#include "RunProgram.h"
#include "TempDir.h"
#include "Scenarios.h"
#include "WinePrefix.h"
#include "WineToolRunner.h"

namespace {

const char PACKAGE[] = "FwToUpload.bin";

TEST(WebPackageUnderWine, PackageAndConsoleAreTheNativeProgramsByteForByte)
{
    testsupport::TempDir nativeDir, windowsDir;
    testsupport::RunOptions native;
    native.argv = {LUMIVANE_NATIVE_WEB_PACKAGE_PATH};
    native.workDir = nativeDir.path();
    const testsupport::RunResult nativeRun = testsupport::runProgram(native);
    ASSERT_TRUE(nativeRun.started && !nativeRun.timedOut);
    ASSERT_EQ(nativeRun.exitStatus, 0) << nativeRun.out;
    const std::string expected = testsupport::readFile(nativeDir.file(PACKAGE));
    ASSERT_GT(expected.size(), 100000u) << "the native package is the reference: it must hold the image";

    winetest::WinePrefix prefix;
    const testsupport::RunResult run = prefix.run(winetest::windowsProgram("LumivaneFwWebPackage.exe"),
                                                  winetest::CLOSING_KEY, 60000, windowsDir.path());
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, nativeRun.out);
    EXPECT_EQ(run.err, "");
    // Compared whole, but reported as a size and a first difference rather than 160 KB of text.
    const std::string written = testsupport::readFile(windowsDir.file(PACKAGE));
    ASSERT_EQ(written.size(), expected.size());
    const auto difference = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(difference.first == written.end())
        << "first difference at byte " << (difference.first - written.begin());
}

class PlantedPartUnderWine : public ::testing::TestWithParam<std::string> {};

TEST_P(PlantedPartUnderWine, IsRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    winetest::WineToolRunner runner;
    e2e::runWithPlantedPart(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Wine, PlantedPartUnderWine, ::testing::ValuesIn(e2e::plantedPartKinds()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
