#include "ImageTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "LumivaneFwUpgrade.h"

void FlatImageTest::SetUp()
{
    // The spare bytes behind the image are zero, as the main flow allocates them.
    gDataConcatenated = (uint8_t *)calloc(CONCAT_BUFFER_SIZE + 16, 1);
    ASSERT_NE(gDataConcatenated, nullptr);
}

void FlatImageTest::TearDown()
{
    free(gDataConcatenated);
    gDataConcatenated = nullptr;
}

BuildResult FlatImageTest::buildInPlace(char *workingCopy)
{
    testing::internal::CaptureStdout();
    bool ok = ValidateFwAndConcatenateData(workingCopy) == TRUE;
    ComputeConcatenatedDataCheckSum();
    return {ok, gDataConcatenatedLenght, gDataConcatenatedCheckSum, testing::internal::GetCapturedStdout()};
}

BuildResult FlatImageTest::build(const std::string &text)
{
    std::vector<char> workingCopy(text.size() + 16, '\0');
    memcpy(workingCopy.data(), text.data(), text.size());
    return buildInPlace(workingCopy.data());
}

std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> bytes = {(uint8_t)data.size(), (uint8_t)(address >> 8), (uint8_t)address, type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t checksum = 0;
    std::string line = ":";
    char pair[3];
    for (uint8_t b : bytes) {
        checksum = (uint8_t)(checksum - b);
        snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    snprintf(pair, sizeof pair, "%02X", checksum);
    return line + pair + "\r\n";
}

std::vector<uint8_t> objcopyBinary(const std::string &text)
{
    std::string base = testing::TempDir() + "/objcopy_" + std::to_string(getpid());
    std::string hexPath = base + ".hex", binPath = base + ".bin";
    std::ofstream(hexPath, std::ios::binary) << text;
    std::string command = "objcopy -I ihex -O binary --gap-fill 0xff " + hexPath + " " + binPath;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(binPath, std::ios::binary);
    std::vector<uint8_t> binary((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(hexPath.c_str());
    std::remove(binPath.c_str());
    return binary;
}

::testing::AssertionResult flatImageHolds(uint32_t from, const std::vector<uint8_t> &expected)
{
    if (from + expected.size() > CONCAT_BUFFER_SIZE + 16) {
        return ::testing::AssertionFailure() << "range beyond the flat image's allocation";
    }
    for (size_t i = 0; i < expected.size(); i++) {
        if (gDataConcatenated[from + i] != expected[i]) {
            return ::testing::AssertionFailure() << "flat address " << from + i << " holds "
                                                 << (int)gDataConcatenated[from + i] << ", expected " << (int)expected[i];
        }
    }
    return ::testing::AssertionSuccess();
}
