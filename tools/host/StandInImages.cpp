// Writes the stand-in firmware image set: five Intel HEX texts with the record layout,
// lengths and checksums of the release manifest's files, but data bytes of their own. A
// stand-in build embeds them so that everything but a real unit can be exercised.
//
// Usage: StandInImages <output dir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ReleaseManifest.h"

namespace {

// Deterministic on every platform and library: no std:: distributions.
class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state(seed) {}
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t bound) { return (uint32_t)((next() >> 32) % bound); }
    uint8_t byte() { return (uint8_t)(next() >> 56); }

private:
    uint64_t state;
};

struct RecordRun {
    uint32_t count;
    uint32_t size;
};

struct DataRegion {
    uint32_t start;
    std::vector<RecordRun> runs;
};

struct FixedBytes {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

enum class ImageKind { Microcontroller, Bitstream };

struct ImagePlan {
    ImageKind kind;
    uint16_t upperAddressBase; // added to bits 16 and up of each flat address
    std::vector<DataRegion> regions;
    std::vector<FixedBytes> fixed;
    uint32_t checksum; // what the flat image builder must compute
    bool startLinearAddress;
    uint64_t seed;
};

const uint8_t NOOP_WORD[] = {0x20, 0x00, 0x00, 0x00};

std::vector<uint8_t> repeated(const uint8_t *word, size_t wordSize, size_t times)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < times; i++) {
        out.insert(out.end(), word, word + wordSize);
    }
    return out;
}

// A bitstream opens with dummy words, the bus width pattern and the sync word.
std::vector<uint8_t> bitstreamHeader()
{
    std::vector<uint8_t> header(32, 0xFF);
    const uint8_t tail[] = {0x00, 0x00, 0x00, 0xBB, 0x11, 0x22, 0x00, 0x44, 0xFF, 0xFF, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66, 0x20, 0x00, 0x00, 0x00};
    header.insert(header.end(), tail, tail + sizeof tail);
    return header;
}

// A bitstream is full 16-byte records from address 0 and one shorter last record. Its flat
// length gives the full records, its text length the size of the last one: each upper address
// line takes 17 characters, each full record 45, the last 13 + 2 per byte, the end record 13.
ImagePlan bitstreamPlan(const ReleaseEntry &entry, uint64_t seed)
{
    uint32_t fullRecords = (uint32_t)entry.flatLength / 16;
    uint32_t upperAddressLines = (fullRecords * 16 >> 16) + 1;
    uint32_t lastRecordSize =
        ((uint32_t)entry.textLength - 17 * upperAddressLines - 45 * fullRecords - 26) / 2;
    ImagePlan plan{ImageKind::Bitstream,
                   0x0000,
                   {{0, {{fullRecords, 16}, {1, lastRecordSize}}}},
                   {},
                   entry.checksum,
                   false,
                   seed};
    plan.fixed.push_back({0, bitstreamHeader()});
    plan.fixed.push_back({fullRecords * 16, repeated(NOOP_WORD, 4, lastRecordSize / 4)});
    return plan;
}

// The microcontroller image keeps the record layout of R1_08's: code from 0x8000 and a table
// from 107520 to the flat length, under upper addresses 8000 and 8001, and a start address.
std::vector<ImagePlan> releasePlans()
{
    const ReleaseEntry &mcuEntry = RELEASE_ENTRIES[0];
    uint32_t tableRecords = ((uint32_t)mcuEntry.flatLength - 8 - 107520) / 16;
    ImagePlan mcu{ImageKind::Microcontroller,
                  0x8000,
                  {{32768, {{4651, 16}, {1, 4}}}, {107520, {{tableRecords, 16}, {2, 8}}}},
                  {{32768, {0x48, 0x1F, 0xD7, 0x03, 0x80, 0x01, 0x45, 0x34, 0xE0, 0x8F, 0x10, 0, 0, 0, 0, 0}},
                   {107184, {0x2F, 0xED, 0xD8, 0x32}},
                   {(uint32_t)mcuEntry.flatLength, {0x00, 0x02, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}}},
                  mcuEntry.checksum,
                  true,
                  0x4C554D31};
    std::vector<ImagePlan> plans = {mcu};
    for (int index = 1; index < 5; index++) {
        plans.push_back(bitstreamPlan(RELEASE_ENTRIES[index], 0x4C554D31 + index));
    }
    return plans;
}

