// base64_encode against the system's base64.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Encoder.h"
#include "ImageTestSupport.h"

namespace {

// Every padding case, and the largest text the web package encodes (every symbol occurs).
TEST(Base64, AgreesWithSystemBase64)
{
    uint32_t state = 12345;
    for (int n : {1, 2, 3, 4, 5, 460797}) {
        std::vector<unsigned char> bytes((size_t)n);
        for (unsigned char &b : bytes) {
            b = (unsigned char)((state = state * 1103515245u + 12345u) >> 16);
        }
        std::string expected =
            outputOnFile({"/usr/bin/base64", "-w", "0"}, std::string(bytes.begin(), bytes.end()));
        std::vector<unsigned char> dst(expected.size() + 2, 0xAA);
        int dlen = (int)dst.size();
        ASSERT_EQ(base64_encode(dst.data(), &dlen, bytes.data(), n), 0) << n << " bytes";
        EXPECT_EQ(dlen, (int)expected.size()) << n << " bytes";
        EXPECT_EQ(std::string((const char *)dst.data()), expected) << n << " bytes";
    }
}

// The room rules at every size are the fuzz target's; here a size whose room needs more than 32 bits.
TEST(Base64, RoomBeyond32BitsIsTooSmall)
{
    unsigned char dst[8];
    int dlen = 1000;
    EXPECT_EQ(base64_encode(dst, &dlen, nullptr, 300000000), -1);
    EXPECT_EQ(dlen, 400000001);
}

} // namespace
