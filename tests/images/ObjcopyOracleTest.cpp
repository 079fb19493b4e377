// Random Intel HEX texts: the flat image must equal what objcopy makes of the same text.
#include <string>
#include <vector>

#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

// Fixed-seed generator, the same on every platform.
class Lcg {
public:
    explicit Lcg(uint64_t seed) : state(seed) {}
    uint32_t below(uint32_t bound)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (uint32_t)(state >> 33) % bound;
    }

private:
    uint64_t state;
};

struct RandomText {
    std::string text;
    uint32_t lowest = 0;
    uint32_t lastRecordAddress = 0;
};

// Ascending records of 1 to 32 bytes with gaps, across 64 KiB pages (upper addresses below
// 0x40 keep them in the flat image), not crossing a page within a record.
RandomText randomText(uint64_t seed)
{
    Lcg rng(seed);
    RandomText r;
    uint32_t address = rng.below(0x30000);
    r.lowest = address;
    long currentPage = -1;
    int records = 50 + (int)rng.below(400);
    for (int i = 0; i < records; i++) {
        uint32_t size = 1 + rng.below(32);
        if ((address & 0xFFFF) + size > 0x10000) {
            address = (address | 0xFFFF) + 1;
        }
        if ((long)(address >> 16) != currentPage) {
            currentPage = address >> 16;
            r.text += hexRecord(4, 0, {0, (uint8_t)currentPage});
        }
        std::vector<uint8_t> bytes(size);
        for (uint8_t &b : bytes) {
            b = (uint8_t)rng.below(256);
        }
        if (i == 0) {
            r.lowest = address;
        }
        r.text += hexRecord(0, (uint16_t)address, bytes);
        r.lastRecordAddress = address;
        address += size + (rng.below(4) == 0 ? rng.below(5000) : 0);
    }
    r.text += ":00000001FF\r\n";
    return r;
}

class RandomHexText : public FlatImageTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(RandomHexText, FlatImageEqualsObjcopy)
{
    RandomText r = randomText(GetParam());
    std::vector<uint8_t> binary = objcopyBinary(r.text);
    BuildResult result = build(r.text);
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(result.length, (int)r.lastRecordAddress);
    EXPECT_TRUE(flatImageHolds(0, std::vector<uint8_t>(r.lowest, 0xFF)));
    EXPECT_TRUE(flatImageHolds(r.lowest, binary));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomHexText, ::testing::Range<uint64_t>(1, 13));

}  // namespace
