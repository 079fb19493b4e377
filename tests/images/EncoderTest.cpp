// base64_encode against the system's base64, and its buffer size rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Encoder.h"

namespace {

std::string systemBase64(const std::vector<unsigned char> &bytes)
{
    std::string base = testing::TempDir() + "/base64_" + std::to_string(getpid());
    std::ofstream(base + ".in", std::ios::binary).write((const char *)bytes.data(), (std::streamsize)bytes.size());
    std::string command = "base64 -w 0 " + base + ".in > " + base + ".out";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(base + ".out", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove((base + ".in").c_str());
    std::remove((base + ".out").c_str());
    return text;
}

TEST(Base64, AgreesWithSystemBase64)
{
    uint32_t state = 12345;
    std::vector<int> lengths;
    for (int n = 1; n <= 64; n++) {
        lengths.push_back(n);
    }
    for (int n : {255, 256, 257, 1000, 4095, 4096, 65537, 460797}) {
        lengths.push_back(n);
    }
    for (int n : lengths) {
        std::vector<unsigned char> bytes((size_t)n);
        for (unsigned char &b : bytes) {
            state = state * 1103515245u + 12345u;
            b = (unsigned char)(state >> 16);
        }
        std::string expected = systemBase64(bytes);
        std::vector<unsigned char> dst(expected.size() + 2, 0xAA);
        int dlen = (int)dst.size();
        ASSERT_EQ(base64_encode(dst.data(), &dlen, bytes.data(), n), 0) << n << " bytes";
        EXPECT_EQ(dlen, (int)expected.size()) << n << " bytes";
        EXPECT_EQ(std::string((const char *)dst.data()), expected) << n << " bytes";
    }
}

struct SizeCase {
    int slen;
    int dlenIn;
    int result;
    int dlenOut;
};

TEST(Base64, BufferSizeRules)
{
    const SizeCase cases[] = {
        {0, 7, 0, 7},                     // nothing to encode: nothing changes
        {0, -3, 0, -3},
        {1, 5, 0, 4}, {2, 5, 0, 4}, {3, 5, 0, 4},
        {1, 4, -1, 5}, {2, 4, -1, 5}, {3, 4, -1, 5},
        {3, -1, -1, 5},                   // a negative room is too small
        {4, 8, -1, 9},
        {460797, 614400, 0, 614396},
        {460798, 614400, -1, 614401},
        {300000000, 1000, -1, 400000001}, // needs more than 32 bits for slen * 8
    };
    static std::vector<unsigned char> src(460798, 0x5A);
    for (const SizeCase &c : cases) {
        std::vector<unsigned char> dst(614400, 0xAA);
        int dlen = c.dlenIn;
        const unsigned char *input = c.slen <= (int)src.size() ? src.data() : nullptr;
        EXPECT_EQ(base64_encode(dst.data(), &dlen, input, c.slen), c.result) << c.slen << "/" << c.dlenIn;
        EXPECT_EQ(dlen, c.dlenOut) << c.slen << "/" << c.dlenIn;
        if (c.result != 0 || c.slen == 0) {
            EXPECT_EQ(dst[0], 0xAA) << "untouched for " << c.slen << "/" << c.dlenIn;
        } else {
            EXPECT_EQ(dst[(size_t)c.dlenOut], '\0');
        }
    }
}

}  // namespace
