// Random Intel HEX texts: the flat image must equal what objcopy makes of the same text.
#include <random>
#include <string>
#include <vector>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

class RandomHexText : public FlatImageTest, public ::testing::WithParamInterface<unsigned> {};

// Ascending records of 1 to 32 bytes with gaps, across 64 KiB pages below 0x40 (inside the
// flat image), none crossing a page. mt19937's sequence is the same on every platform.
TEST_P(RandomHexText, FlatImageEqualsObjcopy)
{
    std::mt19937 rng(GetParam());
    uint32_t address = rng() % 0x30000, lowest = 0, last = 0, page = 0x10000;
    std::string text;
    for (int i = 0, records = 50 + (int)(rng() % 400); i < records; i++) {
        uint32_t size = 1 + rng() % 32;
        if ((address & 0xFFFF) + size > 0x10000) {
            address = (address | 0xFFFF) + 1;
        }
        if (address >> 16 != page) {
            page = address >> 16;
            text += hexRecord(4, 0, {0, (uint8_t)page});
        }
        std::vector<uint8_t> bytes(size);
        for (uint8_t &b : bytes) {
            b = (uint8_t)rng();
        }
        text += hexRecord(0, (uint16_t)address, bytes);
        lowest = i == 0 ? address : lowest;
        last = address;
        address += size + (rng() % 4 == 0 ? rng() % 5000 : 0);
    }
    text += ":00000001FF\r\n";
    std::vector<uint8_t> binary = objcopyBinary(text);
    BuildResult result = build(text);
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(result.length, (int)last);
    EXPECT_TRUE(flatImageHolds(0, std::vector<uint8_t>(lowest, 0xFF)));
    EXPECT_TRUE(flatImageHolds(lowest, binary));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomHexText, ::testing::Range(1u, 7u));

}  // namespace
