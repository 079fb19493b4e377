#include "SiteRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <map>
#include <memory>

#include "LumivaneFwUpgrade.h"
#include "Transcript.h"

namespace site {

namespace {

using namespace transcript;
using nlohmann::json;

const std::string HEADING = "\r\nPort   Rate    Model    Firmware  FPGA   Device  Side           Update\r\n";

const std::vector<SiteRow> ROWS = {
    {"ListingOfEveryKindOfPort",
     "2: --role rx2 --baud 9600; 3 held; 4: --device-code 2; 5: --reply identity=Hello; 6: --chatter; "
     "7: --silent; 9: --role tx2 --device-code 4 --baud 1200",
     "--list", "", "", 0,
     "COM2   9600    SIMUNIT  2.01.05   3.04   1       RX (2nd gen)   update\r\n"
     "COM3   held by another program\r\n"
     "COM4   115200  SIMUNIT  2.01.05   3.04   2       TX (1st gen)   skip: unknown product\r\n"
     "COM5   115200  SIMUNIT  2.01.05   3.04   1       ?              skip: no identity\r\n"
     "COM9   1200    SIMUNIT  2.01.05   3.04   4       TX (2nd gen)   update\r\n"},
    {"SixUnitsWithFaultsBesideAHeldPortAndAnUnknownProduct",
     "1: --baud 9600; 2: --role rx2 --device-code 4; 3: --reply fpga-upload=BUSY; "
     "4: --role rx --stall fpga:100000,forever; 5: --role tx2; 6: --disconnect fpga:60000; 7 held; "
     "8: --device-code 2",
     "--yes", "", "1 updated; 2 updated; 3 not-ready; 4 cut; 5 no-prompt; 6 cut", 1},
    {"WarningsOnlyAfterATypedYes",
     "1: --role rx --baud 57600; 2: --keep-version; 3: --role tx2; 4: --role rx2", "", " yes \n",
     "1 updated; 2 old-version; 3 no-prompt; 4 updated", 2},
    {"EveryUnitUpdated", "2: --role rx --device-code 4 --baud 4800; 5: --role tx2; 6:; 8: --role rx2",
     "--yes", "", "2 updated; 5 updated; 6 updated; 8 updated", 0},
    {"AnswerNo", "1:; 2: --role rx", "", "n\n", "", 3},
    {"NothingToUpdate", "1: --device-code 3; 2 held", "", "", "", 3},
    // Each unit stops taking bytes in mid-image: a worker left running would hold its port until
    // its write gives up (5 s in the test build); one that ends with the site program gives it back
    // at once.
    {"KilledInMidImage", "2: --stall fpga:100000,forever; 4: --role rx2 --stall fpga:100000,forever", "--yes",
     "", "2 interrupted; 4 interrupted", SIGKILL, "", SIGKILL},
    // Two units alike reach their stall together: the signal comes while both wait in a write.
    {"InterruptInMidImage", "1: --stall fpga:100000,forever; 3: --stall fpga:100000,forever", "--yes", "",
     "1 interrupted; 3 interrupted", 1, "", SIGTERM},
};

struct Unit {
    int deviceCode = 1;
    Side side = Side::TX;
    std::string kind;
    std::string label; // "COM3   RX (2nd gen)   "
};

Unit unitOf(int com, const std::string &options, const std::string &kind)
{
    Unit unit;
    unit.kind = kind;
    std::string role = "tx";
    const std::vector<std::string> words = e2e::split(options, " ");
    for (size_t i = 0; i + 1 < words.size(); i++) {
        if (words[i] == "--role") {
            role = words[i + 1];
        } else if (words[i] == "--device-code") {
            unit.deviceCode = std::stoi(words[i + 1]);
        }
    }
    unit.side = role[0] == 't' ? Side::TX : Side::RX;
    std::string side =
        std::string(role[0] == 't' ? "TX" : "RX") + (role.size() > 2 ? " (2nd gen)" : " (1st gen)");
    std::string port = "COM" + std::to_string(com);
    unit.label = port + std::string(7 - port.size(), ' ') + side + std::string(15 - side.size(), ' ');
    return unit;
}

int fpgaEntry(const Unit &unit)
{
    return (unit.deviceCode == DEVICE_XC7A100_484 ? 1 : 3) + (int)unit.side;
}

// The update tool's transcript of this unit from its version lines to its outcome, then the
// version the unit reports after the update.
std::string expectedLog(const Unit &unit)
{
    const std::string identifiedAndPreparing =
        versionLines(unit.deviceCode) + PRODUCT_ACCEPTED +
        (unit.deviceCode == DEVICE_XC7A100_484 ? "ENG. SAMPLE detected\r\n" : "") + identified(unit.side) +
        preparing(Stage::ProgrammableLogic);
    const std::string cut = identifiedAndPreparing + OK_LINE +
                            "Sending Programmable Logic data ................... " +
                            cutTransfer(catalogueImage(fpgaEntry(unit)).length);
    const std::string after = versionLines(unit.deviceCode) +
                              completeUpdate(unit.deviceCode, unit.side, true) + "\r\nAfter the update:\r\n";
    if (unit.kind == "updated") {
        return after + versionLines(unit.deviceCode, "SIMUNIT", "1.00.08");
    }
    if (unit.kind == "old-version") {
        return after + versionLines(unit.deviceCode);
    }
    if (unit.kind == "no-prompt") {
        return versionLines(unit.deviceCode) + completeUpdate(unit.deviceCode, unit.side, false);
    }
    if (unit.kind == "not-ready") {
        return identifiedAndPreparing + "FAILED [Unit not ready]\r\n";
    }
    return cut + (unit.kind == "cut"
                      ? FAILED_LINE
                      : "\r\nINTERRUPTED: the upload was cut short, the unit did not get a whole "
                        "image and must be updated again !\r\n");
}

// Summary line, record outcomes and the unit's verdict on the images it received.
struct Expected {
    std::string outcome, stages, images;
};

Expected expectedOf(const Unit &unit)
{
    const std::string whole = "fpga=" + std::to_string(fpgaEntry(unit)) + " fw=0";
    const std::map<std::string, Expected> byKind = {
        {"updated", {"updated, now runs 1.0.8", "ok ok", whole}},
        {"old-version", {"WARNING: now runs 2.1.5, not 1.0.8", "ok ok", whole}},
        {"no-prompt", {"WARNING: no prompt after the reboot", "ok ok", whole}},
        {"not-ready", {"FAILED: unit not ready", "failed not reached", "fpga:0"}},
        {"cut", {"FAILED: image transfer cut short", "failed not reached", "fpga:"}},
        {"interrupted", {"INTERRUPTED in mid-image: update it again", "interrupted not reached", "fpga:"}},
    };
    return byKind.at(unit.kind);
}

} // namespace

const std::vector<SiteRow> &siteRows()
{
    return ROWS;
}

void PrintTo(const SiteRow &row, std::ostream *out)
{
    *out << row.name;
}

void runSiteRow(e2e::ToolRunner &runner, const SiteRow &row)
{
    auto *const native = dynamic_cast<e2e::NativeToolRunner *>(&runner);
    if (row.signal != 0 && native == nullptr) {
        GTEST_SKIP() << "a Windows program is stopped by console events, not by signals";
    }
    testsupport::TempDir work;
    std::map<int, std::unique_ptr<testsupport::SimUnit>> sims;
    std::map<int, std::string> options;
    std::map<int, Unit> units;
    for (const std::string &outcome : e2e::split(row.outcomes, "; ")) {
        units[std::stoi(outcome)] = Unit{0, Side::TX, outcome.substr(outcome.find(' ') + 1), ""};
    }
    for (const std::string &entry : e2e::split(row.units, "; ")) {
        const int com = std::stoi(entry);
        const size_t colon = entry.find(':');
        std::vector<std::string> args =
            e2e::split(colon == std::string::npos ? "" : entry.substr(colon + 1), " ");
        const auto reboot = e2e::rebootOptions(
            units.count(com) && units[com].kind == "no-prompt" ? e2e::Reboot::NoPrompt : e2e::Reboot::Prompt,
            false);
        args.insert(args.end(), reboot.begin(), reboot.end());
        args.erase(std::remove(args.begin(), args.end(), ""), args.end());
        auto &sim = sims[com] = std::make_unique<testsupport::SimUnit>(args);
        ASSERT_TRUE(sim->start()) << sim->error();
        ASSERT_EQ(chmod(sim->slavePath().c_str(), 0666), 0); // for the check that the port is free
        if (entry.find(" held") != std::string::npos) {
            runner.holdPort(com, sim->slavePath());
        } else {
            runner.namePort(com, sim->slavePath());
        }
        if (units.count(com)) {
            units[com] =
                unitOf(com, colon == std::string::npos ? "" : entry.substr(colon + 1), units[com].kind);
        }
    }

    const std::vector<std::string> args = [&] {
        std::vector<std::string> words = e2e::split(row.args, " ");
        words.insert(words.begin(), {"--record", "state/updates.jsonl"});
        return words;
    }();
    testsupport::RunResult result;
    if (row.signal == 0) {
        result = runner.run(e2e::Program::Site, row.typed, 120000, work.path(), args);
    } else {
        testsupport::RunOptions run =
            runner.runOptions(e2e::Program::Site, row.typed, 120000, work.path(), args);
        run.signal = row.signal;
        // Killed, the site program alone: its workers must notice by themselves.
        run.signalProgramOnly = row.signal == SIGKILL;
        run.signalWhen = [&](const std::string &out, int) {
            for (const auto &[com, unit] : units) {
                if (out.find(unit.label + "FPGA\r\n") == std::string::npos) {
                    return false;
                }
            }
            return true;
        };
        result = testsupport::runProgram(run);
    }
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, row.exitStatus) << result.out;
    if (row.signal == SIGKILL) {
        // Killed, the site program says nothing more; its workers end by themselves and give
        // their ports back.
        for (const auto &entry : units) {
            const std::string port = sims[entry.first]->slavePath();
            EXPECT_TRUE(testsupport::pollFor([&] { return testsupport::openAsNobody(port) == 0; }, 3000))
                << "COM" << entry.first << " is still held";
        }
        return;
    }

