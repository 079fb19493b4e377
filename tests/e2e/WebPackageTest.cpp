// LumivaneFwWebPackage on the embedded image: the package byte for byte, also where something
// already has its part file's name; and, in-process, an image whose base64 ends in "==".
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "Scenarios.h"
#include "Transcript.h"

namespace {

class WebPackage : public ::testing::TestWithParam<std::string> {};

TEST_P(WebPackage, WrittenWholeWithPartFileRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runWithPlantedPart(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, WebPackage, ::testing::ValuesIn(e2e::plantedPartKinds()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// One byte, then a record at address 1: an image of length 1, whose two padding characters
// are both written as "A".
TEST_F(FlatImageTest, WebPackageOfOneByteWritesBothPaddingCharactersAsA)
{
    const std::string text = hexRecord(0, 0, {0x5A}) + hexRecord(0, 1, {0x00}) + hexRecord(1, 0, {});
    testsupport::TempDir dir;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
    gHexFirmware = (char *)calloc(text.size() + 16, 1);
    memcpy(gHexFirmware, text.data(), text.size());
    testing::internal::CaptureStdout();
    EXPECT_EQ(createFirmwareFileForWeb(), TRUE) << testing::internal::GetCapturedStdout();
    free(gHexFirmware);
    gHexFirmware = nullptr;
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("FwToUpload.bin")),
              transcript::webPackage({1, (uint32_t)-0x5A, "\x5A", ""}));
}

} // namespace
