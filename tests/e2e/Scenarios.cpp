#include "Scenarios.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "Transcript.h"

namespace e2e {

using testsupport::Json;
using transcript::Side;
using transcript::Stage;
using Log = std::vector<std::string>;

const char FULL_UPDATE_SCENARIO[] = "TxFoundAt9600OnCom3BehindAnIdlePort";

namespace {

const int IMAGE_RATE = 115200;
const int REBOOT_WAIT_SECONDS = 46 * 3;

// Discovery's twelve probes on a port where nothing answers.
Log unansweredProbes(const std::string &answer)
{
    Log log;
    for (int rate : {115200, 9600, 57600, 4800, 2400, 1200}) {
        log.insert(log.end(), 2, "probe@" + std::to_string(rate) + " " + answer);
    }
    return log;
}

Log operator+(Log first, const Log &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string rate(int baud) { return "@" + std::to_string(baud); }

// The commands of an update that went through, found by discovery at `baud`.
Log updateCommands(int baud, int identityTries)
{
    Log log = {"version" + rate(baud) + "+cts reply"};
    log.insert(log.end(), identityTries, "identity" + rate(baud) + "+cts reply");
    return log + Log{"fpga-upload" + rate(baud) + "+cts reply", "fw-upload" + rate(IMAGE_RATE) + "+cts reply"};
}

// The default unit: a first-generation TX, device code 1, version 2.1.5 SIMUNIT 3.4.
std::string defaultVersionLines(int deviceCode = 1, const std::string &model = "SIMUNIT")
{
    return transcript::versionLines(2, 1, 5, model, 3, 4, deviceCode);
}

std::string foundOnCom1() { return transcript::announcement() + transcript::discoveryFound(1, IMAGE_RATE); }

// What a TX unit on COM1 answering at 115200 shows up to its identification.
std::string txIdentified()
{
    return foundOnCom1() + defaultVersionLines() + transcript::productAccepted(1) + transcript::identified(Side::TX);
}

int txImage() { return transcript::fpgaImageIndex(1, Side::TX); }

void expectBothImagesArrivedWhole(const Json &report, int fpgaImage)
{
    ASSERT_EQ(report["images"].size(), 2u);
    expectImageArrivedWhole(report, 0, "fpga", fpgaImage);
    expectImageArrivedWhole(report, 1, "fw", 0);
}

std::vector<Scenario> buildScenarios()
{
    using namespace transcript;
    std::vector<Scenario> rows;

    // The road of one update: COM1 present but idle, COM2 absent, the unit at 9600 on COM3.
    rows.push_back({FULL_UPDATE_SCENARIO,
                    {{1, {"--silent"}}, {3, {"--role", "tx", "--baud", "9600"}}},
                    "",
                    Reboot::PromptShown,
                    announcement() + discoveryFound(3, 9600) + defaultVersionLines() +
                        completeUpdate(1, Side::TX, true) + closing(true),
                    0,
                    60,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)), unansweredProbes("silent"));
                        EXPECT_EQ(commandLog(units.at(3)),
                                  Log({"probe@115200 garbage", "probe@115200 garbage", "probe@9600 reply"}) +
                                      updateCommands(9600, 1));
                        expectBothImagesArrivedWhole(units.at(3), txImage());
                    }});

    // A second-generation RX engineering sample, recognised at the fourth identity try,
    // which misses the first probe at its rate.
    rows.push_back({"Rx2EngineeringSampleFoundAtTheSecondProbe",
                    {{2, {"--role", "rx2", "--device-code", "4", "--baud", "9600", "--probe-answer-nth", "2"}}},
                    "",
                    Reboot::PromptShown,
                    announcement() + discoveryFound(2, 9600) + defaultVersionLines(4) +
                        completeUpdate(4, Side::RX, true) + closing(true),
                    0,
                    70,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(2)), Log({"probe@115200 garbage", "probe@115200 garbage",
                                                                "probe@9600 silent", "probe@9600 reply"}) +
                                                               updateCommands(9600, 4));
                        expectBothImagesArrivedWhole(units.at(2), fpgaImageIndex(4, Side::RX));
                    }});

    rows.push_back({"PromptMissingAfterTheReboot",
                    {{1, {"--role", "tx"}}},
                    "",
                    Reboot::PromptMissing,
                    foundOnCom1() + defaultVersionLines() + completeUpdate(1, Side::TX, false) + closing(true),
                    2,
                    60,
                    false,
                    [](const UnitReports &units) {
                        expectBothImagesArrivedWhole(units.at(1), txImage());
                        EXPECT_EQ(units.at(1)["prompt_us"].u64(), 0u);
                    }});

    rows.push_back({"PromptArrivingBeforeTheLastRead",
                    {{1, {"--role", "tx"}}},
                    "",
                    Reboot::PromptTooEarly,
                    foundOnCom1() + defaultVersionLines() + completeUpdate(1, Side::TX, false) + closing(true),
                    2,
                    60,
                    false,
                    [](const UnitReports &units) {
                        expectBothImagesArrivedWhole(units.at(1), txImage());
                        EXPECT_GT(units.at(1)["prompt_us"].u64(), 0u) << "the prompt was shown, and dropped";
                    }});

    rows.push_back({"UnknownDeviceCode",
                    {{1, {"--device-code", "2"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + defaultVersionLines(2) + productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)), Log({"probe@115200 reply", "version@115200+cts reply"}));
                    }});

    // Without the device code the version reply does not parse: no version lines at all.
    rows.push_back({"SixFieldVersionReply",
                    {{1, {"--reply", "version=2.1.5 SIMUNIT 3.4\\r\\n>>"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    nullptr});

    // A number beyond an int makes the reply unreadable: "%d" made 1 of 4294967297 and
    // -4294967295, 4 of 4294967300, and picked an image for a unit we have none for.
    const struct {
        const char *name, *option, *value;
    } outOfRange[] = {{"DeviceCode4294967297", "--device-code", "4294967297"},
                      {"DeviceCode4294967300", "--device-code", "4294967300"},
                      {"DeviceCodeMinus4294967295", "--device-code", "-4294967295"},
                      {"FirmwareVersionOf11Digits", "--fw-version", "12345678901.1.5"}};
    for (const auto &reply : outOfRange) {
        rows.push_back({std::string("VersionReplyWith") + reply.name,
                        {{1, {reply.option, reply.value}}},
                        "",
                        Reboot::NotReached,
                        foundOnCom1() + productUnknown() + closing(false),
                        1,
                        5,
                        false,
                        [](const UnitReports &units) {
                            EXPECT_EQ(commandLog(units.at(1)), Log({"probe@115200 reply", "version@115200+cts reply"}));
                        }});
    }

    // A model word longer than its seven-character field is refused, not cut: cut after seven
    // characters, the rest of this one would read as the FPGA version and device code 3.
    rows.push_back({"ModelWordTooLong",
                    {{1, {"--model", "SIMUNIT3.4"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    nullptr});

    rows.push_back({"IdentityWithAnExtraLineEnd",
                    {{1, {"--reply", "identity=Norvex 6G SDI EXTENDER TX\\r\\n\\r\\n>>"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + defaultVersionLines() + productAccepted(1) + notIdentified() + closing(false),
                    1,
                    12,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)),
                                  Log({"probe@115200 reply", "version@115200+cts reply", "identity@115200+cts reply",
                                       "identity@115200+cts reply", "identity@115200+cts reply",
                                       "identity@115200+cts reply"}));
                    }});

    rows.push_back({"ReadyFollowedByALineEnd",
                    {{1, {"--reply", "fpga-upload=Ready\\r\\n"}}},
                    "",
                    Reboot::NotReached,
                    txIdentified() + preparing(Stage::ProgrammableLogic) + unitNotReady() + closing(false),
                    1,
                    25,
                    false,
                    [](const UnitReports &units) { EXPECT_EQ(units.at(1)["images"][0]["bytes_received"].u64(), 0u); }});

    rows.push_back({"FirmwareUploadRefused",
                    {{1, {"--reply", "fw-upload=BUSY"}}},
                    "",
                    Reboot::NotReached,
                    txIdentified() + upload(Stage::ProgrammableLogic, catalogueImage(txImage()).length) +
                        preparing(Stage::Firmware) + unitNotReady() + closing(false),
                    1,
                    40,
                    false,
                    [](const UnitReports &units) {
                        expectImageArrivedWhole(units.at(1), 0, "fpga", txImage());
                        EXPECT_EQ(units.at(1)["images"][1]["bytes_received"].u64(), 0u);
                    }});

    rows.push_back({"ImageReplyOtherThanSuccess",
                    {{1, {"--reply", "fpga-image=DONE"}}},
                    "",
                    Reboot::NotReached,
                    txIdentified() + preparing(Stage::ProgrammableLogic) + unitReady() +
                        sending(Stage::ProgrammableLogic) + percentages(catalogueImage(txImage()).length) +
                        replyRefused("DONE") + transferFailed() + closing(false),
                    1,
                    30,
                    false,
                    [](const UnitReports &units) {
                        expectImageArrivedWhole(units.at(1), 0, "fpga", txImage());
                        EXPECT_EQ(units.at(1)["images"].size(), 1u);
                    }});

    // 300 bytes of terminal control and binary instead of "SUCCESS": shown escaped, cut at 200.
    std::string binary = "\\x1b[2J\\x1b]0;x\\x07", shown = "\\x1B[2J\\x1B]0;x\\x07";
    for (int i = 0; i < 290; i++) binary += "\\xff";
    for (int i = 0; i < 190; i++) shown += "\\xFF";
    rows.push_back({"ImageReplyLongAndBinary",
                    {{1, {"--reply", "fpga-image=" + binary}}},
                    "",
                    Reboot::NotReached,
                    txIdentified() + preparing(Stage::ProgrammableLogic) + unitReady() +
                        sending(Stage::ProgrammableLogic) + percentages(catalogueImage(txImage()).length) +
                        replyRefused(shown + "... (300 bytes)") + transferFailed() + closing(false),
                    1,
                    30,
                    false,
                    nullptr});

    rows.push_back({"StandInBuildRefusesAnotherModel",
                    {{1, {"--model", "NX6G"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + defaultVersionLines(1, "NX6G") + productAccepted(1) + identified(Side::TX) +
                        standInRefusal() + closing(false),
                    1,
                    6,
                    true,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)), Log({"probe@115200 reply", "version@115200+cts reply",
                                                                "identity@115200+cts reply"}));
                    }});

    // Manual entry. COM33 is beyond discovery's reach; no port 1..32 exists.
    rows.push_back({"ManualEntryOfAGoodPortAndRate",
                    {{33, {"--baud", "9600", "--device-code", "2"}}},
                    "33\n9600\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + openingPort(33) + portOpened() + settingRate(9600) +
                        rateSet() + defaultVersionLines(2) + productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    [](const UnitReports &units) {
                        // The version lines show that the line works at the rate typed.
                        EXPECT_EQ(commandLog(units.at(33)), Log({"version@9600+cts reply"}));
                    }});

    rows.push_back({"ManualEntryOfAnAbsentPort",
                    {},
                    "7\n9600\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + openingPort(7) + openFailed(7) + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    nullptr});

    // No port runs at a rate of 0 or below: refused before the driver is asked.
    for (int refused : {0, -9600}) {
        rows.push_back({"ManualEntryOfARate" + std::string(refused == 0 ? "Of0" : "OfMinus9600"),
                        {{33, {}}},
                        "33\n" + std::to_string(refused) + "\n",
                        Reboot::NotReached,
                        announcement() + discoveryFailed() + openingPort(33) + portOpened() + settingRate(refused) +
                            closingAfterManualEntry(),
                        255,
                        3,
                        false,
                        [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(33)), Log()); }});
    }

    rows.push_back({"ManualEntryOfAPortThatIsNotANumber",
                    {},
                    "COM3\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + notANumber() + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    nullptr});

    rows.push_back({"ManualEntryOfARateThatIsNotANumber",
                    {{33, {}}},
                    "33\nfast\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + openingPort(33) + portOpened() + notANumber() +
                        closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(33)), Log()); }});

    // Each answer is a whole line: spaces around the number, empty lines before it and the
    // CR of a Windows console's Enter are passed over...
    rows.push_back({"TypedAnswersWithSpacesAroundAndEmptyLinesBefore",
                    {{33, {"--baud", "9600", "--device-code", "2"}}},
                    "\n 33 \n\n\t9600\r\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + openingPort(33) + portOpened() + settingRate(9600) +
                        rateSet() + defaultVersionLines(2) + productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    nullptr});
    // ... but a number followed by anything else is refused, never cut to the number before it.
    struct Refusal {
        const char *name;
        const char *typed;
        bool portOpened;
    };
    for (const Refusal &refusal : {Refusal{"PortTypedWithLettersAfterIt", "33abc\n9600\n", false},
                                   Refusal{"RateTypedWithLettersAfterIt", "33\n9600abc\n", true},
                                   Refusal{"PortTypedInHexadecimal", "0x21\n9600\n", false}}) {
        rows.push_back({refusal.name,
                        {{33, {"--baud", "9600"}}},
                        refusal.typed,
                        Reboot::NotReached,
                        announcement() + discoveryFailed() + (refusal.portOpened ? openingPort(33) + portOpened() : "") +
                            notANumber() + closingAfterManualEntry(),
                        255,
                        3,
                        false,
                        [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(33)), Log()); }});
    }

    // Discovery closes every port it tried: the operator can choose the one it probed.
    rows.push_back({"OperatorChoosesThePortDiscoveryProbed",
                    {{1, {"--silent"}}},
                    "1\n115200\n",
                    Reboot::NotReached,
                    announcement() + discoveryFailed() + openingPort(1) + portOpened() + settingRate(115200) +
                        rateSet() + productUnknown() + closing(false),
                    1,
                    12,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)),
                                  unansweredProbes("silent") + Log({"version@115200+cts silent"}));
                    }});
    return rows;
}

} // namespace

