// The update tool's bad days, end to end: a unit that stalls, disappears or floods the line,
// a device that never falls silent, replies at the wrong rate or in pieces, a port that
// another program holds, and an operator who types nonsense. Each run ends cleanly, with its
// transcript byte for byte, its exit status, and what the unit saw.
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "Transcript.h"

namespace e2e {

namespace {

using testsupport::Json;
using namespace transcript;
using Log = std::vector<std::string>;

int txImageLength()
{
    return catalogueImage(fpgaImageIndex(1, Side::TX)).length;
}

// The default unit (TX, device code 1 or `deviceCode`, version 2.1.5 SIMUNIT 3.4) found on
// COM1 at `rate`, up to its version lines.
std::string foundOnCom1(int rate = 115200, int deviceCode = 1)
{
    return announcement() + discoveryFound(1, rate) + versionLines(2, 1, 5, "SIMUNIT", 3, 4, deviceCode);
}

// ... and up to the start of the programmable-logic transfer.
std::string sendingProgrammableLogic()
{
    return foundOnCom1() + productAccepted(1) + identified(Side::TX) + preparing(Stage::ProgrammableLogic) +
           unitReady() + sending(Stage::ProgrammableLogic);
}

// Manual entry after a discovery that found nothing, up to the prompt for the port.
std::string askedForThePort()
{
    return announcement() + discoveryFailed();
}

Log faultsApplied(const Json &report)
{
    Log faults;
    for (const Json &fault : report["faults"].items()) {
        faults.push_back(fault["fault"].str() + ": " + fault["detail"].str());
    }
    return faults;
}

std::vector<Scenario> buildFaultScenarios()
{
    std::vector<Scenario> rows;
    const int image = txImageLength();

    // The same stall in the image's last 5000 bytes: the tool's last write is already in
    // the pseudo-terminal, so it waits for "SUCCESS" one reading time-out (1 s) only, and
    // gives up before the unit reads on. Closing the port may drop what it still held.
    const int lastBytes = image - 5000;
    rows.push_back({"UnitStallsAfterTheLastWrite",
                    {{1, {"--stall", "fpga:" + std::to_string(lastBytes) + ",2500"}}},
                    "",
                    Reboot::NotReached,
                    sendingProgrammableLogic() + percentages(image) + replyRefused("") + transferFailed() +
                        closing(false),
                    1,
                    30,
                    false,
                    [lastBytes](const UnitReports &units) {
                        EXPECT_EQ(
                            faultsApplied(units.at(1)),
                            Log({"stall: fpga after " + std::to_string(lastBytes) + " bytes for 2500 ms"}));
                        EXPECT_EQ(units.at(1)["images"].size(), 1u);
                    }});

    // The pty closes in mid-image: the write under way fails (EIO) and the stage ends with
    // its failure word, after as many percentages as writes got through before.
    rows.push_back({"UnitDisappearsInMidImage",
                    {{1, {"--disconnect", "fpga:60000"}}},
                    "",
                    Reboot::NotReached,
                    sendingProgrammableLogic() + cutTransfer(image) + transferFailed() + closing(false),
                    1,
                    30,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(faultsApplied(units.at(1)), Log({"disconnect: fpga after 60000 bytes"}));
                        EXPECT_EQ(units.at(1)["images"][0]["bytes_received"].u64(), 60000u);
                    }});

    // A unit that stops taking bytes for good, in either stage: the write under way gives up
    // at its deadline (about 30 s) and the update fails; the unit holds no whole image of it.
    for (const Stage stage : {Stage::ProgrammableLogic, Stage::Firmware}) {
        const bool fpga = stage == Stage::ProgrammableLogic;
        rows.push_back(
            {fpga ? "UnitStopsTakingBytesForEverInTheFpgaStage"
                  : "UnitStopsTakingBytesForEverInTheFirmwareStage",
             {{1, {"--stall", fpga ? "fpga:100000,forever" : "fw:50000,forever"}}},
             "",
             Reboot::NotReached,
             foundOnCom1() + productAccepted(1) + identified(Side::TX) +
                 (fpga ? "" : upload(Stage::ProgrammableLogic, image)) + preparing(stage) + unitReady() +
                 sending(stage) + cutTransfer(catalogueImage(fpga ? fpgaImageIndex(1, Side::TX) : 0).length) +
                 transferFailed() + closing(false),
             1,
             40,
             false,
             [fpga](const UnitReports &units) {
                 const char *at = fpga ? "fpga after 100000" : "fw after 50000";
                 EXPECT_EQ(faultsApplied(units.at(1)),
                           Log({std::string("stall: ") + at + " bytes for ever"}));
                 const Json &images = units.at(1)["images"];
                 ASSERT_EQ(images.size(), fpga ? 1u : 2u);
                 EXPECT_EQ(images[images.size() - 1]["bytes_received"].u64(), fpga ? 100000u : 50000u);
             }});
    }