    if (!row.listing.empty()) {
        const size_t at = result.out.find(HEADING);
        std::string listed;
        for (const std::string &line : e2e::split(
                 at == std::string::npos ? result.out : result.out.substr(at + HEADING.size()), "\r\n")) {
            // Under Wine an absent port is refused as a held one is (WinePrefix.h): only those the
            // row holds count.
            const bool held = line.find("held by another program") != std::string::npos;
            if (native != nullptr || !held ||
                row.units.find(line.substr(3, line.find(' ') - 3) + " held") != std::string::npos) {
                listed += line + "\r\n";
            }
        }
        const size_t end = listed.find("\r\n\r\n");
        EXPECT_EQ(end == std::string::npos ? listed : listed.substr(0, end + 2), row.listing);
    }
    const size_t summaryAt = result.out.find("\r\nSummary (logs in ");
    const size_t folderAt = summaryAt + 19;
    const std::string folder = summaryAt == std::string::npos
                                   ? ""
                                   : result.out.substr(folderAt, result.out.find("):", folderAt) - folderAt);
    std::string summary = "\r\nSummary (logs in " + folder + "):\r\n", records;
    int counts[4] = {0, 0, 0, 0};
    std::vector<std::string> expectedRecords;
    for (const auto &[com, unit] : units) {
        const Expected expected = expectedOf(unit);
        summary += unit.label + expected.outcome + "\r\n";
        counts[unit.kind == "updated"       ? 0
               : unit.kind == "interrupted" ? 3
               : expected.stages == "ok ok" ? 1
                                            : 2]++;
        const std::string log =
            testsupport::readFile(work.file(folder + "/COM" + std::to_string(com) + "-unit.log"));
        EXPECT_EQ(log, resolveCutTransfers(expectedLog(unit), log)) << "COM" << com;
        const std::string seen = e2e::unitSummary(sims[com]->report());
        const size_t images = seen.find(" | ");
        EXPECT_EQ(images == std::string::npos ? "" : seen.substr(images + 3, expected.images.size()),
                  expected.images)
            << "COM" << com;
        expectedRecords.push_back("COM" + std::to_string(com) + " " + expected.outcome + " | " +
                                  expected.stages + " | " + folder + "/COM" + std::to_string(com) +
                                  "-unit.log");
    }
    if (!units.empty()) {
        char counted[128];
        snprintf(counted, sizeof counted,
                 "\r\n%d units: %d updated, %d with a warning, %d failed, %d interrupted\r\n",
                 (int)units.size(), counts[0], counts[1], counts[2], counts[3]);
        EXPECT_EQ(summaryAt == std::string::npos ? "" : result.out.substr(summaryAt), summary + counted);
    } else {
        EXPECT_EQ(summaryAt, std::string::npos);
    }
    // The record: one line per unit, written when the unit ended, in any order.
    std::vector<std::string> recorded;
    for (const std::string &line :
         e2e::split(testsupport::readFile(work.file("state/updates.jsonl")), "\n")) {
        const json record = json::parse(line, nullptr, false);
        const json &stages = record["stages"];
        const int com = std::stoi(record.value("port", "COM0").substr(3));
        EXPECT_EQ(stages[0].value("length", 0), catalogueImage(fpgaEntry(units[com])).length);
        EXPECT_EQ(stages[1].value("checksum", 0u), catalogueImage(0).checksum);
        recorded.push_back(record.value("port", "") + " " + record.value("outcome", "") + " | " +
                           stages[0].value("outcome", "") + " " + stages[1].value("outcome", "") + " | " +
                           record.value("log", ""));
    }
    std::sort(recorded.begin(), recorded.end());
    std::sort(expectedRecords.begin(), expectedRecords.end());
    EXPECT_EQ(recorded, expectedRecords);
    for (auto &[com, sim] : sims) {
        EXPECT_TRUE(sim->stop()) << "unit on COM" << com << " did not end cleanly";
        // A unit left alone (held, skipped, or the answer was no) never gets an upload command.
        EXPECT_TRUE(units.count(com) || e2e::unitSummary(sim->report()).find("upload") == std::string::npos)
            << "COM" << com;
    }
}

} // namespace site
