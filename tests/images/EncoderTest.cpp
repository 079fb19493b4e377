// base64_encode where the fuzz target cannot reach: the text itself is the fuzz target's, and
// the web package's lines are decoded by the system's base64 end to end.
#include <gtest/gtest.h>

#include "Encoder.h"

namespace {

TEST(Base64, RoomBeyond32BitsIsTooSmall)
{
    unsigned char dst[8];
    int dlen = 1000;
    EXPECT_EQ(base64_encode(dst, &dlen, nullptr, 300000000), -1);
    EXPECT_EQ(dlen, 400000001);
}

} // namespace
