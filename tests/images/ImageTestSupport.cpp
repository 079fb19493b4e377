#include "ImageTestSupport.h"

#include <cstdio>
#include <cstring>

BuildResult FlatImageTest::build(const std::string &text)
{
    std::vector<char> workingCopy(text.size() + 16, '\0');
    memcpy(workingCopy.data(), text.data(), text.size());
    testing::internal::CaptureStdout();
    bool ok = ValidateFwAndConcatenateData(workingCopy.data()) == TRUE;
    ComputeConcatenatedDataCheckSum();
    return {ok, gDataConcatenatedLenght, gDataConcatenatedCheckSum, testing::internal::GetCapturedStdout()};
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
