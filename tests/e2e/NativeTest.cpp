// The native programs: the road of one update with the real reboot wait of 138 s, every other
// update scenario with the test build whose reboot wait is recorded instead of spent; the web package writer
// on the embedded image, byte for byte, also where something already has its part file's name, and,
// in-process, on images whose base64 ends in "==" or in a whole last triple.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "FlatImageFixture.h"
#include "LumivaneFwUpgrade.h"
#include "Scenarios.h"
#include "Transcript.h"

namespace {

std::vector<std::string> recordedWaitScenarios()
{
    // The rows that reach the reboot first: they take longest.
    std::vector<std::string> names = e2e::scenarioNames(true), before = e2e::scenarioNames(false);
    names.erase(std::find(names.begin(), names.end(), e2e::FULL_UPDATE_SCENARIO));
    names.insert(names.end(), before.begin(), before.end());
    return names;
}

TEST(FullUpdate, TxFoundAt9600OnCom3WithTheRealRebootWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runScenario(runner, e2e::scenario(e2e::FULL_UPDATE_SCENARIO));
}

class UpdateScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateScenario, TranscriptExitStatusAndUnitsAsExpected)
{
    e2e::NativeToolRunner runner(false);
    e2e::runScenario(runner, e2e::scenario(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Native, UpdateScenario, ::testing::ValuesIn(recordedWaitScenarios()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

class WebPackage : public ::testing::TestWithParam<std::string> {};

TEST_P(WebPackage, WrittenWholeWithPartFileRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runWithPlantedPart(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, WebPackage, ::testing::ValuesIn(e2e::PLANTED_PART_KINDS),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// Images of one byte (base64 ends in "==", both padding characters written as "A") and of
// one whole triple that encodes to "+/+/" (no padding: the last triple is a full one). A
// record at the image's length ends each: the length is that record's address.
TEST_F(FlatImageTest, WebPackageOfShortImagesPadsAndEncodesTheLastTriple)
{
    for (const std::string bytes : {"\x5A", "\xFB\xFF\xBF"}) {
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        const uint32_t sum = std::accumulate(data.begin(), data.end(), 0u);
        const std::string text =
            hexRecord(0, 0, data) + hexRecord(0, (uint16_t)data.size(), {0x00}) + hexRecord(1, 0, {});
        testsupport::TempDir dir;
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
        gHexFirmware = (char *)calloc(text.size() + 16, 1);
        memcpy(gHexFirmware, text.data(), text.size());
        testing::internal::CaptureStdout();
        const BOOL written = createFirmwareFileForWeb();
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(written, TRUE) << console;
        free(gHexFirmware);
        gHexFirmware = nullptr;
        ASSERT_EQ(chdir(previous), 0);
        EXPECT_EQ(testsupport::readFile(dir.file("FwToUpload.bin")),
                  transcript::webPackage({(int)data.size(), 0u - sum, bytes, ""}));
    }
}

} // namespace
