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

// Images of one byte (base64 ends in "==", both padding characters written as "A") and of
// one whole triple that encodes to "+/+/" (no padding: the last triple is a full one). A
// record at the image's length ends each: the length is that record's address.
TEST_F(FlatImageTest, WebPackageOfShortImagesPadsAndEncodesTheLastTriple)
{
    for (const std::string bytes : {"\x5A", "\xFB\xFF\xBF"}) {
        const std::vector<uint8_t> data(bytes.begin(), bytes.end());
        uint32_t sum = 0;
        for (uint8_t byte : data) {
            sum += byte;
        }
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