// Figures that no bitstream of this form can have (a last record outside 4 to 16 bytes, or not
// whole words) would make a plan of nonsense.
bool fitsTheForm(const ImagePlan &plan)
{
    if (plan.kind != ImageKind::Bitstream) {
        return true;
    }
    uint32_t last = plan.regions[0].runs[1].size;
    return last >= 4 && last <= 16 && last % 4 == 0;
}

struct FlatLayout {
    std::vector<uint8_t> image; // 0xFF where no data lies
    std::vector<bool> isData;
    std::vector<bool> isFixed;
    uint32_t length = 0; // address of the last data record
};

FlatLayout layOut(const ImagePlan &plan)
{
    FlatLayout flat;
    uint32_t end = 0;
    for (const DataRegion &region : plan.regions) {
        uint32_t address = region.start;
        for (const RecordRun &run : region.runs) {
            for (uint32_t i = 0; i < run.count; i++) {
                flat.length = address;
                address += run.size;
            }
        }
        end = address;
    }
    flat.image.assign(end, 0xFF);
    flat.isData.assign(end, false);
    flat.isFixed.assign(end, false);
    for (const DataRegion &region : plan.regions) {
        uint32_t address = region.start;
        for (const RecordRun &run : region.runs) {
            for (uint32_t i = 0; i < run.count * run.size; i++) {
                flat.isData[address++] = true;
            }
        }
    }
    for (const FixedBytes &fixed : plan.fixed) {
        for (size_t i = 0; i < fixed.bytes.size(); i++) {
            flat.image[fixed.address + i] = fixed.bytes[i];
            flat.isFixed[fixed.address + i] = true;
        }
    }
    return flat;
}

// Opcode bytes common in Thumb code, for the high byte of each halfword.
const uint8_t THUMB_HIGH_BYTES[] = {0x46, 0x68, 0x60, 0xF0, 0xBD, 0xB5, 0x20, 0x21, 0x4B, 0xD1,
                                    0xE7, 0xD0, 0x2B, 0x1C, 0x18, 0x30, 0x43, 0x40, 0x4A, 0xF8};

// One run of bytes: dense (code, or set configuration bits) or sparse (literals, zero frames).
std::vector<uint8_t> nextChunk(ImageKind kind, bool dense, SplitMix64 &rng)
{
    std::vector<uint8_t> chunk;
    if (kind == ImageKind::Microcontroller) {
        if (dense) {
            uint32_t halfwords = 1 + rng.below(6);
            for (uint32_t i = 0; i < halfwords; i++) {
                chunk.push_back(rng.byte());
                chunk.push_back(THUMB_HIGH_BYTES[rng.below(sizeof THUMB_HIGH_BYTES)]);
            }
        } else {
            // A literal: a small constant or a RAM address.
            const uint8_t literal[] = {rng.byte(), (uint8_t)rng.below(4), 0x00,
                                       (uint8_t)(rng.below(2) ? 0x20 : 0x00)};
            chunk.assign(literal, literal + 4);
        }
    } else if (dense) {
        uint32_t words = 1 + rng.below(4);
        for (uint32_t i = 0; i < words; i++) {
            bool allOnes = rng.below(3) == 0;
            for (int b = 0; b < 4; b++) {
                chunk.push_back(allOnes ? 0xFF : rng.byte());
            }
        }
    } else {
        chunk.assign(4 * (1 + rng.below(48)), 0x00);
    }
    return chunk;
}