const std::vector<Scenario> &updateScenarios()
{
    static const std::vector<Scenario> rows = buildScenarios();
    return rows;
}

const Scenario &scenario(const std::string &name)
{
    for (const std::vector<Scenario> *rows : {&updateScenarios(), &faultScenarios()}) {
        for (const Scenario &row : *rows) {
            if (row.name == name) return row;
        }
    }
    throw std::invalid_argument("no scenario " + name);
}

std::vector<std::string> scenarioNames(const std::vector<Scenario> &rows)
{
    std::vector<std::string> names;
    for (const Scenario &row : rows) names.push_back(row.name);
    return names;
}

std::vector<std::string> rebootOptions(Reboot reboot, bool realRebootWait)
{
    if (realRebootWait) {
        // The unit's own timing (prompt 145 s after "SUCCESS") fits the real wait.
        switch (reboot) {
        case Reboot::PromptMissing: return {"--no-prompt"};
        case Reboot::PromptTooEarly: return {"--prompt-after", "60000"};
        default: return {};
        }
    }
    // Without the wait, the tool's first read after it spans about 2 to 3 s after the unit's
    // "SUCCESS" (the reply itself is collected until 1 s of silence, then 1 s more), and its
    // second read about 3 to 14 s. The boot banner would land in either: the unit shows none.
    switch (reboot) {
    case Reboot::PromptShown: return {"--banner", "", "--prompt-after", "7000"};
    case Reboot::PromptMissing: return {"--banner", "", "--no-prompt"};
    case Reboot::PromptTooEarly: return {"--banner", "", "--prompt-after", "2500"};
    default: return {};
    }
}

