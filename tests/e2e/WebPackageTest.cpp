// The web upload package: five header lines, then base64 lines of 928 characters with "="
// turned into "A". In-process on crafted microcontroller texts, and the real
// LumivaneFwWebPackage on the embedded image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "Scenarios.h"
#include "Transcript.h"

namespace {

using testsupport::readFile;

struct Package {
    std::string header;              // the five header lines
    std::vector<size_t> lineLengths; // of the base64 lines
    std::string decoded;             // what the system's base64 makes of them
};

Package readPackage(const std::string &path)
{
    const std::string bytes = readFile(path);
    Package package;
    std::string text;
    for (size_t at = 0, line = 0, end; at < bytes.size(); at = end + 2, line++) {
        end = std::min(bytes.find("\r\n", at), bytes.size());
        if (line < 5) {
            package.header += bytes.substr(at, end + 2 - at);
        } else {
            package.lineLengths.push_back(end - at);
            text += bytes.substr(at, end - at);
        }
    }
    testsupport::TempDir dir;
    EXPECT_TRUE(testsupport::writeFile(dir.file("text"), text));
    testsupport::RunOptions options;
    options.argv = {"/usr/bin/base64", "-d", dir.file("text")};
    package.decoded = testsupport::runProgram(options).out;
    return package;
}

std::string headerFor(uint32_t checksum, size_t length)
{
    return "NorVex\r\n418263\r\n1.0.8\r\n" + std::to_string(checksum) + "\r\n" + std::to_string(length) +
           "\r\n";
}

struct LineCase {
    size_t imageLength;
    std::vector<size_t> lineLengths;
    size_t paddingZeros; // what the "A" put in for "=" decode to
};

class PackageLines : public FlatImageTest, public ::testing::WithParamInterface<LineCase> {};

// Records laying varied bytes from address 0, then one byte at the image's end: the last
// record's address is the length that the builder announces. Written in a private folder.
TEST_P(PackageLines, HeaderThenBase64LinesThatDecodeToTheImageAndItsPadding)
{
    const LineCase &c = GetParam();
    std::string image, text;
    uint32_t checksum = 0;
    for (size_t i = 0; i < c.imageLength; i++) {
        image += (char)(i * 37 + 11);
        checksum -= (uint8_t)image.back();
    }
    for (size_t at = 0; at < image.size(); at += 16) {
        const std::string part = image.substr(at, 16);
        text += hexRecord(0, (uint16_t)at, std::vector<uint8_t>(part.begin(), part.end()));
    }
    text += hexRecord(0, (uint16_t)image.size(), {0x5A}) + hexRecord(1, 0, {});
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

    const Package package = readPackage(dir.file("FwToUpload.bin"));
    EXPECT_EQ(package.header, headerFor(checksum, c.imageLength));
    EXPECT_EQ(package.lineLengths, c.lineLengths);
    EXPECT_EQ(package.decoded, image + std::string(c.paddingZeros, '\0'));
    EXPECT_NE(access(dir.file("FwToUpload.bin.part").c_str(), F_OK), 0);
}

// 696 bytes make 928 characters, exactly one line.
INSTANTIATE_TEST_SUITE_P(ImageLengths, PackageLines,
                         ::testing::Values(LineCase{1, {4}, 2}, LineCase{2, {4}, 1}, LineCase{696, {928}, 0},
                                           LineCase{697, {928, 4}, 2}),
                         [](const ::testing::TestParamInfo<LineCase> &info) {
                             return "Bytes" + std::to_string(info.param.imageLength);
                         });

TEST(WebPackageProgram, WritesTheEmbeddedFirmwareInPlaceOfAnOlderPackage)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.file("FwToUpload.bin"), std::string(1 << 20, 'x')));
    e2e::NativeToolRunner runner(true);
    const testsupport::RunResult run = runner.run(e2e::Program::WebPackage, "", 60000, dir.path());

    const transcript::ImageFacts &image = transcript::catalogueImage(0);
    EXPECT_EQ(transcript::visible(run.out), transcript::visible(transcript::webPackageConsole(image, true)));
    EXPECT_EQ(run.exitStatus, 0);
    const Package package = readPackage(dir.file("FwToUpload.bin"));
    EXPECT_EQ(package.header, headerFor(image.checksum, (size_t)image.length));
    const size_t padding = (3 - image.length % 3) % 3, text = (image.length + padding) / 3 * 4;
    std::vector<size_t> lineLengths((text - 1) / 928, 928);
    lineLengths.push_back(text - lineLengths.size() * 928);
    EXPECT_EQ(package.lineLengths, lineLengths);
    ASSERT_EQ(package.decoded.size(), (size_t)image.length + padding);
    EXPECT_EQ(transcript::fnv1a64((const uint8_t *)package.decoded.data(), (size_t)image.length),
              image.fnv1a64);
    EXPECT_EQ(package.decoded.substr((size_t)image.length), std::string(padding, '\0'));
}

class PlantedPart : public ::testing::TestWithParam<std::string> {};

TEST_P(PlantedPart, IsRemovedNeverFollowedOrStopsTheRunWithItsKeyWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runWithPlantedPart(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, PlantedPart, ::testing::ValuesIn(e2e::plantedPartKinds()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

} // namespace
