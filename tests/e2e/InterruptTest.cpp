// SIGINT, SIGTERM and SIGHUP end a run at once: status 1, a line saying what was cut short, the
// console and the port's settings back as found, the port not left claimed.
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

// The port's settings; first changed to ones that no run of the tool leaves behind.
std::string portSettings(const std::string &path, bool change)
{
    termios tio{};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    tcgetattr(fd, &tio);
    if (change) {
        tio.c_cflag |= CSTOPB | PARENB;
        tio.c_lflag |= ICANON;
        cfsetspeed(&tio, B4800);
        tcsetattr(fd, TCSANOW, &tio);
        tcgetattr(fd, &tio);
    }
    close(fd);
    return ::testing::PrintToString(std::vector<unsigned>{tio.c_iflag, tio.c_oflag, tio.c_cflag, tio.c_lflag,
                                                          (unsigned)cfgetispeed(&tio),
                                                          (unsigned)cfgetospeed(&tio)});
}

struct InterruptCase {
    const char *name;
    std::string unit; // "none": the web package writer, its part file a directory
    int signal;
    std::string when; // "key": at the key wait; "output": once the output shows `start`; else a command
    std::string start, line;
    std::string seen; // "probes": only probes
};

std::vector<InterruptCase> cases()
{
    const std::string found = announcement() + discoveryFound(1, 115200) + versionLines(1),
                      rebooting = found + completeUpdate(1, Side::TX, false);
    return {
        {"SigintDuringDiscovery", "--baud 1200", SIGINT, "probe", announcement(),
         "the update was stopped before any image was sent, the unit is unchanged.", "probes"},
        {"SigtermWhileTheUnitPreparesForAnImage", "", SIGTERM, "fpga-upload",
         found + PRODUCT_ACCEPTED + identified(Side::TX) + preparing(Stage::ProgrammableLogic),
         "the upload was cut short, the unit did not get a whole image and must be updated again !",
         e2e::TX_TO_THE_IMAGE + " | fpga:0"},
        {"SighupDuringTheRebootWait", "--banner [SIMUNIT]>> --banner-after 2500 --prompt-after 7000", SIGHUP,
         "output", rebooting.substr(0, rebooting.find("rebooting ........... ") + 22),
         "the reboot wait was cut short, the unit's return was not checked.",
         e2e::TX_TO_THE_IMAGE + ", fw-upload@115200+cts reply | fpga=3 fw=0"},
        {"SigtermAtTheWebPackageFailuresKeyWait", "none", SIGTERM, "key",
         webPackageConsole(catalogueImage(0), false), "the run had already ended.", ""},
    };
}

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
    std::string settings;
    if (c.unit != "none") {
        unit = std::make_unique<testsupport::SimUnit>(e2e::split(c.unit, " "));
        ASSERT_TRUE(unit->start()) << unit->error();
        runner.namePort(1, unit->slavePath());
        settings = portSettings(unit->slavePath(), true);
        ASSERT_EQ(chmod(unit->slavePath().c_str(), 0666), 0);
    } else {
        ASSERT_EQ(mkdir(workDir.file("FwToUpload.bin.part").c_str(), 0755), 0);
    }

    const std::string &start = c.start, line = "\r\nINTERRUPTED: " + c.line + "\r\n";
    testsupport::RunOptions options =
        runner.runOptions(unit ? e2e::Program::Update : e2e::Program::WebPackage, "", 60000, workDir.path());
    options.stdinTerminal = true;
    options.signal = c.signal;
    options.signalWhen = [&](const std::string &out, int console) {
        termios tio{};
        if (c.when == "key")
            return tcgetattr(console, &tio) == 0 && (tio.c_lflag & ECHO) == 0;
        if (c.when == "output")
            return out.find(start) == 0;
        return e2e::unitSummary(unit->report()).find(c.when) != std::string::npos;
    };
    const testsupport::RunResult run = testsupport::runProgram(options);

    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(run.signaled) << "ended by signal " << run.exitStatus;
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(visible(run.out.substr(0, start.size())), visible(start));
    ASSERT_GE(run.out.size(), start.size() + line.size());
    EXPECT_EQ(visible(run.out.substr(run.out.size() - line.size())), visible(line));
    EXPECT_EQ(run.consoleAfter.c_lflag & (ICANON | ECHO), (tcflag_t)(ICANON | ECHO))
        << "the console is left raw";
    if (unit) {
        EXPECT_EQ(portSettings(unit->slavePath(), false), settings);
        EXPECT_EQ(testsupport::openAsNobody(unit->slavePath()), 0) << "the port is still claimed";
        ASSERT_TRUE(unit->stop());
        const std::string seen = e2e::unitSummary(unit->report());
        const bool onlyProbes =
            seen.find("version") == std::string::npos && seen.find('|') == std::string::npos;
        EXPECT_TRUE(c.seen == "probes" ? onlyProbes : seen == c.seen) << seen;
    }
}

INSTANTIATE_TEST_SUITE_P(Native, Interrupt, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<InterruptCase> &info) { return info.param.name; });

} // namespace