std::vector<std::string> commandLog(const Json &report)
{
    std::vector<std::string> log;
    for (const Json &command : report["commands"].items()) {
        log.push_back(command["kind"].str() + "@" + std::to_string(command["rate"].u64()) +
                      (command["crtscts"].boolean() ? "+cts" : "") + " " + command["answer"].str());
    }
    return log;
}

void expectImageArrivedWhole(const Json &report, size_t index, const std::string &stage, int catalogueIndex)
{
    const transcript::ImageFacts &facts = transcript::catalogueImage(catalogueIndex);
    const Json &image = report["images"][index];
    SCOPED_TRACE("image " + std::to_string(index) + " (" + stage + ")");
    EXPECT_EQ(image["stage"].str(), stage);
    EXPECT_EQ(image["announced_length"].u64(), (uint64_t)facts.length);
    EXPECT_EQ(image["announced_checksum"].u64(), facts.checksum);
    EXPECT_EQ(image["bytes_received"].u64(), (uint64_t)facts.length);
    EXPECT_EQ(image["fnv1a64"].str(), facts.fnv1a64);
    EXPECT_EQ(image["rate"].u64(), (uint64_t)IMAGE_RATE);
    EXPECT_TRUE(image["crtscts"].boolean());
    EXPECT_TRUE(image["rate_ok"].boolean());
    EXPECT_TRUE(image["flow_ok"].boolean());
    EXPECT_EQ(image["verdict"].str(), "ok");
}

