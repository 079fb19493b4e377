#include "SiteRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <memory>
#include <sys/stat.h>

#include "LumivaneFwUpgrade.h"
#include "Ser2net.h"
#include "Transcript.h"

namespace site {

namespace {

using namespace transcript;
using nlohmann::json;

const std::string HEADING = "\r\nPort   Rate    Model    Firmware  FPGA   Device  Side           Update\r\n";
const std::string ON_THE_RELEASE = "--fw-version 1.0.8";

const std::vector<SiteRow> ROWS = {
    {"ListingOfEveryKindOfPort",
     "2: --role rx2 --baud 9600; 3 held; 4: --device-code 2; 5: --reply identity=Hello; 6: --chatter; "
     "7: --silent; 9: --role tx2 --device-code 4 --baud 1200; 10: " +
         ON_THE_RELEASE + "; 11: --model \\x1b[2J\\x08\\x00\\xff; 40: --role rx --baud 57600",
     "--list", "", "", 0,
     "COM2   9600    SIMUNIT  2.1.5     3.4    1       RX (2nd gen)   update\r\n"
     "COM3   held by another program\r\n"
     "COM4   115200  SIMUNIT  2.1.5     3.4    2       TX (1st gen)   skip: unknown product\r\n"
     "COM5   115200  SIMUNIT  2.1.5     3.4    1       ?              skip: no identity\r\n"
     "COM6   talks without end\r\n"
     "COM9   1200    SIMUNIT  2.1.5     3.4    4       TX (2nd gen)   update\r\n"
     "COM10  115200  SIMUNIT  1.0.8     3.4    1       TX (1st gen)   skip: runs 1.0.8\r\n"
     "COM11  115200  \\x1B[2J\\x08\\x00\\xFF 2.1.5     3.4    1       TX (1st gen)   update\r\n"
     "COM40  57600   SIMUNIT  2.1.5     3.4    1       RX (1st gen)   update\r\n"},
    {"SixUnitsWithFaultsBesideAHeldPortAndAnUnknownProduct",
     "1: --baud 9600; 2: --role rx2 --device-code 4; 3: --reply fpga-upload=BUSY; "
     "4: --role rx --stall fpga:100000,forever; 5: --role tx2; 6: --disconnect fpga:60000; 7 held; "
     "8: --device-code 2",
     "--yes", "",
     "1 updated; 2 updated; 3 not-ready; 4 send-failed; 5 no-prompt; 6 send-failed; 7 held; 8 unknown", 1},
    {"WarningsOnlyAfterATypedYes",
     "1: --role rx --baud 57600; 2: --keep-version; 3: --role tx2; 4: --role rx2", "", " yes \n",
     "1 updated; 2 old-version; 3 no-prompt; 4 updated", 2},
    {"EveryUnitUpdatedOrOnTheRelease",
     "2: --role rx --device-code 4 --baud 4800; 5: --role tx2; 6:; 8: --role rx2; 9: " + ON_THE_RELEASE,
     "--yes", "", "2 updated; 5 updated; 6 updated; 8 updated; 9 current", 0},
    // The "y" after it answers nothing: the question was answered.
    {"EnterAloneAnswersNo", "1:; 2: --role rx", "", "\ny\n", "", 3},
    {"NothingToUpdate", "1: --device-code 3; 2 held; 3: " + ON_THE_RELEASE, "", "",
     "1 unknown; 2 held; 3 current", 3},
    // The unit on COM1 is replaced while the question waits: the record says what the unit there
    // was sent, not what the listing saw.
    {"UnitSwappedBeforeTheAnswer", "1: --baud 9600", "", "", "1 updated", 0, "", 0,
     "--role rx --device-code 4 --baud 9600"},
    // A model word that would drive the console: escaped in the listing, kept whole in the record.
    {"ModelWordWithControlBytes", "1: --model \\x1b[2J\\x08\\x00\\xff", "--yes", "", "1 stand-in", 1},
    // Units behind a console server (ser2net), beside a local port; a server that never speaks and
    // a port where nothing listens are no unit.
    {"ListingThroughAConsoleServer",
     "2: --role rx; 101 net: --baud 9600; 102 net: --role tx2 --baud 57600; 103 net: --role rx2; "
     "104 net: --device-code 4 --baud 9600; 105 silent; 106 nothing",
     "--list", "", "", 0,
     "COM2   115200  SIMUNIT  2.1.5     3.4    1       RX (1st gen)   update\r\n"
     "{101} 9600    SIMUNIT  2.1.5     3.4    1       TX (1st gen)   update\r\n"
     "{102} 57600   SIMUNIT  2.1.5     3.4    1       TX (2nd gen)   update\r\n"
     "{103} 115200  SIMUNIT  2.1.5     3.4    1       RX (2nd gen)   update\r\n"
     "{104} 9600    SIMUNIT  2.1.5     3.4    4       TX (1st gen)   update\r\n"},
    // Every unit updated beside one left alone (an unknown product): a warning.
    {"UpdateThroughAConsoleServer",
     "1: --role tx2; 2: --device-code 2; 101 net: --baud 9600; 102 net: --role rx --baud 57600; "
     "103 net: --role rx2 --device-code 4",
     "--yes", "", "1 updated; 2 unknown; 101 updated; 102 updated; 103 updated", 2},
    // ser2net ends while the image goes out: the unit behind it has half an image.
    {"ConsoleServerGoneInMidImage", "101 net-gone: --stall fpga:100000,forever", "--yes", "", "101 gone", 1},
    // Each unit stops taking bytes in mid-image: a worker left running would hold its port until
    // its write gives up (5 s in the test build); one that ends with the site program gives it back
    // at once.
    {"KilledInMidImage", "2: --stall fpga:100000,forever; 4: --role rx2 --stall fpga:100000,forever", "--yes",
     "", "2 interrupted; 4 interrupted", SIGKILL, "", SIGKILL},
    // One unit stops taking bytes in mid-image; the signal comes once it shows its FPGA image, well
    // within the 5 s its write waits (with two, a late second one would leave the first's write
    // to give up first on a loaded machine).
    {"TerminatedInMidImage", "1: --stall fpga:100000,forever", "--yes", "", "1 interrupted", 1, "", SIGTERM},
    {"CtrlCInMidImage", "2: --role tx2 --stall fpga:100000,forever", "--yes", "", "2 interrupted", 1, "",
     SIGINT},
    {"HungUpInMidImage", "3: --role rx --stall fpga:100000,forever", "--yes", "", "3 interrupted", 1, "",
     SIGHUP},
};

struct Unit {
    std::string port; // "COM3", "rfc2217://127.0.0.1:40123"
    int deviceCode = 1;
    Side side = Side::TX;
    bool secondGeneration = false;
    std::string model = "SIMUNIT";
    std::string kind;
};

const std::vector<std::string> LEFT_ALONE = {"held", "unknown", "current"};

// A path the Windows program shows ("Z:\\tmp\\x", Wine's drive for the root) as this machine's.
std::string hostPath(const std::string &shown)
{
    if (shown.compare(0, 3, "Z:\\") != 0) {
        return shown;
    }
    std::string path = shown.substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool leftAlone(const Unit &unit)
{
    return std::find(LEFT_ALONE.begin(), LEFT_ALONE.end(), unit.kind) != LEFT_ALONE.end();
}

Unit unitOf(const std::string &options, const std::string &kind)
{
    Unit unit;
    unit.kind = kind;
    const std::vector<std::string> words = e2e::split(options, " ");
    for (size_t i = 0; i + 1 < words.size(); i++) {
        if (words[i] == "--role") {
            unit.side = words[i + 1][0] == 't' ? Side::TX : Side::RX;
            unit.secondGeneration = words[i + 1].size() > 2;
        } else if (words[i] == "--device-code") {
            unit.deviceCode = std::stoi(words[i + 1]);
        } else if (words[i] == "--model") {
            unit.model = std::string("\x1b[2J\x08\0\xff", 7);
        }
    }
    return unit;
}

std::string label(const Unit &unit)
{
    const std::string &port = unit.port;
    const std::string side = unit.kind == "held" ? "?"
                                                 : std::string(unit.side == Side::TX ? "TX" : "RX") +
                                                       (unit.secondGeneration ? " (2nd gen)" : " (1st gen)");
    return port + std::string(port.size() < 7 ? 7 - port.size() : 1, ' ') + side +
           std::string(15 - side.size(), ' ');
}

int fpgaEntry(const Unit &unit)
{
    return fpgaImageEntry(unit.deviceCode, unit.side == Side::TX);
}

// The update tool's transcript of this unit from its version lines to its outcome, then the
// version the unit reports after the update.
std::string expectedLog(const Unit &unit)
{
    const std::string shownModel = unit.kind == "stand-in" ? "\\x1B[2J\\x08\\x00\\xFF" : "SIMUNIT";
    const std::string identifiedAs =
        versionLines(unit.deviceCode, shownModel) + PRODUCT_ACCEPTED +
        (unit.deviceCode == DEVICE_XC7A100_484 ? "ENG. SAMPLE detected\r\n" : "") + identified(unit.side);
    const std::string identifiedAndPreparing = identifiedAs + preparing(Stage::ProgrammableLogic);
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
    if (unit.kind == "stand-in") {
        return identifiedAs + "\r\nERROR: This build carries stand-in images: it only updates the simulated "
                              "unit (model SIMUNIT) !\r\n";
    }
    return cut + (unit.kind == "send-failed"
                      ? FAILED_LINE
                      : "\r\nINTERRUPTED: the upload was cut short, the unit did not get a whole "
                        "image and must be updated again !\r\n");
}

// Summary line, stage outcomes and the unit's verdict on the images it received.
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
        {"send-failed", {"FAILED: line stopped taking bytes / send failed", "failed not reached", "fpga:"}},
        // What the network had already taken when its server went is no "SUCCESS"; the rest, a
        // failed send: which depends on the network's buffers.
        {"gone",
         {"FAILED: image not accepted|FAILED: line stopped taking bytes / send failed", "failed not reached",
          "fpga:"}},
        {"stand-in", {"FAILED: stand-in images, not the simulated unit", "not reached not reached", ""}},
        {"interrupted", {"INTERRUPTED in mid-image: update it again", "interrupted not reached", "fpga:"}},
        {"held", {"skip: held by another program", "", ""}},
        {"unknown", {"skip: unknown product", "", ""}},
        {"current", {"skip: runs 1.0.8", "", ""}},
    };
    return byKind.at(unit.kind);
}

// A log's name: the port, with what a file name cannot hold in Windows made "_".
std::string logName(const std::string &port)
{
    std::string name = port;
    for (const char *cut : {"://", ":", "[", "]"}) {
        for (size_t at; (at = name.find(cut)) != std::string::npos;) {
            name.replace(at, strlen(cut), "_");
        }
    }
    return name + "-unit.log";
}

// The record's lines, "COM2 started", "COM2 ended ...", "COM7 skipped ...", sorted.
std::vector<std::string> recordedLines(const std::string &path, const std::map<int, Unit> &units)
{
    std::vector<std::string> recorded;
    for (const std::string &line : e2e::split(testsupport::readFile(path), "\n")) {
        const json record = json::parse(line, nullptr, false);
        const std::string port = record.value("port", "");
        const std::string kind = record.value("record", "");
        std::string seen = port + " " + kind;
        if (kind == "ended") {
            const json &stages = record["stages"];
            const Unit &unit = std::find_if(units.begin(), units.end(), [&](const auto &named) {
                                   return named.second.port == port;
                               })->second;
            seen += " " + record.value("outcome", "") + " | " + stages[0].value("outcome", "") + " " +
                    stages[1].value("outcome", "");
            // What the worker announced is what the unit's images are.
            if (stages[0]["length"].is_number()) {
                EXPECT_EQ(stages[0]["length"], catalogueImage(fpgaEntry(unit)).length) << line;
                EXPECT_EQ(stages[0]["entry"], fpgaEntry(unit)) << line;
            }
            if (stages[1]["checksum"].is_number()) {
                EXPECT_EQ(stages[1]["checksum"], catalogueImage(0).checksum) << line;
            }
            EXPECT_EQ(record["before"].value("model", ""),
                      unit.kind == "stand-in" ? std::string("\x1b[2J\x08\0\xc3\xbf", 8) : "SIMUNIT")
                << line;
            const std::string labelled = label(unit).substr(unit.port.size());
            EXPECT_EQ(record["before"].value("side", ""),
                      labelled.substr(labelled.find_first_not_of(' '),
                                      labelled.find_last_not_of(' ') + 1 - labelled.find_first_not_of(' ')));
            EXPECT_EQ(hostPath(record.value("log", "")).substr(0, 1), "/") << line;
        } else if (kind == "skipped") {
            seen += " " + record.value("outcome", "");
        }
        recorded.push_back(seen);
    }
    std::sort(recorded.begin(), recorded.end());
    return recorded;
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
        // On Windows every worker shares the site program's console and gets its Ctrl-C itself; Wine
        // turns a SIGINT into the event of the one program that got it, so no worker would.
        GTEST_SKIP() << "a Windows program is stopped by console events, which Wine gives no worker";
    }
    // Under Wine, rows whose Windows code paths other rows already play (the typed answer, the
    // listing through a console server, a server gone, units left alone): the suite's time.
    static const std::vector<std::string> NATIVE_ONLY = {
        "EnterAloneAnswersNo", "NothingToUpdate", "EveryUnitUpdatedOrOnTheRelease",
        "ListingThroughAConsoleServer", "ConsoleServerGoneInMidImage"};
    if (native == nullptr &&
        std::find(NATIVE_ONLY.begin(), NATIVE_ONLY.end(), row.name) != NATIVE_ONLY.end()) {
        GTEST_SKIP() << "its Windows code paths are played by the other rows under Wine";
    }
    if (row.outcomes.find("stand-in") != std::string::npos && !standInBuild()) {
        GTEST_SKIP() << "only a build with stand-in images refuses a unit by its model word";
    }
    testsupport::TempDir work;
    std::map<int, std::unique_ptr<testsupport::SimUnit>> sims;
    // Network ports: ser2net in front of a unit, or a server that never speaks, or nothing.
    std::map<int, std::unique_ptr<testsupport::Ser2net>> servers;
    std::vector<std::unique_ptr<testsupport::SilentServer>> silent;
    std::map<int, std::string> names; // every port the row names, by its key
    std::map<int, Unit> units;
    std::map<int, std::string> kinds;
    for (const std::string &outcome : e2e::split(row.outcomes, "; ")) {
        kinds[std::stoi(outcome)] = outcome.substr(outcome.find(' ') + 1);
    }
    const auto startUnit = [&](int com, const std::string &options) {
        std::vector<std::string> args = e2e::split(options, " ");
        const auto reboot = e2e::rebootOptions(
            kinds.count(com) && kinds[com] == "no-prompt" ? e2e::Reboot::NoPrompt : e2e::Reboot::Prompt,
            false);
        args.insert(args.end(), reboot.begin(), reboot.end());
        args.erase(std::remove(args.begin(), args.end(), ""), args.end());
        auto &sim = sims[com] = std::make_unique<testsupport::SimUnit>(args);
        ASSERT_TRUE(sim->start()) << sim->error();
        ASSERT_EQ(chmod(sim->slavePath().c_str(), 0666), 0); // for the check that the port is free
        names[com] = "COM" + std::to_string(com);
        if (kinds.count(com)) {
            units[com] = unitOf(options, kinds[com]);
            units[com].port = names[com];
        }
    };
    for (const std::string &entry : e2e::split(row.units, "; ")) {
        const int com = std::stoi(entry);
        const size_t colon = entry.find(':');
        const std::string kind =
            entry.substr(entry.find(' ') + 1,
                         colon == std::string::npos ? std::string::npos : colon - entry.find(' ') - 1);
        if (kind == "silent" || kind == "nothing") {
            silent.push_back(kind == "silent" ? std::make_unique<testsupport::SilentServer>() : nullptr);
            names[com] = kind == "silent" ? silent.back()->name()
                                          : testsupport::localNetworkPortName(testsupport::freeLocalPort());
            continue;
        }
        startUnit(com, colon == std::string::npos ? "" : entry.substr(colon + 1));
        if (kind == "net" || kind == "net-gone") {
            auto &server = servers[com] = std::make_unique<testsupport::Ser2net>(sims[com]->slavePath());
            ASSERT_TRUE(server->start()) << server->error();
            names[com] = server->name();
        } else if (kind == "held") {
            runner.holdPort(com, sims[com]->slavePath());
        } else {
            runner.namePort(com, sims[com]->slavePath());
        }
    }
    for (auto &[com, unit] : units) {
        unit.port = names.count(com) ? names[com] : "COM" + std::to_string(com);
    }

