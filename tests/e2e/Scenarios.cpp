#include "Scenarios.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>

#include "Transcript.h"

namespace e2e {

using nlohmann::json;
using namespace transcript;

const char FULL_UPDATE_SCENARIO[] = "TxFoundAt9600OnCom3BehindAnIdlePort";

namespace {

std::string found(int com, int rate, int deviceCode = 1, const std::string &model = "SIMUNIT")
{
    return announcement() + discoveryFound(com, rate) + versionLines(deviceCode, model);
}

// The version reply of the default unit with another device code field, as --reply takes it.
std::string versionText(const std::string &deviceCode)
{
    return "2.1.5\\x20SIMUNIT\\x203.4\\x20" + deviceCode + "\\r\\n>>";
}

const std::string AT_115200 = "probe@115200 reply, version@115200+cts reply";
const std::string TX_TO_THE_IMAGE = AT_115200 + ", identity@115200+cts reply, fpga-upload@115200+cts reply";
const std::string NOTHING_ANSWERS = "probe@115200 silent*2, probe@9600 silent*2, probe@57600 silent*2, "
                                    "probe@4800 silent*2, probe@2400 silent*2, probe@1200 silent*2";

const std::vector<Scenario> &scenarios()
{
    // 300 bytes of terminal control and binary instead of "SUCCESS": shown escaped, cut at 200.
    std::string binary = "\\x1b[2J\\x1b]0;x\\x07", shown = "\\x1B[2J\\x1B]0;x\\x07";
    for (int i = 0; i < 290; i++) {
        binary += "\\xff";
        shown += i < 190 ? "\\xFF" : "";
    }
    const Reboot NO = Reboot::NotReached;
    const int txLength = catalogueImage(3).length; // the FPGA image of a TX unit of device code 1
    const std::string asked = announcement() + DISCOVERY_FAILED;
    auto portAndRate = [&](int com, int rate) {
        return asked + openingPort(com) + PORT_OPENED + "\r\nSetting baud rate at " + std::to_string(rate) +
               "..........";
    };
    const std::string unknown = "Checking product .......... FAILED, Unknown product\r\n" + closing(false);
    const std::string noVersion = announcement() + discoveryFound(1, 115200) + unknown;
    const std::string refused = asked + NOT_A_NUMBER + PRESS_ANY_KEY;
    const std::string preparingImage =
        found(1, 115200) + PRODUCT_ACCEPTED + identified(Side::TX) + preparing(Stage::ProgrammableLogic);
    const std::string toImage =
        preparingImage + OK_LINE + "Sending Programmable Logic data ................... ";
    const std::string rebooting = found(1, 115200) + completeUpdate(1, Side::TX, false);
    auto interrupted = [](const std::string &what) { return "\r\nINTERRUPTED: " + what + "\r\n"; };
    const std::string cut = cutTransfer(txLength) + FAILED_LINE + closing(false);

    static const std::vector<Scenario> rows = {
        // COM1 present but idle, COM2 absent, the unit at 9600 on COM3.
        {FULL_UPDATE_SCENARIO, "1: --silent; 3: --role tx --baud 9600", "", Reboot::Prompt,
         found(3, 9600) + completeUpdate(1, Side::TX, true) + closing(true), 0,
         "1: " + NOTHING_ANSWERS +
             "; 3: probe@115200 garbage*2, probe@9600 reply, version@9600+cts reply, "
             "identity@9600+cts reply, fpga-upload@9600+cts reply, fw-upload@115200+cts reply"
             " | fpga=3 fw=0"},
        // A held port is passed over without a probe; an RX engineering sample that misses the
        // first probe at its rate is recognised by the fourth identity text.
        {"Rx2SampleBehindAHeldPortFoundAtTheSecondProbe",
         "1 held; 2: --role rx2 --device-code 4 --baud 9600 --probe-answer-nth 2", "", Reboot::Prompt,
         found(2, 9600, 4) + completeUpdate(4, Side::RX, true) + closing(true), 0,
         "1: ; 2: probe@115200 garbage*2, probe@9600 silent, probe@9600 reply, version@9600+cts reply, "
         "identity@9600+cts reply*4, fpga-upload@9600+cts reply, fw-upload@115200+cts reply | fpga=2 fw=0"},
        // COM1 never falls silent: each probe ends at its bound. COM2 stops reading for 2.5 s in
        // mid-image: the write waits for it.
        {"StallInMidImageThenNoPromptAfterTheReboot", "1: --chatter; 2: --stall fpga:200000,2500", "",
         Reboot::NoPrompt, found(2, 115200) + completeUpdate(1, Side::TX, false) + closing(true), 2,
         "1: ; 2: " + TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0"},
        // "%d" would make 1 of 4294967297.
        {"DeviceCode4294967297", "1: --device-code 4294967297", "", NO, noVersion, 1, "1: " + AT_115200},
        // Cut after seven characters, the rest of this word would read as the FPGA fields, the
        // FPGA version as the device code.
        {"ModelWordTooLong", "1: --model SIMUNIT3.4 --fpga-version 1", "", NO, noVersion, 1, ""},
        // Each identity reply six times the reply buffer: read to its end and refused.
        {"IdentityReplyOfSixMegabytes", "1: --huge-reply identity=6000000", "", NO,
         found(1, 115200) + PRODUCT_ACCEPTED + FAILED_LINE + closing(false), 1,
         "1: " + AT_115200 + ", identity@115200+cts reply*4"},
        // A second-generation TX unit, known by the second identity text, floods instead of "Ready".
        // The reply is compared whole: "Ready" and a line end is another reply.
        {"ReadyFollowedByALineEnd", "1: --reply fpga-upload=Ready\\r\\n", "", NO,
         preparingImage + "FAILED [Unit not ready]\r\n" + closing(false), 1,
         "1: " + TX_TO_THE_IMAGE + " | fpga:0"},
        // The version reply pauses right after "4": the device code is 42, not the sample's 4.
        {"DeviceCodeGoesOnAfterAPause", "1: --device-code 42 --split-reply version:19,1100", "", NO,
         found(1, 115200, 42) + unknown, 1, "1: " + AT_115200},
        // A device code is a whole number: followed by a blank, ">>" or the end, never by more.
        {"DeviceCodeWithLettersAfterIt", "1: --reply version=" + versionText("4abc"), "", NO, noVersion, 1,
         ""},
        {"DeviceCodeWithADecimalPart", "1: --reply version=" + versionText("4.0"), "", NO, noVersion, 1, ""},
        {"DeviceCodeWithAnExponent", "1: --reply version=" + versionText("1e9"), "", NO, noVersion, 1, ""},
        {"DeviceCodeFollowedByANul", "1: --reply version=" + versionText("1\\x00"), "", NO, noVersion, 1, ""},
        // A NUL is a character of the model word; its bytes are shown, never sent to the terminal.
        {"ModelWordOfControlBytes",
         "1: --reply version=2.1.5\\x20\\x1b[J\\xff\\xfe\\x9b\\x00\\x203.4\\x202>>", "", NO,
         found(1, 115200, 2, "\\x1B[J\\xFF\\xFE\\x9B\\x00") + unknown, 1, ""},
        // Replies are compared whole, NUL bytes and what follows them included.
        {"ReadyThenANulAndBusy", "1: --reply fpga-upload=Ready\\x00BUSY", "", NO,
         preparingImage + "FAILED [Unit not ready]\r\n" + closing(false), 1,
         "1: " + TX_TO_THE_IMAGE + " | fpga:0"},
        {"IdentityThenANul", "1: --reply identity=Norvex\\x206G\\x20SDI\\x20EXTENDER\\x20TX\\r\\n>>\\x00", "",
         NO, found(1, 115200) + PRODUCT_ACCEPTED + FAILED_LINE + closing(false), 1,
         "1: " + AT_115200 + ", identity@115200+cts reply*4"},
        {"SuccessThenANulAndChecksumError", "1: --reply fpga-image=SUCCESS\\x00CHECKSUM\\x20ERROR", "", NO,
         toImage + percentages(txLength) +
             "\r\nExpected : SUCCESS  received : SUCCESS\\x00CHECKSUM ERROR\r\n\r\nError: Expected response "
             "did  not matched !\r\n" +
             FAILED_LINE + closing(false),
         1, "1: " + TX_TO_THE_IMAGE + " | fpga=3"},
        // The command's write gives up at its deadline with nothing taken: it was not sent.
        {"UnitStopsTakingBytesBeforeTheUploadCommand", "1: --stop-taking-after identity", "", NO,
         preparingImage + "\r\nError occurred when sending data !\r\nFAILED [Unit not ready]\r\n" +
             closing(false),
         1, "1: " + AT_115200 + ", identity@115200+cts reply"},
        // The pieces of one read make one text, judged by its bytes: a NUL in it hides nothing.
        {"PromptInPiecesWithinTheRead", "1:", "", Reboot::PromptInPieces,
         found(1, 115200) + completeUpdate(1, Side::TX, true) + closing(true), 0,
         "1: " + TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0"},
        {"FloodInsteadOfReady", "1: --role tx2 --huge-reply fpga-upload=2000000", "", NO,
         preparingImage + "FAILED [Unit not ready]\r\n" + closing(false), 1,
         "1: " + AT_115200 + ", identity@115200+cts reply*2, fpga-upload@115200+cts reply | fpga:0"},
        {"ImageReplyLongAndBinary", "1: --reply fpga-image=" + binary, "", NO,
         toImage + percentages(txLength) + "\r\nExpected : SUCCESS  received : " + shown +
             "... (300 bytes)\r\n\r\nError: Expected response did  not matched !\r\n" + FAILED_LINE +
             closing(false),
         1, "1: " + TX_TO_THE_IMAGE + " | fpga=3"},
        {"UnitDisappearsInMidImage", "1: --disconnect fpga:60000", "", NO, toImage + cut, 1,
         "1: " + TX_TO_THE_IMAGE + " | fpga:60000"},
        // The write under way gives up at its deadline (about 30 s).
        {"UnitStopsTakingBytesForEver", "1: --stall fpga:100000,forever", "", NO, toImage + cut, 1,
         "1: " + TX_TO_THE_IMAGE + " | fpga:100000"},
        {"StandInBuildRefusesAnotherModel", "1: --model NX6G", "", NO,
         found(1, 115200, 1, "NX6G") + PRODUCT_ACCEPTED + identified(Side::TX) +
             "\r\nERROR: This build carries stand-in images: it only updates the simulated unit (model "
             "SIMUNIT) !\r\n" +
             closing(false),
         1, "1: " + AT_115200 + ", identity@115200+cts reply", true},
        // Replies pause after 20 bytes: the probe's 500 ms reads bridge 700 ms, not 1300 ms; the
        // version's one read of 1 s takes both pieces.
        {"RepliesPausedFor700ms", "1: --split-reply 20,700 --device-code 2", "", NO,
         found(1, 115200, 2) + unknown, 1, "1: " + AT_115200},
        {"RepliesPausedFor1300ms", "1: --split-reply 20,1300", "x\n", NO, refused, 255,
         "1: probe@115200 reply*2, probe@9600 garbage*2, probe@57600 garbage*2, probe@4800 garbage*2, "
         "probe@2400 garbage*2, probe@1200 garbage*2"},
        // Discovery closes every port it tried: the operator can choose the one it probed.
        {"OperatorChoosesThePortDiscoveryProbed", "1: --silent", "1\n115200\n", NO,
         portAndRate(1, 115200) + OK_LINE + unknown, 1,
         "1: " + NOTHING_ANSWERS + ", version@115200+cts silent"},
        // COM33 lies beyond discovery. Spaces, empty lines, leading zeros and a console's CR are
        // passed over.
        {"ManualEntryWithSpacesAndEmptyLines", "33: --baud 9600 --device-code 2", "\n 0033 \n\n\t9600\r\n",
         NO, portAndRate(33, 9600) + OK_LINE + versionLines(2) + unknown, 1, "33: version@9600+cts reply"},
        {"ManualEntryOfAnAbsentPort", "", "7\n9600\n", NO,
         asked + openingPort(7) + openFailed(7) + PRESS_ANY_KEY, 255, ""},
        {"ManualEntryOfARateOf0", "33:", "33\n0\n", NO, portAndRate(33, 0) + PRESS_ANY_KEY, 255, "33: "},
        // A number followed by anything else is refused, never cut to the number before it.
        {"PortTypedWithLettersAfterIt", "33:", "33abc\n9600\n", NO, refused, 255, "33: "},
        // A line longer than the answer's room is refused whole: cut, it would be empty (and the
        // rate the port), 0 or 3.
        {"BlanksBeforeThePortBeyondTheRoom", "", std::string(70, ' ') + "3\n9600\n", NO, refused, 255, ""},
        {"ZerosBeforeThePortBeyondTheRoom", "33:", std::string(65, '0') + "33\n9600\n", NO, refused, 255,
         "33: "},
        {"LettersAfterThePortBeyondTheRoom", "", "3" + std::string(70, ' ') + "x\n9600\n", NO, refused, 255,
         ""},
        // A device that opens but is no serial port refuses the port's settings.
        {"ManualEntryOfADeviceThatIsNoSerialPort", "33 /dev/null", "33\n", NO,
         asked + openingPort(33) + "ERROR: COM33 configuration failed !" + PRESS_ANY_KEY, 255, ""},
        // Nine digits do not fit the device path: refused, never cut to COM12345678.
        {"PortTooLongForTheDevicePath", "12345678:", "123456789\n9600\n", NO,
         asked + openingPort(123456789) + openFailed(123456789) + PRESS_ANY_KEY, 255, "12345678: "},
        // 2^32 + 33 would come out of "%d" as 33, the unit's port.
        {"PortBeyondAnInt", "33:", "4294967329\n9600\n", NO,
         asked + "\r\nERROR: The number is out of range !" + PRESS_ANY_KEY, 255, "33: "},
        {"InputEndsBeforeTheRate", "33:", "33\n", NO,
         asked + openingPort(33) + PORT_OPENED + NOT_A_NUMBER + PRESS_ANY_KEY, 255, "33: "},
        // A signal ends the run at once with a line for the step it cut short.
        {"SigintDuringDiscovery", "1: --baud 1200", "", NO,
         announcement() +
             interrupted("the update was stopped before any image was sent, the unit is unchanged."),
         1, "", false, SIGINT, "probe"},
        {"SigtermWhileTheUnitPreparesForAnImage", "1: --silent-to fpga-upload", "", NO,
         preparingImage +
             interrupted(
                 "the upload was cut short, the unit did not get a whole image and must be updated again !"),
         1, "1: " + AT_115200 + ", identity@115200+cts reply, fpga-upload@115200+cts silent | fpga:0", false,
         SIGTERM, "fpga-upload"},
        {"SighupDuringTheRebootWait", "1:", "", Reboot::NoPrompt,
         rebooting.substr(0, rebooting.rfind("\b\b\b\b100%")) +
             interrupted("the reboot wait was cut short, the unit's return was not checked."),
         1, "1: " + TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0", false, SIGHUP},
        {"SigquitDuringDiscovery", "1: --baud 1200", "", NO,
         announcement() +
             interrupted("the update was stopped before any image was sent, the unit is unchanged."),
         1, "", false, SIGQUIT, "probe"},
        // At the closing key wait the run keeps the status it already had.
        {"SigtermAtTheClosingKeyWait", "", "7\n", NO,
         asked + openingPort(7) + openFailed(7) + PRESS_ANY_KEY + interrupted("the run had already ended."),
         255, "", false, SIGTERM, "key"},
        {"SigintAtTheKeyWaitAfterAnUnrecognisedPrompt", "1:", "", Reboot::NoPrompt,
         rebooting + closing(true) + interrupted("the run had already ended."), 2,
         "1: " + TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0", false, SIGINT, "key"},
        // A key typed before the closing message does not answer it: the run waits for a new one.
        {"KeyTypedAheadOfTheClosingKeyWait", "", "7\nx", NO,
         asked + openingPort(7) + openFailed(7) + PRESS_ANY_KEY, 255, "", false, 0, "key"},
        // A reader that goes away in mid-image loses the text, not the update.
        {"OutputClosedInMidImage", "1:", "", Reboot::Prompt,
         found(1, 115200) + completeUpdate(1, Side::TX, true) + closing(true), 0,
         "1: " + TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0", false, 0, "",
         toImage.size() + 40},
    };
    return rows;
}

std::string imageState(const json &image)
{
    for (int index = 0; index < 5; index++) {
        const ImageFacts &facts = catalogueImage(index);
        if (image.value("fnv1a64", "") == facts.fnv1a64 && image.value("rate", 0) == 115200 &&
            image.value("crtscts", false) && image.value("verdict", "") == "ok") {
            return "=" + std::to_string(index);
        }
    }
    return ":" + std::to_string(image.value("bytes_received", 0));
}

} // namespace

std::vector<std::string> rebootOptions(Reboot reboot, bool realRebootWait)
{
    // The test build spends no reboot wait: its first read for the prompt ends 2 to 3 s after
    // "SUCCESS", its second 4.75 to 5.75 s after.
    const std::string early = realRebootWait ? "5000" : "2500", late = realRebootWait ? "145000" : "4000";
    switch (reboot) {
    case Reboot::Prompt: return {"--banner", "boot\\r\\n", "--banner-after", early, "--prompt-after", late};
    case Reboot::NoPrompt:
        return {"--banner", "[SIMUNIT]>>", "--banner-after", early,
                "--prompt", "SIMUNIT>>",   "--prompt-after", late};
    case Reboot::PromptInPieces:
        return {"--banner", "[SIMUNIT", "--banner-after", realRebootWait ? "144400" : "3400",
                "--prompt", "]\\x00>>", "--prompt-after", late};
    default: return {};
    }
}

namespace {

// The port's settings; first changed to ones that no run of the tool leaves behind.
termios portSettings(const std::string &path, bool change)
{
    termios tio{};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (change && tcgetattr(fd, &tio) == 0) {
        tio.c_cflag |= CSTOPB | PARENB;
        tio.c_lflag |= ICANON;
        cfsetspeed(&tio, B4800);
        tcsetattr(fd, TCSANOW, &tio);
    }
    tcgetattr(fd, &tio);
    close(fd);
    return tio;
}

// Byte for byte, or (lineOnly) the control flags: the rate, the character format and the flow
// control, all that a Windows program's line settings hold.
std::string shown(const termios &tio, bool lineOnly)
{
    return lineOnly ? std::to_string(tio.c_cflag) : std::string((const char *)&tio, sizeof tio);
}

} // namespace

std::vector<std::string> split(const std::string &text, const std::string &separator)
{
    std::vector<std::string> parts;
    for (size_t at = 0, end; at < text.size(); at = end + separator.size()) {
        end = std::min(text.find(separator, at), text.size());
        parts.push_back(text.substr(at, end - at));
    }
    return parts;
}

namespace {

// The console is in key-at-a-time mode: the program waits at its key wait.
bool waitsForAKey(int console)
{
    termios tio{};
    return tcgetattr(console, &tio) == 0 && (tio.c_lflag & ECHO) == 0;
}

// What the test build's Sleep records on standard error: the reboot wait's 46 steps.
std::string sleepCalls(bool rebootWaitRan)
{
    std::string calls;
    for (int i = 0; rebootWaitRan && i < 46; i++) {
        calls += "Sleep 3000\n";
    }
    return calls;
}

} // namespace

std::string unitSummary(const json &report)
{
    std::vector<std::string> commands;
    for (const json &command : report.value("commands", json::array())) {
        commands.push_back(command.value("kind", "") + "@" + std::to_string(command.value("rate", 0)) +
                           (command.value("crtscts", false) ? "+cts " : " ") + command.value("answer", ""));
    }
    std::string text;
    for (size_t i = 0, n = 1; i < commands.size(); i += n) {
        for (n = 1; i + n < commands.size() && commands[i + n] == commands[i];) {
            n++;
        }
        text += (i == 0 ? "" : ", ") + commands[i] + (n > 1 ? "*" + std::to_string(n) : "");
    }
    std::string images;
    for (const json &image : report.value("images", json::array())) {
        images += " " + image.value("stage", "") + imageState(image);
    }
    return images.empty() ? text : text + " |" + images;
}

testsupport::RunOptions NativeToolRunner::runOptions(Program program, const std::string &typed, int timeoutMs,
                                                     const std::string &workDir,
                                                     const std::vector<std::string> &args) const
{
    testsupport::RunOptions options;
    options.argv = {program == Program::WebPackage ? LUMIVANE_WEB_PACKAGE_PATH
                    : program == Program::Site     ? LUMIVANE_SITE_FASTWAIT_PATH
                    : realRebootWait_              ? LUMIVANE_UPDATE_PATH
                                                   : LUMIVANE_UPDATE_FASTWAIT_PATH};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.stdinText = typed;
    options.timeoutMs = timeoutMs;
    options.env = {ports_.env()};
    options.workDir = workDir;
    return options;
}

const Scenario &scenario(const std::string &name)
{
    for (const Scenario &row : scenarios()) {
        if (row.name == name) {
            return row;
        }
    }
    throw std::invalid_argument("no scenario " + name);
}

std::vector<std::string> scenarioNames(bool reachingTheReboot)
{
    std::vector<std::string> names;
    for (const Scenario &row : scenarios()) {
        if ((row.reboot != Reboot::NotReached) == reachingTheReboot) {
            names.push_back(row.name);
        }
    }
    return names;
}

void runScenario(ToolRunner &runner, const Scenario &row)
{
    if (row.standInOnly && !standInBuild()) {
        GTEST_SKIP() << "only a stand-in build refuses other units";
    }
    const bool onConsole = row.signal != 0 || !row.signalAfter.empty();
    const bool waits = row.reboot != Reboot::NotReached;
    std::map<int, std::unique_ptr<testsupport::SimUnit>> units;
    std::map<int, termios> settings;
    std::vector<std::unique_ptr<testsupport::HeldPort>> heldPorts;
    const std::vector<std::string> reboot = rebootOptions(row.reboot, runner.realRebootWait());
    for (const std::string &unit : split(row.units, "; ")) {
        if (unit.find(" /") != std::string::npos) {
            runner.namePort(std::stoi(unit), unit.substr(unit.find('/')));
            continue;
        }
        const size_t colon = unit.find(':');
        std::vector<std::string> options =
            split(colon == std::string::npos ? "" : unit.substr(colon + 1), " ");
        options.insert(options.end(), reboot.begin(), reboot.end());
        options.erase(std::remove(options.begin(), options.end(), ""), options.end());
        const int port = std::stoi(unit);
        auto &sim = units[port] = std::make_unique<testsupport::SimUnit>(options);
        ASSERT_TRUE(sim->start()) << sim->error();
        runner.namePort(port, sim->slavePath());
        if (unit.find(" held") != std::string::npos) {
            heldPorts.push_back(std::make_unique<testsupport::HeldPort>(sim->slavePath()));
            ASSERT_TRUE(heldPorts.back()->ok()) << unit;
        } else if (onConsole || row.closeOutputAfter > 0) {
            settings[port] = portSettings(sim->slavePath(), true);
            ASSERT_EQ(chmod(sim->slavePath().c_str(), 0666), 0);
        }
    }
    const int seconds = 150 + (waits && runner.realRebootWait() ? 170 : 0);
    testsupport::RunResult run;
    if (row.closeOutputAfter > 0) {
        testsupport::RunOptions options = runner.runOptions(Program::Update, row.typed, seconds * 1000);
        // The status is the program's own; a reader that failed says so on standard error (with
        // pipefail its status would stand in for the program's).
        options.argv = {
            "/bin/bash", "-c",
            "\"$0\" | head -c " + std::to_string(row.closeOutputAfter) +
                "; set -- \"${PIPESTATUS[@]}\"; [ \"$2\" = 0 ] || echo \"head: status $2\" >&2; exit \"$1\"",
            options.argv[0]};
        run = testsupport::runProgram(options);
    } else if (!onConsole) {
        run = runner.run(Program::Update, row.typed, seconds * 1000);
    } else {
        testsupport::RunOptions options = runner.runOptions(Program::Update, row.typed, seconds * 1000);
        // A terminal that Wine reads starts raw, and must end so.
        const tcflag_t found = options.rawTerminal ? 0 : ICANON | ECHO;
        const std::string before = row.transcript.substr(0, row.transcript.rfind("\r\nINTERRUPTED: "));
        options.stdinTerminal = true;
        options.signal = row.signal;
        options.keysWhen = "k";
        options.signalWhen = [&](const std::string &out, int console) {
            if (row.signalAfter == "key") {
                return out == before && waitsForAKey(console);
            }
            const std::string seen = units.empty() ? "" : unitSummary(units.begin()->second->report());
            return out == before && seen.find(row.signalAfter) != std::string::npos;
        };
        run = testsupport::runProgram(options);
        EXPECT_EQ(run.consoleAfter.c_lflag & (ICANON | ECHO), found) << "the console's settings changed";
        EXPECT_TRUE(run.whenHeld) << "ended before it was interrupted or asked for a key";
    }
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "still running after " << seconds << " s";
    EXPECT_FALSE(run.signaled) << "ended by signal " << run.exitStatus;
    const std::string expected =
        row.closeOutputAfter > 0 ? row.transcript.substr(0, row.closeOutputAfter) : row.transcript;
    EXPECT_EQ(run.out, resolveCutTransfers(expected, run.out));
    EXPECT_EQ(run.exitStatus, row.exitStatus);
    EXPECT_EQ(run.err, sleepCalls(waits && !runner.realRebootWait()));
    std::map<int, std::string> seen;
    for (const auto &[port, unit] : units) {
        if (settings.count(port)) {
            const bool lineOnly = !runner.restoresTerminalFlags();
            EXPECT_EQ(shown(portSettings(unit->slavePath(), false), lineOnly),
                      shown(settings[port], lineOnly))
                << "COM" << port;
            EXPECT_EQ(testsupport::openAsNobody(unit->slavePath()), 0)
                << "COM" << port << " is still claimed";
        }
        EXPECT_TRUE(unit->stop()) << "unit on COM" << port << " did not end cleanly";
        seen[port] = std::to_string(port) + ": " + unitSummary(unit->report());
    }
    for (const std::string &expected : split(row.seen, "; ")) {
        EXPECT_EQ(seen[std::stoi(expected)], expected);
    }
}

void runWithPlantedPart(ToolRunner &runner, const std::string &kind)
{
    testsupport::TempDir dir;
    const std::string part = dir.file("FwToUpload.bin.part"), victim = dir.file("victim"),
                      package = dir.file("FwToUpload.bin");
    // An older package, longer than the new one: replaced whole, or left as it was by a failed run.
    const std::string older(1 << 20, 'x');
    ASSERT_TRUE(testsupport::writeFile(victim, "victim") && testsupport::writeFile(package, older));
    const int planted = kind == "LinkToAVictim" ? symlink(victim.c_str(), part.c_str())
                        : kind == "Fifo"        ? mkfifo(part.c_str(), 0666)
                        : kind == "Directory"   ? mkdir(part.c_str(), 0755)
                                                : 0;
    ASSERT_EQ(planted, 0) << kind;

    const bool written = kind != "Directory" && kind != "SigintBeforeTheRename";
    const ImageFacts &image = catalogueImage(0);
    std::string console = webPackageConsole(image, kind != "Directory");
    testsupport::RunOptions options = runner.runOptions(Program::WebPackage, "", 60000, dir.path());
    if (kind == "SigtermAtTheKeyWait") {
        options.stdinTerminal = true;
        options.signal = SIGTERM;
        options.signalWhen = [before = console](const std::string &out, int terminal) {
            return out == before && waitsForAKey(terminal);
        };
        console += "\r\nINTERRUPTED: the run had already ended.\r\n";
    } else if (kind == "SigintBeforeTheRename") {
        // The program interrupts itself once the part file is whole, just before it renames it.
        // A sanitizer's runtime would otherwise refuse a library loaded before it.
        const char *asan = getenv("ASAN_OPTIONS");
        options.env.push_back({"LD_PRELOAD", LUMIVANE_INTERRUPT_AT_RENAME_PATH});
        options.env.push_back(
            {"ASAN_OPTIONS", (asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0"});
        console = console.substr(0, console.size() - PRESS_ANY_KEY.size()) +
                  "\r\nINTERRUPTED: the package was not written, FwToUpload.bin is unchanged.\r\n";
    }
    const testsupport::RunResult run = testsupport::runProgram(options);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.out, console);
    EXPECT_EQ(run.exitStatus, written ? 0 : 1);
    EXPECT_EQ(testsupport::readFile(victim), "victim");
    struct stat st;
    EXPECT_TRUE(lstat(package.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    const std::string expected = written ? webPackage(image) : older, got = testsupport::readFile(package);
    EXPECT_TRUE(got == expected)
        << "the package differs: " << got.size() << " bytes, " << expected.size() << " expected, from byte "
        << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
    EXPECT_EQ(lstat(part.c_str(), &st) == 0, kind == "Directory")
        << "the part file stays only when it is a directory";
}

} // namespace e2e
