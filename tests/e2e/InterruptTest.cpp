// SIGINT, SIGTERM and SIGHUP end a run at once and cleanly: status 1, one line saying what was
// cut short, the operator's console and the unit's port back as they were found (line settings,
// and an exclusive claim that would keep anyone but root out), and the unit's report showing
// what it got. A normal end gives the port back the same way.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

#include "Scenarios.h"
#include "Transcript.h"

namespace {

using namespace transcript;
using testsupport::Json;

// Settings that no run of the tool leaves behind: the port must get exactly these back.
termios setFoundSettings(const std::string &path)
{
    termios tio{};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    tcgetattr(fd, &tio);
    tio.c_cflag |= CSTOPB | PARENB;
    tio.c_lflag |= ICANON;
    cfsetspeed(&tio, B4800);
    tcsetattr(fd, TCSANOW, &tio);
    tcgetattr(fd, &tio);
    close(fd);
    return tio;
}

std::string describe(const termios &tio)
{
    char text[96];
    snprintf(text, sizeof text, "iflag %x oflag %x cflag %x lflag %x speed %u/%u", tio.c_iflag, tio.c_oflag,
             tio.c_cflag, tio.c_lflag, (unsigned)cfgetispeed(&tio), (unsigned)cfgetospeed(&tio));
    return text;
}

std::string settingsOf(const std::string &path)
{
    termios tio{};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    tcgetattr(fd, &tio);
    close(fd);
    return describe(tio);
}

bool waitingForAKey(int console)
{
    termios tio{};
    return tcgetattr(console, &tio) == 0 && (tio.c_lflag & ECHO) == 0;
}

struct InterruptCase {
    const char *name;
    e2e::Program program;
    std::vector<std::string> unit; // the unit on COM1 (its options); {} with the web package: none
    int signal;
    std::function<bool(const std::string &out, int console, const Json &report)> when;
    std::string (*transcriptStart)(); // what comes before the interrupt's line
    CutShort cutShort;
    std::function<void(const Json &report)> checkUnit;
};

std::string foundOnCom1(int deviceCode)
{
    return announcement() + discoveryFound(1, 115200) + versionLines(deviceCode);
}

std::string upToThePreparingLabel()
{
    return foundOnCom1(1) + productAccepted(1) + identified(Side::TX) + preparing(Stage::ProgrammableLogic);
}

bool received(const Json &report, const std::string &kind)
{
    for (const Json &command : report["commands"].items()) {
        if (command["kind"].str() == kind)
            return true;
    }
    return false;
}

std::string upToTheRebootCounter()
{
    const std::string whole = foundOnCom1(1) + completeUpdate(1, Side::TX, false);
    const std::string label = "rebooting ........... ";
    return whole.substr(0, whole.find(label) + label.size());
}

std::string failedUpdateAtItsKeyWait()
{
    return foundOnCom1(2) + PRODUCT_UNKNOWN + closing(false);
}
std::string failedPackageAtItsKeyWait()
{
    return webPackageConsole(catalogueImage(0), false);
}

const InterruptCase CASES[] = {
    {"SigintDuringDiscovery",
     e2e::Program::Update,
     {"--baud", "1200"},
     SIGINT,
     [](const std::string &, int, const Json &report) { return received(report, "probe"); },
     announcement,
     CutShort::BeforeUpload,
     [](const Json &report) { EXPECT_EQ(e2e::unitSummary(report).find("version"), std::string::npos); }},
    // The unit is told an image comes: from then on, a stop leaves it without a whole one.
    {"SigtermWhileTheUnitPreparesForAnImage",
     e2e::Program::Update,
     {},
     SIGTERM,
     [](const std::string &, int, const Json &report) { return received(report, "fpga-upload"); },
     upToThePreparingLabel,
     CutShort::Upload,
     [](const Json &report) {
         EXPECT_EQ(e2e::unitSummary(report),
                   "probe@115200 reply, version@115200+cts reply, identity@115200+cts reply, "
                   "fpga-upload@115200+cts reply | fpga:0");
     }},
    {"SighupDuringTheRebootWait", e2e::Program::Update, e2e::rebootOptions(e2e::Reboot::NoPrompt, false),
     SIGHUP, [](const std::string &out, int, const Json &) { return out.find(upToTheRebootCounter()) == 0; },
     upToTheRebootCounter, CutShort::RebootWait,
     [](const Json &report) {
         EXPECT_NE(e2e::unitSummary(report).find("| fpga=3 fw=0"), std::string::npos);
     }},
    {"SigintAtTheKeyWait",
     e2e::Program::Update,
     {"--device-code", "2"},
     SIGINT,
     [](const std::string &, int console, const Json &) { return waitingForAKey(console); },
     failedUpdateAtItsKeyWait,
     CutShort::EndedRun,
     [](const Json &report) {
         EXPECT_EQ(e2e::unitSummary(report), "probe@115200 reply, version@115200+cts reply");
     }},
    // A directory in the part file's way: the writer fails, and its failure waits for a key too.
    {"SigtermAtTheWebPackageFailuresKeyWait",
     e2e::Program::WebPackage,
     {},
     SIGTERM,
     [](const std::string &, int console, const Json &) { return waitingForAKey(console); },
     failedPackageAtItsKeyWait,
     CutShort::EndedRun,
     nullptr},
};

void PrintTo(const InterruptCase &c, std::ostream *os)
{
    *os << c.name;
}

class Interrupt : public ::testing::TestWithParam<InterruptCase> {};

TEST_P(Interrupt, EndsTheRunWithItsLineAndGivesBackConsoleAndPort)
{
    const InterruptCase &c = GetParam();
    e2e::NativeToolRunner runner(false);
    testsupport::TempDir workDir;
    std::unique_ptr<testsupport::SimUnit> unit;
    std::string found;
    if (c.program == e2e::Program::Update) {
        unit = std::make_unique<testsupport::SimUnit>(c.unit);
        ASSERT_TRUE(unit->start()) << unit->error();
        runner.namePort(1, unit->slavePath());
        found = describe(setFoundSettings(unit->slavePath()));
        // Anyone may use the line: only an exclusive claim left behind could keep `nobody` out.
        ASSERT_EQ(chmod(unit->slavePath().c_str(), 0666), 0);
    } else {
        ASSERT_EQ(mkdir(workDir.file("FwToUpload.bin.part").c_str(), 0755), 0);
    }

    testsupport::RunOptions options = runner.runOptions(c.program, "", 60000, workDir.path());
    options.stdinTerminal = true;
    options.signal = c.signal;
    options.signalWhen = [&](const std::string &out, int console) {
        return c.when(out, console, unit ? unit->report() : Json());
    };
    const testsupport::RunResult run = testsupport::runProgram(options);

    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(run.signaled) << "ended by signal " << run.exitStatus;
    EXPECT_EQ(run.exitStatus, 1);
    const std::string start = c.transcriptStart(), line = interrupted(c.cutShort);
    EXPECT_EQ(visible(run.out.substr(0, start.size())), visible(start));
    ASSERT_GE(run.out.size(), start.size() + line.size());
    EXPECT_EQ(visible(run.out.substr(run.out.size() - line.size())), visible(line));
    EXPECT_EQ(run.consoleAfter.c_lflag & (ICANON | ECHO), (tcflag_t)(ICANON | ECHO))
        << "the console is left raw";
    if (unit) {
        EXPECT_EQ(settingsOf(unit->slavePath()), found);
        EXPECT_EQ(testsupport::openAsNobody(unit->slavePath()), 0) << "the port is still claimed";
        ASSERT_TRUE(unit->stop());
        c.checkUnit(unit->report());
    }
}

INSTANTIATE_TEST_SUITE_P(Native, Interrupt, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<InterruptCase> &info) { return info.param.name; });

} // namespace