// Fills the free data bytes inside the length so that their sum tracks the target, then
// nudges a few bytes so that the image checksum comes out exactly. The bytes of the last
// record, past the length, are fixed bytes of the plan.
void fillData(const ImagePlan &plan, FlatLayout &flat)
{
    std::vector<uint32_t> freeBytes;
    uint64_t fixedSum = 0;
    for (uint32_t a = 0; a < flat.length; a++) {
        if (flat.isData[a] && !flat.isFixed[a]) {
            freeBytes.push_back(a);
        } else {
            fixedSum += flat.image[a];
        }
    }
    uint64_t targetSum = (uint64_t)(uint32_t)(0u - plan.checksum) - fixedSum;
    SplitMix64 rng(plan.seed);
    uint64_t sum = 0;
    size_t filled = 0;
    while (filled < freeBytes.size()) {
        bool dense = sum * freeBytes.size() < targetSum * filled + 1;
        for (uint8_t value : nextChunk(plan.kind, dense, rng)) {
            if (filled == freeBytes.size()) {
                break;
            }
            flat.image[freeBytes[filled++]] = value;
            sum += value;
        }
    }
    for (size_t i = rng.below((uint32_t)freeBytes.size()); sum != targetSum; i = (i + 7) % freeBytes.size()) {
        uint8_t &value = flat.image[freeBytes[i]];
        if (sum < targetSum) {
            uint64_t step = std::min<uint64_t>(targetSum - sum, 255 - value);
            value = (uint8_t)(value + step);
            sum += step;
        } else {
            uint64_t step = std::min<uint64_t>(sum - targetSum, value);
            value = (uint8_t)(value - step);
            sum -= step;
        }
    }
}

std::string hexRecord(uint8_t type, uint16_t address, const uint8_t *data, size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::vector<uint8_t> bytes = {(uint8_t)size, (uint8_t)(address >> 8), (uint8_t)address, type};
    bytes.insert(bytes.end(), data, data + size);
    uint8_t checksum = 0;
    for (uint8_t b : bytes) {
        checksum = (uint8_t)(checksum - b);
    }
    bytes.push_back(checksum);
    std::string line = ":";
    for (uint8_t b : bytes) {
        line += digits[b >> 4];
        line += digits[b & 15];
    }
    return line + "\r\n";
}

std::string hexText(const ImagePlan &plan, const FlatLayout &flat)
{
    std::string text;
    long currentUpper = -1;
    for (const DataRegion &region : plan.regions) {
        uint32_t address = region.start;
        for (const RecordRun &run : region.runs) {
            for (uint32_t i = 0; i < run.count; i++, address += run.size) {
                uint16_t upper = (uint16_t)(plan.upperAddressBase + (address >> 16));
                if (upper != currentUpper) {
                    const uint8_t upperBytes[] = {(uint8_t)(upper >> 8), (uint8_t)upper};
                    text += hexRecord(4, 0, upperBytes, 2);
                    currentUpper = upper;
                }
                text += hexRecord(0, (uint16_t)address, &flat.image[address], run.size);
            }
        }
    }
    if (plan.startLinearAddress) {
        const uint8_t entryPoint[] = {0x80, 0x00, 0x80, 0x08};
        text += hexRecord(5, 0, entryPoint, 4);
    }
    return text + hexRecord(1, 0, nullptr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<ImagePlan> plans = releasePlans();
    if (argc != 2) {
        fprintf(stderr, "usage: %s <output dir>\n", argv[0]);
        return 2;
    }
    for (size_t i = 0; i < plans.size(); i++) {
        if (!fitsTheForm(plans[i])) {
            fprintf(stderr,
                    "StandInImages: the figures of %s in " RELEASE_NAME ".manifest fit no stand-in image\n",
                    RELEASE_ENTRIES[i].file);
            return 1;
        }
        FlatLayout flat = layOut(plans[i]);
        fillData(plans[i], flat);
        std::string path = std::string(argv[1]) + "/" + RELEASE_ENTRIES[i].file;
        std::string tmpPath = path + ".tmp";
        std::ofstream out(tmpPath, std::ios::binary);
        std::string text = hexText(plans[i], flat);
        out.write(text.data(), (std::streamsize)text.size());
        out.close();
        if (!out || std::rename(tmpPath.c_str(), path.c_str()) != 0) {
            fprintf(stderr, "StandInImages: cannot write %s\n", path.c_str());
            std::remove(tmpPath.c_str());
            return 1;
        }
    }
    return 0;
}
