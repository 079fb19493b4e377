// The web upload package: header lines, base64 lines of 928 characters, padding turned
// into "A", and no package, partial or stale, after a failure. In-process on crafted
// microcontroller texts, and the real LumivaneFwWebPackage on the embedded image.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"
#include "Scenarios.h"
#include "TempDir.h"
#include "Transcript.h"

namespace {

using testsupport::readFile;
using testsupport::writeFile;

const char PACKAGE[] = "FwToUpload.bin";
const char PART[] = "FwToUpload.bin.part";
const size_t LINE = 928;

// A flat image of `length` varied bytes.
std::vector<uint8_t> patternImage(size_t length)
{
    std::vector<uint8_t> image(length);
    for (size_t i = 0; i < length; i++)
        image[i] = (uint8_t)(i * 37 + 11);
    return image;
}

// Records laying the image from address 0, then one byte at the image's end: the last
// record's address is the length that the builder announces.
std::string hexTextFor(const std::vector<uint8_t> &image)
{
    std::string text;
    for (size_t at = 0; at < image.size(); at += 16) {
        const size_t end = std::min(at + 16, image.size());
        text += hexRecord(0, (uint16_t)at, std::vector<uint8_t>(image.begin() + at, image.begin() + end));
    }
    return text + hexRecord(0, (uint16_t)image.size(), {0x5A}) + hexRecord(1, 0, {});
}

uint32_t checksumOf(const std::vector<uint8_t> &image)
{
    uint32_t checksum = 0;
    for (uint8_t b : image)
        checksum -= b;
    return checksum;
}

std::string headerFor(uint32_t checksum, size_t length)
{
    return "NorVex\r\n418263\r\n1.0.8\r\n" + std::to_string(checksum) + "\r\n" + std::to_string(length) +
           "\r\n";
}

struct Package {
    std::string header;             // the five header lines
    std::vector<std::string> lines; // the base64 lines without their line ends
    std::string text;               // the lines joined
};

Package readPackage(const std::string &bytes)
{
    Package package;
    size_t at = 0;
    for (int line = 0; line < 5 && at != std::string::npos; line++) {
        at = bytes.find("\r\n", at);
        if (at != std::string::npos)
            at += 2;
    }
    if (at == std::string::npos)
        return package;
    package.header = bytes.substr(0, at);
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        package.lines.push_back(bytes.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? bytes.size() : end + 2;
    }
    for (const std::string &line : package.lines)
        package.text += line;
    return package;
}

// What the system's base64 decodes the text to.
std::string systemBase64Decode(const std::string &text)
{
    testsupport::TempDir dir;
    EXPECT_TRUE(writeFile(dir.file("text"), text));
    testsupport::RunOptions options;
    options.argv = {"/usr/bin/base64", "-d", dir.file("text")};
    testsupport::RunResult result = testsupport::runProgram(options);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return result.out;
}

bool exists(const char *name)
{
    struct stat info;
    return stat(name, &info) == 0;
}

bool isRegularFile(const char *name)
{
    struct stat info;
    return stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

// Runs the writer in a private current directory, on a heap copy of the given text, as the
// main flow's start-up state would hold it, with no key to wait for.
class WebPackageTest : public FlatImageTest {
protected:
    void SetUp() override
    {
        FlatImageTest::SetUp();
        ASSERT_NE(getcwd(previousDir_, sizeof previousDir_), nullptr);
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
        ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
    }
    void TearDown() override
    {
        free(gHexFirmware);
        gHexFirmware = nullptr;
        EXPECT_EQ(chdir(previousDir_), 0);
        FlatImageTest::TearDown();
    }

    BOOL writePackage(const std::string &hexText, std::string *console)
    {
        free(gHexFirmware);
        gHexFirmware = (char *)calloc(hexText.size() + 16, 1);
        memcpy(gHexFirmware, hexText.data(), hexText.size());
        testing::internal::CaptureStdout();
        BOOL written = createFirmwareFileForWeb();
        *console = testing::internal::GetCapturedStdout();
        return written;
    }

private:
    testsupport::TempDir dir_;
    char previousDir_[4096] = "";
};

struct LineCase {
    size_t imageLength;
    std::vector<size_t> lineLengths;
    size_t paddingZeros; // what the "A" put in for "=" decode to
};

class PackageLines : public WebPackageTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(PackageLines, HeaderThenBase64LinesThatDecodeToTheImageAndItsPadding)
{
    const LineCase &c = GetParam();
    const std::vector<uint8_t> image = patternImage(c.imageLength);
    std::string console;
    ASSERT_EQ(writePackage(hexTextFor(image), &console), TRUE) << console;

    const Package package = readPackage(readFile(PACKAGE));
    EXPECT_EQ(package.header, headerFor(checksumOf(image), c.imageLength));
    std::vector<size_t> lineLengths;
    for (const std::string &line : package.lines)
        lineLengths.push_back(line.size());
    EXPECT_EQ(lineLengths, c.lineLengths);
    EXPECT_EQ(package.text.find('='), std::string::npos);
    std::string expected(image.begin(), image.end());
    expected.append(c.paddingZeros, '\0');
    EXPECT_EQ(systemBase64Decode(package.text), expected);
    EXPECT_FALSE(exists(PART));
}

// 696 bytes make 928 characters, exactly one line; 1392 bytes exactly two.
INSTANTIATE_TEST_SUITE_P(ImageLengths, PackageLines,
                         ::testing::Values(LineCase{1, {4}, 2}, LineCase{2, {4}, 1}, LineCase{3, {4}, 0},
                                           LineCase{694, {LINE}, 2}, LineCase{695, {LINE}, 1},
                                           LineCase{696, {LINE}, 0}, LineCase{697, {LINE, 4}, 2},
                                           LineCase{1392, {LINE, LINE}, 0},
                                           LineCase{1393, {LINE, LINE, 4}, 2}),
                         [](const ::testing::TestParamInfo<LineCase> &info) {
                             return "Bytes" + std::to_string(info.param.imageLength);
                         });

struct FailureCase {
    const char *name;
    std::string (*hexText)();
    bool partCannotBeCreated;
    const char *message; // the last thing written before the key prompt
};

std::string validText()
{
    return hexTextFor(patternImage(100));
}
std::string invalidText()
{
    return hexRecord(0, 0, {1, 2, 3}) + ":0300030004050600\r\n" + hexRecord(1, 0, {});
}
// One byte at flat address 500,000: more than the encoder's room holds.
std::string tooLargeText()
{
    return hexRecord(4, 0, {0x00, 0x07}) + hexRecord(0, 0xA120, {0x55}) + hexRecord(1, 0, {});
}

const FailureCase FAILURES[] = {
    {"InvalidHex", invalidText, false, "\r\nERROR: Firmware data is not valid !\r\n"},
    {"ImageTooLargeToEncode", tooLargeText, false, "\r\n ERROR BASE 64 !\r\n"},
    {"FileCannotBeCreated", validText, true, "\r\nERROR: FwToUpload.bin could not be written !\r\n"},
};

class PackageFailure : public WebPackageTest,
                       public ::testing::WithParamInterface<std::tuple<FailureCase, bool>> {};

TEST_P(PackageFailure, LeavesNoPackageOrTheOlderOneUntouched)
{
    const auto &[c, olderPackage] = GetParam();
    const std::string older = "NorVex\r\nan older package\r\n";
    if (olderPackage) {
        ASSERT_TRUE(writeFile(PACKAGE, older));
    }
    if (c.partCannotBeCreated) {
        // Root may write anywhere: a directory in the way stops the creation for everyone.
        ASSERT_EQ(mkdir(PART, 0755), 0);
    }

    std::string console;
    EXPECT_EQ(writePackage(c.hexText(), &console), FALSE);
    const std::string end = std::string(c.message) + "\r\nPress any key to exit";
    ASSERT_GE(console.size(), end.size());
    EXPECT_EQ(transcript::visible(console.substr(console.size() - end.size())), transcript::visible(end));
    if (olderPackage) {
        EXPECT_EQ(readFile(PACKAGE), older);
    } else {
        EXPECT_FALSE(exists(PACKAGE));
    }
    EXPECT_FALSE(isRegularFile(PART));
}

INSTANTIATE_TEST_SUITE_P(Failures, PackageFailure,
                         ::testing::Combine(::testing::ValuesIn(FAILURES), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<FailureCase, bool>> &info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "_OverAnOlderPackage" : "_InAnEmptyFolder");
                         });

TEST(WebPackageProgram, WritesTheEmbeddedFirmwareInPlaceOfAnOlderPackage)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(writeFile(dir.file(PACKAGE), std::string(1 << 20, 'x')));
    e2e::NativeToolRunner runner(true);
    const testsupport::RunResult run = runner.run(e2e::Program::WebPackage, "", 60000, dir.path());

    const transcript::ImageFacts &image = transcript::catalogueImage(0);
    EXPECT_EQ(transcript::visible(run.out), transcript::visible(transcript::webPackageConsole(image)));
    EXPECT_EQ(run.exitStatus, 0);
    const Package package = readPackage(readFile(dir.file(PACKAGE)));
    EXPECT_EQ(package.header, headerFor(image.checksum, (size_t)image.length));
    for (size_t i = 0; i + 1 < package.lines.size(); i++)
        ASSERT_EQ(package.lines[i].size(), LINE) << "line " << i;
    const std::string decoded = systemBase64Decode(package.text);
    const size_t padding = (3 - image.length % 3) % 3;
    ASSERT_EQ(decoded.size(), (size_t)image.length + padding);
    EXPECT_EQ(transcript::fnv1a64((const uint8_t *)decoded.data(), (size_t)image.length), image.fnv1a64);
    EXPECT_EQ(decoded.substr((size_t)image.length), std::string(padding, '\0'));
    EXPECT_FALSE(exists(dir.file(PART).c_str()));
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
