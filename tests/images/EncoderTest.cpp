// base64_encode against the system's base64, and its buffer size rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "Encoder.h"

namespace {

std::string systemBase64(const std::vector<unsigned char> &bytes)
{
    std::string in = testing::TempDir() + "/base64_" + std::to_string(getpid());
    std::ofstream(in, std::ios::binary).write((const char *)bytes.data(), (std::streamsize)bytes.size());
    FILE *out = popen(("base64 -w 0 " + in).c_str(), "r");
    std::string encoded;
    for (int c; (c = fgetc(out)) != EOF;) {
        encoded += (char)c;
    }
    EXPECT_EQ(pclose(out), 0);
    std::remove(in.c_str());
    return encoded;
}

// Every padding case, and the largest text the web package encodes (every symbol occurs).
TEST(Base64, AgreesWithSystemBase64)
{
    uint32_t state = 12345;
    for (int n : {1, 2, 3, 4, 5, 460797}) {
        std::vector<unsigned char> bytes((size_t)n);
        for (unsigned char &b : bytes) {
            b = (unsigned char)((state = state * 1103515245u + 12345u) >> 16);
        }
        std::string expected = systemBase64(bytes);
        std::vector<unsigned char> dst(expected.size() + 2, 0xAA);
        int dlen = (int)dst.size();
        ASSERT_EQ(base64_encode(dst.data(), &dlen, bytes.data(), n), 0) << n << " bytes";
        EXPECT_EQ(dlen, (int)expected.size()) << n << " bytes";
        EXPECT_EQ(std::string((const char *)dst.data()), expected) << n << " bytes";
    }
}

TEST(Base64, BufferSizeRules)
{
    const struct {
        int slen, dlenIn, result, dlenOut;
    } cases[] = {
        {0, 7, 0, 7}, // nothing to encode: nothing changes
        {1, 5, 0, 4},
        {1, 4, -1, 5},                    // the text and its NUL, or the room it needs
        {3, -1, -1, 5},                   // a negative room is too small
        {300000000, 1000, -1, 400000001}, // needs more than 32 bits for slen * 8
    };
    std::vector<unsigned char> src(4, 0x5A);
    for (const auto &c : cases) {
        std::vector<unsigned char> dst(8, 0xAA);
        int dlen = c.dlenIn;
        EXPECT_EQ(base64_encode(dst.data(), &dlen, c.slen <= 4 ? src.data() : nullptr, c.slen), c.result)
            << c.slen << "/" << c.dlenIn;
        EXPECT_EQ(dlen, c.dlenOut) << c.slen << "/" << c.dlenIn;
        EXPECT_EQ(dst[0] == 0xAA, c.result != 0 || c.slen == 0)
            << "written for " << c.slen << "/" << c.dlenIn;
        EXPECT_EQ(dst[4], c.result == 0 && c.slen != 0 ? '\0' : 0xAA);
    }
}

} // namespace
