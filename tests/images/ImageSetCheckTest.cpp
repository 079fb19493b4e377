// The build's image set check against sets made from the stand-in set by one change each: every
// damaged set is refused with its own reason, the untouched set passes.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ImageTestSupport.h"
#include "ReleaseManifest.h"
#include "RunProgram.h"
#include "TempDir.h"

namespace {

using Lines = std::vector<std::string>; // each with its CR LF

struct Damage {
    const char *name;
    int entry; // the file changed; -1: none, a file the manifest does not name added where a fault is given
    std::function<void(Lines &)> change;
    const char *fault; // after the file name; {n} is the damaged file's line count
};

void insertAt(Lines &lines, size_t at, const std::string &line)
{
    lines.insert(lines.begin() + (long)at, line);
}

// The data record with its first byte lowered by one and its checksum made good again.
std::string firstByteLowered(const std::string &line)
{
    std::vector<uint8_t> data;
    for (size_t at = 9; at + 4 < line.size(); at += 2) {
        data.push_back((uint8_t)std::stoi(line.substr(at, 2), nullptr, 16));
    }
    data[0]--;
    return hexRecord(0, (uint16_t)std::stoi(line.substr(3, 4), nullptr, 16), data);
}

const Damage DAMAGES[] = {
    // Entry 0 holds a start linear address record (type 05), which passes.
    {"Untouched", -1, nullptr, nullptr},
    // The tool would read 'G' as 0: the record's checksum still adds up.
    {"NonHexDigit", 1, [](Lines &l) { l[0][3] = 'G'; }, ":1: character 4 is 'G', not a hex digit"},
    {"WrongChecksum", 1, [](Lines &l) { l[0] = ":020000040000FB\r\n"; },
     ":1: record checksum FB, its bytes need FA"},
    {"ShortLine", 1, [](Lines &l) { l[1].erase(9, 2); }, ":2: line of 41 characters, its record declares 43"},
    {"SegmentAddress", 1,
     [](Lines &l) {
         insertAt(l, 1, hexRecord(2, 0, {0, 0}));
     },
     ":2: record type 02 (extended segment address): the builder does not follow it"},
    {"OneByteLinearAddress", 1, [](Lines &l) { l[0] = hexRecord(4, 0, {0}); },
     ":1: extended linear address record with 1 data bytes, not 2"},
    {"NoEndRecord", 1, [](Lines &l) { l.pop_back(); }, ":{n}: no end record (:00000001FF)"},
    {"RecordAfterEnd", 1, [](Lines &l) { l.push_back(l[1]); }, ":{n}: text after the end record"},
    {"Overlap", 1, [](Lines &l) { insertAt(l, 2, l[1]); },
     ":3: data at flat address 0 overlaps the record on line 2"},
    {"Past4MiB", 1,
     [](Lines &l) {
         insertAt(l, 1, hexRecord(4, 0, {0x00, 0x40}));
     },
     ":3: data at flat address 4194304 lies beyond the 4 MiB flat image"},
    {"MissingFile", 4, [](Lines &l) { l.clear(); }, ": missing (entry 4 of R1_08.manifest)"},
    {"UnnamedFile", -1, nullptr, "notes.txt: not a file of R1_08.manifest"},
    {"FiguresDiffer", 1, [](Lines &l) { l[1] = firstByteLowered(l[1]); },
     ": entry 1 checksum 4281221844, R1_08.manifest says 4281221843"},
};

testsupport::RunResult run(const char *program, const std::string &dir)
{
    testsupport::RunOptions options;
    options.argv = {program, dir};
    return testsupport::runProgram(options);
}

Lines split(const std::string &text)
{
    Lines lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

void PrintTo(const Damage &damage, std::ostream *os)
{
    *os << damage.name;
}

class ImageSetCheck : public ::testing::TestWithParam<Damage> {};

TEST_P(ImageSetCheck, RefusesEachDamageWithItsReason)
{
    const Damage &damage = GetParam();
    testsupport::TempDir set;
    ASSERT_EQ(run(LUMIVANE_STANDIN_IMAGES_PROGRAM, set.path()).exitStatus, 0);
    std::string fault = damage.fault ? damage.fault : "";
    if (damage.entry < 0 && damage.fault) {
        ASSERT_TRUE(testsupport::writeFile(set.file("notes.txt"), "R1_08\r\n"));
    } else if (damage.entry >= 0) {
        std::string path = set.file(RELEASE_ENTRIES[damage.entry].file);
        Lines lines = split(testsupport::readFile(path));
        damage.change(lines);
        std::string text;
        for (const std::string &line : lines) {
            text += line;
        }
        ASSERT_EQ(lines.empty() ? std::remove(path.c_str()) : !testsupport::writeFile(path, text), 0);
        fault = RELEASE_ENTRIES[damage.entry].file + fault;
        size_t n = fault.find("{n}");
        if (n != std::string::npos) {
            fault.replace(n, 3, std::to_string(lines.size()));
        }
    }
    testsupport::RunResult result = run(LUMIVANE_IMAGESET_CHECK_PROGRAM, set.path());
    if (fault.empty()) {
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "");
    } else {
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.err, "ImageSetCheck: the image set in " + set.path() +
                                  " is refused; no catalogue is generated from it:\n  " + fault + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(StandInSet, ImageSetCheck, ::testing::ValuesIn(DAMAGES),
                         [](const ::testing::TestParamInfo<Damage> &info) { return info.param.name; });

} // namespace
