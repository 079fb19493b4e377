// The build's image set check against sets made from the stand-in set by one change each: every
// damaged set is refused with its own reason (the build itself shows the untouched set pass).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "RunProgram.h"
#include "ReleaseManifest.h"
#include "TempDir.h"

namespace {

using Lines = std::vector<std::string>; // each with its CR LF

struct Damage {
    const char *name;
    int entry; // the file changed; -1: notes.txt, a file the manifest does not name
    std::function<void(Lines &)> change;
    const char *fault; // after the file name
};

const Damage DAMAGES[] = {
    {"WrongChecksum", 1, [](Lines &l) { l[0] = ":020000040000FB\r\n"; },
     ":1: record checksum FB, its bytes need FA"},
    {"ShortLine", 1, [](Lines &l) { l[1].erase(9, 2); }, ":2: line of 41 characters, its record declares 43"},
    {"SegmentAddress", 1, [](Lines &l) { l.insert(l.begin() + 1, ":020000020000FC\r\n"); },
     ":2: record type 02 (extended segment address): the builder does not follow it"},
    {"OneByteLinearAddress", 1, [](Lines &l) { l[0] = ":0100000400FB\r\n"; },
     ":1: extended linear address record with 1 data bytes, not 2"},
    {"NoEndRecord", 1, [](Lines &l) { l.pop_back(); }, ":65509: no end record (:00000001FF)"},
    {"RecordAfterEnd", 1, [](Lines &l) { l.push_back(l[1]); }, ":65511: text after the end record"},
    {"Overlap", 1, [](Lines &l) { l.insert(l.begin() + 2, l[1]); },
     ":3: data at flat address 0 overlaps the record on line 2"},
    {"Past4MiB", 1, [](Lines &l) { l.insert(l.begin() + 1, ":020000040040BA\r\n"); },
     ":3: data at flat address 4194304 lies beyond the 4 MiB flat image"},
    {"MissingFile", 4, [](Lines &l) { l.clear(); }, ": missing (entry 4 of R1_08.manifest)"},
    {"UnnamedFile", -1, [](Lines &l) { l = {"R1_08\r\n"}; }, ": not a file of R1_08.manifest"},
    {"FiguresDiffer", 1, [](Lines &l) { l[1] = ":10000000FE" + std::string(30, 'F') + "01\r\n"; },
     ": entry 1 checksum 4281221844, R1_08.manifest says 4281221843"},
};

class ImageSetCheck : public ::testing::TestWithParam<Damage> {};

TEST_P(ImageSetCheck, RefusesEachDamageWithItsReason)
{
    const Damage &damage = GetParam();
    testsupport::TempDir set;
    ASSERT_EQ(testsupport::runToEnd({LUMIVANE_STANDIN_IMAGES_PROGRAM, set.path()}).exitStatus, 0);
    const std::string file = damage.entry < 0 ? "notes.txt" : RELEASE_ENTRIES[damage.entry].file;
    const std::string path = set.file(file);
    Lines lines;
    std::istringstream text(testsupport::readFile(path));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line + "\n");
    }
    damage.change(lines);
    std::ostringstream changed;
    std::copy(lines.begin(), lines.end(), std::ostream_iterator<std::string>(changed));
    ASSERT_EQ(lines.empty() ? std::remove(path.c_str()) : !testsupport::writeFile(path, changed.str()), 0);
    testsupport::RunResult result = testsupport::runToEnd({LUMIVANE_IMAGESET_CHECK_PROGRAM, set.path()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "ImageSetCheck: the image set in " + set.path() +
                              " is refused; no catalogue is generated from it:\n  " + file + damage.fault +
                              "\n");
}

INSTANTIATE_TEST_SUITE_P(StandInSet, ImageSetCheck, ::testing::ValuesIn(DAMAGES),
                         [](const auto &info) { return info.param.name; });

} // namespace