    if (native == nullptr && !row.outcomes.empty() && servers.empty()) {
        // Under Wine an absent port is refused as a held one is (WinePrefix.h): it is summed up and
        // recorded as one.
        for (int com = 1; com <= 32; com++) {
            if (sims.count(com) == 0) {
                units[com].kind = "held";
                units[com].port = "COM" + std::to_string(com);
            }
        }
    }

    std::vector<std::string> args = e2e::split(row.args, " ");
    args.insert(args.begin(), {"--record", work.file("state/updates.jsonl")});
    if (!servers.empty() || !silent.empty()) {
        // Network ports are probed only when named: the row's ports, in its order.
        std::string ports;
        for (const auto &[com, name] : names) {
            ports += (ports.empty() ? "" : ",") + name;
        }
        args.insert(args.begin(), {"--ports", ports});
    } else if (native == nullptr && row.listing.empty()) {
        // Wine names COM33 to COM40 (absent, so held) and the machine's own devices beyond: only the
        // listing's row looks at every port the machine names.
        args.insert(args.begin(), {"--ports", "COM1-COM32"});
    }
    testsupport::RunOptions run = runner.runOptions(e2e::Program::Site, row.typed, 120000, work.path(), args);
    if (!row.swappedFor.empty()) {
        // Typed once the unit on COM1 is another.
        run.stdinTerminal = true;
        run.keysWhen = run.rawTerminal ? "y\r" : "y\n"; // a console reads Enter as CR
        run.signalWhen = [&, swapped = false](const std::string &out, int) mutable {
            if (!swapped && out.find("[y/N] ") != std::string::npos) {
                swapped = true;
                sims[1].reset();
                startUnit(1, row.swappedFor);
                runner.namePort(1, sims[1]->slavePath());
            }
            return swapped;
        };
    } else if (row.units.find("net-gone") != std::string::npos) {
        run.signalWhen = [&](const std::string &out, int) {
            for (auto &[com, server] : servers) {
                if (out.find(label(units[com]) + "FPGA\r\n") != std::string::npos) {
                    server->stop();
                }
            }
            return false;
        };
    } else if (row.signal != 0) {
        run.signal = row.signal;
        // The site program alone: it passes the signal on to its workers, or they notice its end.
        run.signalProgramOnly = true;
        run.signalWhen = [&](const std::string &out, int) {
            for (const auto &[com, unit] : units) {
                if (out.find(label(unit) + "FPGA\r\n") == std::string::npos) {
                    return false;
                }
            }
            return true;
        };
    }
    const testsupport::RunResult result = testsupport::runProgram(run);
    EXPECT_FALSE(result.timedOut);
    // Under Wine the absent ports are held ones, and a held port is a warning.
    const bool absentHeld = native == nullptr && !row.outcomes.empty() && servers.empty();
    EXPECT_EQ(result.exitStatus, absentHeld && row.exitStatus == 0 ? 2 : row.exitStatus) << result.out;
    const std::string recordPath = work.file("state/updates.jsonl");
    if (row.signal == SIGKILL) {
        // Killed, the site program says nothing more; its workers end by themselves and give
        // their ports back. The record names every unit it had started.
        std::vector<std::string> started;
        for (const auto &entry : units) {
            const std::string port = sims[entry.first]->slavePath();
            EXPECT_TRUE(testsupport::pollFor([&] { return testsupport::openAsNobody(port) == 0; }, 3000))
                << "COM" << entry.first << " is still held";
            started.push_back(entry.second.port + " started");
        }
        EXPECT_EQ(recordedLines(recordPath, units), started);
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
        // "{101}" stands for the name of the network port the row's unit 101 is behind.
        std::string expected = row.listing;
        for (const auto &[com, name] : names) {
            const std::string key = "{" + std::to_string(com) + "}";
            for (size_t at; (at = expected.find(key)) != std::string::npos;) {
                expected.replace(at, key.size(), name);
            }
        }
        EXPECT_EQ(end == std::string::npos ? listed : listed.substr(0, end + 2), expected);
    }
    const size_t summaryAt = result.out.find("\r\nSummary");
    const size_t folderAt = result.out.find("(logs in ", summaryAt);
    const std::string shownFolder =
        folderAt == std::string::npos
            ? ""
            : result.out.substr(folderAt + 9, result.out.find("):", folderAt) - folderAt - 9);
    const std::string folder = hostPath(shownFolder);
    // Logs go beside the record, never into the current folder.
    EXPECT_TRUE(folder.empty() || folder.find(work.file("state/runs/")) == 0) << folder;
    std::string summary =
        "\r\nSummary" + (folder.empty() ? std::string() : " (logs in " + shownFolder + ")") + ":\r\n";
    int counts[6] = {0, 0, 0, 0, 0, 0}; // updated, current, warning, failed, interrupted, skipped
    std::vector<std::string> expectedRecords;
    for (const auto &[com, unit] : units) {
        Expected expected = expectedOf(unit);
        const size_t either = expected.outcome.find('|');
        if (either != std::string::npos) {
            const std::string first = expected.outcome.substr(0, either);
            expected.outcome = result.out.find(label(unit) + first) != std::string::npos
                                   ? first
                                   : expected.outcome.substr(either + 1);
        }
        summary += label(unit) + expected.outcome + "\r\n";
        const std::string &port = unit.port;
        counts[unit.kind == "updated"       ? 0
               : unit.kind == "current"     ? 1
               : leftAlone(unit)            ? 5
               : unit.kind == "interrupted" ? 4
               : expected.stages == "ok ok" ? 2
                                            : 3]++;
        if (leftAlone(unit)) {
            expectedRecords.push_back(port + " skipped " + expected.outcome);
            continue;
        }
        expectedRecords.push_back(port + " started");
        expectedRecords.push_back(port + " ended " + expected.outcome + " | " + expected.stages);
        const std::string log = testsupport::readFile(folder + "/" + logName(port));
        if (either == std::string::npos) {
            EXPECT_EQ(log, resolveCutTransfers(expectedLog(unit), log)) << port;
        }
        const std::string seen = e2e::unitSummary(sims[com]->report());
        const size_t images = seen.find(" | ");
        EXPECT_EQ(images == std::string::npos ? "" : seen.substr(images + 3, expected.images.size()),
                  expected.images)
            << port;
    }
    if (!units.empty()) {
        char counted[200];
        snprintf(
            counted, sizeof counted,
            "\r\n%d units: %d updated, %d already on 1.0.8, %d with a warning, %d failed, %d interrupted, %d "
            "skipped\r\n",
            (int)units.size(), counts[0], counts[1], counts[2], counts[3], counts[4], counts[5]);
        EXPECT_EQ(summaryAt == std::string::npos ? "" : result.out.substr(summaryAt), summary + counted);
    } else {
        EXPECT_EQ(summaryAt, std::string::npos);
    }
    std::sort(expectedRecords.begin(), expectedRecords.end());
    EXPECT_EQ(recordedLines(recordPath, units), expectedRecords);
    for (auto &[com, sim] : sims) {
        EXPECT_TRUE(sim->stop()) << "unit on COM" << com << " did not end cleanly";
        // A unit left alone (held, skipped, or the answer was no) never gets an upload command.
        const bool updated = units.count(com) && !leftAlone(units[com]);
        EXPECT_TRUE(updated || e2e::unitSummary(sim->report()).find("upload") == std::string::npos)
            << "COM" << com;
    }
}

} // namespace site
