// The embedded catalogue against the release figures: the manifest's (names, text lengths,
// lines, flat lengths, checksums) and R1_08's record layout; what the flat image builder and
// objcopy make of each text.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "BinImage.h"
#include "ImageTestSupport.h"
#include "LumivaneFwUpgrade.h"
#include "ReleaseManifest.h"

namespace {

using Range = std::pair<uint32_t, uint32_t>;  // both ends included

struct CatalogueRow {
    int index;
    const char *array;
    size_t arraySize;
    std::map<int, int> dataRecordsBySize;
    std::vector<uint16_t> upperAddresses;
    int startLinearAddressRecords;
    std::vector<Range> dataRanges;
    std::vector<uint8_t> bytesFromLength;
};

std::vector<uint16_t> upperAddressesUpTo(uint16_t last)
{
    std::vector<uint16_t> all;
    for (uint16_t u = 0; u <= last; u++) {
        all.push_back(u);
    }
    return all;
}

std::vector<uint8_t> noopWords(int count)
{
    std::vector<uint8_t> words;
    for (int i = 0; i < count; i++) {
        words.insert(words.end(), {0x20, 0x00, 0x00, 0x00});
    }
    return words;
}

const CatalogueRow ROWS[] = {
    {0, MCU_6G_SDI_61_R1_08_hex, sizeof MCU_6G_SDI_61_R1_08_hex, {{16, 5446}, {8, 2}, {4, 1}}, {0x8000, 0x8001}, 1,
     {{32768, 107187}, {107520, 120255}}, {0x00, 0x02, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
    {1, M418263_R1_08_TX_V1_mcs, sizeof M418263_R1_08_TX_V1_mcs, {{16, 65492}, {4, 1}}, upperAddressesUpTo(0x000F), 0,
     {{0, 1047875}}, noopWords(1)},
    {2, M418263_R1_08_RX_V1_mcs, sizeof M418263_R1_08_RX_V1_mcs, {{16, 75949}, {12, 1}}, upperAddressesUpTo(0x0012), 0,
     {{0, 1215195}}, noopWords(3)},
    {3, M418263_R1_08_TX_XC7A35_mcs, sizeof M418263_R1_08_TX_XC7A35_mcs, {{16, 48485}, {4, 1}},
     upperAddressesUpTo(0x000B), 0, {{0, 775763}}, noopWords(1)},
    {4, M418263_R1_08_RX_XC7A35_mcs, sizeof M418263_R1_08_RX_XC7A35_mcs, {{16, 57683}, {8, 1}},
     upperAddressesUpTo(0x000E), 0, {{0, 922935}}, noopWords(2)},
};

const autogen_files &entry(int index)
{
    return AUTOGEN_FILES[index];
}

std::string text(int index)
{
    return std::string(entry(index).fileData, (size_t)entry(index).fileDataLength);
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

int hexByte(const std::string &line, size_t at)
{
    return std::stoi(line.substr(at, 2), nullptr, 16);
}

// The records as this test reads them, with flat addresses by the builder's upper address rule.
struct RecordSummary {
    std::map<int, int> dataRecordsBySize;
    std::vector<uint16_t> upperAddresses;
    int startLinearAddressRecords = 0;
    std::vector<Range> dataRanges;
    std::vector<std::string> malformed;
    bool ascending = true;
};

RecordSummary summarize(const std::vector<std::string> &textLines)
{
    RecordSummary summary;
    uint32_t offset = 0;
    for (const std::string &line : textLines) {
        bool wellFormed = line.size() >= 11 && line[0] == ':' &&
                          line.find_first_not_of("0123456789ABCDEF", 1) == std::string::npos &&
                          line.size() == 11 + 2 * (size_t)hexByte(line, 1);
        if (!wellFormed) {
            summary.malformed.push_back(line);
            continue;
        }
        int size = hexByte(line, 1), type = hexByte(line, 7);
        if (type == 4) {
            summary.upperAddresses.push_back((uint16_t)((hexByte(line, 9) << 8) | hexByte(line, 11)));
            offset = (uint32_t)hexByte(line, 11) << 16;
        } else if (type == 5) {
            summary.startLinearAddressRecords++;
        } else if (type == 0) {
            summary.dataRecordsBySize[size]++;
            uint32_t address = offset + (uint32_t)((hexByte(line, 3) << 8) | hexByte(line, 5));
            std::vector<Range> &ranges = summary.dataRanges;
            if (!ranges.empty() && address <= ranges.back().second) {
                summary.ascending = false;
            }
            if (!ranges.empty() && address == ranges.back().second + 1) {
                ranges.back().second = address + size - 1;
            } else {
                ranges.push_back({address, address + size - 1});
            }
        } else if (type != 1) {
            summary.malformed.push_back(line);
        }
    }
    return summary;
}

void PrintTo(const CatalogueRow &row, std::ostream *os)
{
    *os << RELEASE_ENTRIES[row.index].file;
}

class Catalogue : public FlatImageTest, public ::testing::WithParamInterface<CatalogueRow> {};

TEST_P(Catalogue, EntryNamesItsText)
{
    const CatalogueRow &row = GetParam();
    const ReleaseEntry &published = RELEASE_ENTRIES[row.index];
    const autogen_files &e = entry(row.index);
    EXPECT_STREQ(e.filePath, published.file);
    EXPECT_EQ(e.filePathLength, (int)strlen(published.file));
    EXPECT_EQ(e.fileData, row.array);
    EXPECT_EQ(e.fileDataLength, published.textLength);
    EXPECT_EQ((int)strlen(e.fileData), published.textLength);
    EXPECT_EQ(row.arraySize, (size_t)published.textLength + 1);
}

TEST_P(Catalogue, TextHoldsTheReleaseRecords)
{
    const CatalogueRow &row = GetParam();
    std::string t = text(row.index);
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
    std::vector<std::string> textLines = lines(t);
    const int publishedLines = RELEASE_ENTRIES[row.index].lines;
    EXPECT_EQ((int)textLines.size(), publishedLines);
    EXPECT_EQ(std::count(t.begin(), t.end(), ':'), publishedLines);
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), publishedLines);
    EXPECT_EQ(textLines.front().substr(7, 2), "04");
    EXPECT_EQ(textLines.back(), ":00000001FF");

    RecordSummary summary = summarize(textLines);
    EXPECT_TRUE(summary.malformed.empty()) << summary.malformed.front();
    EXPECT_TRUE(summary.ascending);
    EXPECT_EQ(summary.dataRecordsBySize, row.dataRecordsBySize);
    EXPECT_EQ(summary.upperAddresses, row.upperAddresses);
    EXPECT_EQ(summary.startLinearAddressRecords, row.startLinearAddressRecords);
    EXPECT_EQ(summary.dataRanges, row.dataRanges);
}

TEST_P(Catalogue, FlatImageLengthChecksumAndTail)
{
    const CatalogueRow &row = GetParam();
    BuildResult result = build(text(row.index));
    ASSERT_TRUE(result.ok) << result.output;
    EXPECT_EQ(result.output, "");
    const ReleaseEntry &published = RELEASE_ENTRIES[row.index];
    EXPECT_EQ(result.length, published.flatLength);
    EXPECT_EQ(result.checksum, published.checksum);
    EXPECT_TRUE(flatImageHolds((uint32_t)published.flatLength, row.bytesFromLength));
    uint32_t endOfData = row.dataRanges.back().second + 1;
    EXPECT_EQ(endOfData, published.flatLength + row.bytesFromLength.size());
    // Where no data lies the image is 0xFF, up to the end of data and a little beyond.
    uint32_t from = 0;
    for (const Range &range : row.dataRanges) {
        EXPECT_TRUE(flatImageHolds(from, std::vector<uint8_t>(range.first - from, 0xFF)));
        from = range.second + 1;
    }
    EXPECT_TRUE(flatImageHolds(endOfData, std::vector<uint8_t>(4096, 0xFF)));
}

// objcopy reads upper addresses whole: entry 0's 8000 and 8001 become the 0000 and 0001
// that the builder makes of them. Its output starts at the lowest address written.
TEST_P(Catalogue, FlatImageEqualsObjcopy)
{
    const CatalogueRow &row = GetParam();
    std::string t = text(row.index);
    for (const auto &rewrite : {std::make_pair(":0200000480007A", ":020000040000FA"),
                                std::make_pair(":02000004800179", ":020000040001F9")}) {
        for (size_t at = t.find(rewrite.first); at != std::string::npos; at = t.find(rewrite.first, at)) {
            t.replace(at, strlen(rewrite.first), rewrite.second);
        }
    }
    std::vector<uint8_t> binary = objcopyBinary(t);
    ASSERT_TRUE(build(text(row.index)).ok);
    uint32_t lowest = row.dataRanges.front().first;
    EXPECT_EQ(binary.size(), row.dataRanges.back().second + 1 - lowest);
    EXPECT_TRUE(flatImageHolds(lowest, binary));
}

INSTANTIATE_TEST_SUITE_P(R1_08, Catalogue, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<CatalogueRow> &info) {
                             return "Entry" + std::to_string(info.param.index);
                         });

TEST(CatalogueTexts, OneEntryPerManifestFile)
{
    EXPECT_EQ(sizeof AUTOGEN_FILES / sizeof AUTOGEN_FILES[0], sizeof RELEASE_ENTRIES / sizeof RELEASE_ENTRIES[0]);
}

TEST(CatalogueTexts, MicrocontrollerRecordLines)
{
    std::vector<std::string> textLines = lines(text(0));
    ASSERT_EQ(textLines.size(), 5453u);
    EXPECT_EQ(textLines[0], ":0200000480007A");
    EXPECT_EQ(textLines[1], ":10800000481FD70380014534E08F100000000000B6");
    EXPECT_EQ(textLines[5450], ":08D5B80000020000FFFFFFFF6D");
    EXPECT_EQ(textLines[5451], ":0400000580008008EF");
    EXPECT_NE(std::find(textLines.begin(), textLines.end(), ":04A2B0002FEDD83284"), textLines.end());
}

TEST_F(FlatImageTest, MicrocontrollerFlatImage)
{
    ASSERT_TRUE(build(text(0)).ok);
    EXPECT_TRUE(flatImageHolds(0, std::vector<uint8_t>(32768, 0xFF)));
    EXPECT_TRUE(flatImageHolds(32768, {72, 0x1F, 0xD7, 0x03}));
    EXPECT_TRUE(flatImageHolds(107184, {0x2F, 0xED, 0xD8, 0x32}));
    EXPECT_TRUE(flatImageHolds(107188, std::vector<uint8_t>(107520 - 107188, 0xFF)));
}

// A build cuts its text apart: the same copy built again holds only its first record.
TEST_F(FlatImageTest, SecondBuildOnTheSameCopySeesOneRecord)
{
    std::vector<char> workingCopy((size_t)entry(0).fileDataLength + 16, '\0');
    memcpy(workingCopy.data(), entry(0).fileData, (size_t)entry(0).fileDataLength);
    ASSERT_TRUE(buildInPlace(workingCopy.data()).ok);
    BuildResult again = buildInPlace(workingCopy.data());
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.length, 0);
}

}  // namespace