    // A device that never falls silent on COM1 (a GPS receiver, a console that keeps logging):
    // each probe ends at its bound, and discovery goes on to the unit on COM2. That unit stops
    // reading for 2.5 s in mid-image, beyond the 1 s reading time-out: the tool's write waits
    // for it (well within its deadline) and both images arrive whole. After the reboot its
    // prompt does not come back: the warning and status 2.
    rows.push_back({"NoisyPortThenAStallingUnitWithoutItsPrompt",
                    {{1, {"--chatter"}}, {2, {"--stall", "fpga:200000,2500"}}},
                    "",
                    Reboot::PromptMissing,
                    announcement() + discoveryFound(2, 115200) + versionLines(2, 1, 5, "SIMUNIT", 3, 4, 1) +
                        completeUpdate(1, Side::TX, false) + closing(true),
                    2,
                    90,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(1)), Log());
                        EXPECT_GT(units.at(1)["ignored_bytes"].u64(), 0u) << "the probes reached the device";
                        EXPECT_EQ(faultsApplied(units.at(2)),
                                  Log({"stall: fpga after 200000 bytes for 2500 ms"}));
                        // Every byte arrived, in order, once: length, checksum and FNV-1a 64
                        // of the tool's own build of both images.
                        ASSERT_EQ(units.at(2)["images"].size(), 2u);
                        expectImageArrivedWhole(units.at(2), 0, "fpga", fpgaImageIndex(1, Side::TX));
                        expectImageArrivedWhole(units.at(2), 1, "fw", 0);
                    }});

    // Six million bytes of text for each of the four identity queries, six times the reply
    // buffer: each is read to its end and refused.
    rows.push_back({"IdentityReplyOfSixMegabytes",
                    {{1, {"--huge-reply", "identity=6000000"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1() + productAccepted(1) + notIdentified() + closing(false),
                    1,
                    20,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(faultsApplied(units.at(1)), Log(4, "huge-reply: identity 6000000 bytes"));
                        Log commands = {"probe@115200 reply", "version@115200+cts reply"};
                        commands.insert(commands.end(), 4, "identity@115200+cts reply");
                        EXPECT_EQ(commandLog(units.at(1)), commands);
                    }});

    // A unit at 2400 answers the probes at the four rates before it with garbage.
    rows.push_back({"GarbageAtTheWrongRatesBeforeTheUnitAt2400",
                    {{1, {"--baud", "2400", "--device-code", "2"}}},
                    "",
                    Reboot::NotReached,
                    foundOnCom1(2400, 2) + productUnknown() + closing(false),
                    1,
                    15,
                    false,
                    [](const UnitReports &units) {
                        Log commands;
                        for (int rate : {115200, 9600, 57600, 4800}) {
                            commands.insert(commands.end(), 2, "probe@" + std::to_string(rate) + " garbage");
                        }
                        commands.push_back("probe@2400 reply");
                        commands.push_back("version@2400+cts reply");
                        EXPECT_EQ(commandLog(units.at(1)), commands);
                    }});

    // Every reply pauses after its first 20 bytes. The probe's reply is collected until a
    // whole read of 500 ms brings nothing: a 300 ms pause is bridged by the read that brings
    // the first piece, a 700 ms one by the read after it. The version reply's one read of
    // 1 s takes both pieces.
    for (int pause : {300, 700}) {
        rows.push_back({"RepliesPausedFor" + std::to_string(pause) + "ms",
                        {{1, {"--split-reply", "20," + std::to_string(pause), "--device-code", "2"}}},
                        "",
                        Reboot::NotReached,
                        foundOnCom1(115200, 2) + productUnknown() + closing(false),
                        1,
                        5,
                        false,
                        [](const UnitReports &units) {
                            EXPECT_EQ(faultsApplied(units.at(1)), Log({"split: probe", "split: version"}));
                        }});
    }

    // A 1300 ms pause outlasts both: every probe's reply ends after its first 20 bytes, and
    // the unit is found at no rate. The operator then types nothing (end of input).
    rows.push_back({"RepliesPausedFor1300ms",
                    {{1, {"--split-reply", "20,1300"}}},
                    "",
                    Reboot::NotReached,
                    askedForThePort() + notANumber() + closingAfterManualEntry(),
                    255,
                    15,
                    false,
                    [](const UnitReports &units) {
                        Log probes = {"probe@115200 reply", "probe@115200 reply"};
                        for (int rate : {9600, 57600, 4800, 2400, 1200}) {
                            probes.insert(probes.end(), 2, "probe@" + std::to_string(rate) + " garbage");
                        }
                        EXPECT_EQ(commandLog(units.at(1)), probes);
                    }});

    // Another program holds COM1: discovery passes it over without a probe, and the port
    // typed by hand cannot be opened.
    rows.push_back({"HeldPortSkippedAndRefusedWhenTyped",
                    {{1, {}, true}},
                    "1\n9600\n",
                    Reboot::NotReached,
                    askedForThePort() + openingPort(1) + openFailed(1) + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(1)), Log()); }});

    // Operator input. COM33 is a unit beyond discovery's reach; no port 1..32 exists.
    rows.push_back({"OperatorTypesAnEmptyLine",
                    {},
                    "\n",
                    Reboot::NotReached,
                    askedForThePort() + notANumber() + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    nullptr});
    rows.push_back({"OperatorTypesANegativePort",
                    {},
                    "-3\n9600\n",
                    Reboot::NotReached,
                    askedForThePort() + openingPort(-3) + openFailed(-3) + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    nullptr});
    // Nine digits do not fit the 16-byte device path: refused, never cut to COM12345678.
    rows.push_back(
        {"OperatorTypesAPortTooLongForTheDevicePath",
         {{12345678, {}}},
         "123456789\n9600\n",
         Reboot::NotReached,
         askedForThePort() + openingPort(123456789) + openFailed(123456789) + closingAfterManualEntry(),
         255,
         3,
         false,
         [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(12345678)), Log()); }});
    // 2^32 + 33 would come out of "%d" as 33, the unit's port.
    rows.push_back({"OperatorTypesAPortBeyondAnInt",
                    {{33, {}}},
                    "4294967329\n9600\n",
                    Reboot::NotReached,
                    askedForThePort() + numberOutOfRange() + closingAfterManualEntry(),
                    255,
                    3,
                    false,
                    [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(33)), Log()); }});
    // A pseudo-terminal takes any rate: the unit hears the version query as garbage.
    rows.push_back({"OperatorTypesAHugeRate",
                    {{33, {"--device-code", "2"}}},
                    "33\n2000000000\n",
                    Reboot::NotReached,
                    askedForThePort() + openingPort(33) + portOpened() + settingRate(2000000000) + rateSet() +
                        productUnknown() + closing(false),
                    1,
                    5,
                    false,
                    [](const UnitReports &units) {
                        EXPECT_EQ(commandLog(units.at(33)), Log({"version@2000000000+cts garbage"}));
                    }});
    rows.push_back(
        {"OperatorTypesARateBeyondAnInt",
         {{33, {}}},
         "33\n99999999999999999999999\n",
         Reboot::NotReached,
         askedForThePort() + openingPort(33) + portOpened() + numberOutOfRange() + closingAfterManualEntry(),
         255,
         3,
         false,
         [](const UnitReports &units) { EXPECT_EQ(commandLog(units.at(33)), Log()); }});
    rows.push_back(
        {"InputEndsBeforeTheRate",
         {{33, {}}},
         "33\n",
         Reboot::NotReached,
         askedForThePort() + openingPort(33) + portOpened() + notANumber() + closingAfterManualEntry(),
         255,
         3,
         false,
         nullptr});
    return rows;
}

} // namespace

const std::vector<Scenario> &faultScenarios()
{
    static const std::vector<Scenario> rows = buildFaultScenarios();
    return rows;
}

} // namespace e2e
