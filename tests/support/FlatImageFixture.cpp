#include "FlatImageFixture.h"

#include <numeric>

BuildResult FlatImageTest::build(const std::string &text)
{
    std::vector<char> workingCopy(text.begin(), text.end());
    workingCopy.resize(text.size() + 16, '\0');
    testing::internal::CaptureStdout();
    bool ok = ValidateFwAndConcatenateData(workingCopy.data()) == TRUE;
    ComputeConcatenatedDataCheckSum();
    return {ok, testing::internal::GetCapturedStdout()};
}

std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> bytes = {(uint8_t)data.size(), (uint8_t)(address >> 8), (uint8_t)address, type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back((uint8_t)-std::accumulate(bytes.begin(), bytes.end(), 0));
    std::string line = ":";
    for (uint8_t b : bytes) {
        line += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    }
    return line + "\r\n";
}