void runScenario(ToolRunner &runner, const Scenario &scenario)
{
    if (scenario.standInOnly && !transcript::standInBuild()) {
        GTEST_SKIP() << "only a stand-in build refuses other units";
    }
    const bool waits = scenario.reboot != Reboot::NotReached;
    std::vector<std::unique_ptr<testsupport::SimUnit>> units;
    std::vector<std::unique_ptr<testsupport::HeldPort>> heldPorts;
    for (const UnitOnPort &unit : scenario.units) {
        std::vector<std::string> options = unit.options;
        for (const std::string &option : rebootOptions(scenario.reboot, runner.realRebootWait())) {
            options.push_back(option);
        }
        units.push_back(std::make_unique<testsupport::SimUnit>(options));
        ASSERT_TRUE(units.back()->start()) << units.back()->error();
        runner.namePort(unit.com, units.back()->slavePath());
        if (unit.heldByAnotherProgram) {
            heldPorts.push_back(std::make_unique<testsupport::HeldPort>(units.back()->slavePath()));
            ASSERT_TRUE(heldPorts.back()->ok()) << "COM" << unit.com << " could not be held";
        }
    }

    // Twice the time a good run takes, and the wait: a failure, never a hang.
    const int seconds = 2 * scenario.seconds + 30 + (waits && runner.realRebootWait() ? REBOOT_WAIT_SECONDS + 30 : 0);
    const testsupport::RunResult run = runner.run(Program::Update, scenario.typed, seconds * 1000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "still running after " << seconds << " s";
    EXPECT_FALSE(run.signaled) << "ended by signal " << run.exitStatus;
    EXPECT_EQ(transcript::visible(run.out),
              transcript::visible(transcript::resolveCutTransfers(scenario.transcript, run.out)));
    EXPECT_EQ(run.exitStatus, scenario.exitStatus);
    EXPECT_EQ(run.err, runner.expectedErrorOutput(waits));
    ::testing::Test::RecordProperty("seconds", std::to_string(run.seconds));
    std::printf("%s: %.1f s\n", scenario.name.c_str(), run.seconds);

    UnitReports reports;
    for (size_t i = 0; i < units.size(); i++) {
        EXPECT_TRUE(units[i]->stop()) << "unit on COM" << scenario.units[i].com << " did not end cleanly";
        reports[scenario.units[i].com] = units[i]->report();
    }
    if (scenario.checkUnits) {
        scenario.checkUnits(reports);
    }
}

std::vector<std::string> plantedPartKinds() { return {"LinkToAVictim", "LinkToNowhere", "Fifo", "Directory"}; }

void runWithPlantedPart(ToolRunner &runner, const std::string &kind)
{
    testsupport::TempDir dir;
    const std::string part = dir.file("FwToUpload.bin.part"), victim = dir.file("victim"), nowhere = dir.file("nowhere");
    const std::string victimBytes = "the victim's own bytes\n";
    ASSERT_TRUE(testsupport::writeFile(victim, victimBytes));
    const int planted = kind == "LinkToAVictim"   ? symlink(victim.c_str(), part.c_str())
                        : kind == "LinkToNowhere" ? symlink(nowhere.c_str(), part.c_str())
                        : kind == "Fifo"          ? mkfifo(part.c_str(), 0666)
                                                  : mkdir(part.c_str(), 0755);
    ASSERT_EQ(planted, 0) << kind;

    const testsupport::RunResult run = runner.run(Program::WebPackage, "", 60000, dir.path());
    const bool written = kind != "Directory";
    const transcript::ImageFacts &image = transcript::catalogueImage(0);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(transcript::visible(run.out), transcript::visible(written ? transcript::webPackageConsole(image)
                                                                        : transcript::webPackageFailedConsole(image)));
    EXPECT_EQ(run.exitStatus, written ? 0 : 1);
    EXPECT_EQ(testsupport::readFile(victim), victimBytes);
    struct stat st;
    EXPECT_NE(lstat(nowhere.c_str(), &st), 0);
    // The package: a regular file of the right size, beginning with its header.
    const std::string package = testsupport::readFile(dir.file("FwToUpload.bin"));
    const std::string header = "NorVex\r\n418263\r\n1.0.8\r\n" + std::to_string(image.checksum) + "\r\n" +
                               std::to_string(image.length) + "\r\n";
    const size_t text = (image.length + 2) / 3 * 4;
    EXPECT_EQ(lstat(dir.file("FwToUpload.bin").c_str(), &st) == 0 && S_ISREG(st.st_mode), written);
    EXPECT_EQ(package.size(), written ? header.size() + text + (text - 1) / 928 * 2 : 0);
    EXPECT_EQ(package.substr(0, header.size()), written ? header : "");
    EXPECT_EQ(lstat(part.c_str(), &st) == 0, !written) << "the part file stays only when it is a directory";
}

} // namespace e2e
