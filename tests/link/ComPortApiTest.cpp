#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

#include "LinkTest.h"

namespace {

using testsupport::SimUnit;

char VERSION_QUERY[] = "%fw -v", VERSION_REPLY[] = "2.1.5 SIMUNIT 3.4 1\r\n>>";

// The descriptor through which this process (the tool) holds the device at path.
int descriptorOf(const std::string &path)
{
    char target[256];
    for (int fd = 0; fd < 1024; fd++) {
        ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
        if (n > 0 && path == std::string(target, size_t(n))) {
            return fd;
        }
    }
    return -1;
}

// The line settings show in what the unit gets; each command is answered before the next change.
TEST_F(LinkTest, SettingsRecordedWhileClosedTakeEffectAtTheNextOpen)
{
    SimUnit unit(ports, 1);
    ASSERT_TRUE(unit.start()) << unit.error();
    termios tio{}; // the device as another program may leave it: cooked, echoing
    const int device = open(unit.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcgetattr(device, &tio), 0);
    tio.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(device, TCSANOW, &tio), 0);
    close(device);
    EXPECT_FALSE(ComPortAPI_SetBaudRate(57600));
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(0));
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    sendCommand(VERSION_QUERY, 0, 1, VERSION_QUERY);
    // The line as the tool set it (its close restores what it found): raw 8-bit, no hang-up.
    EXPECT_EQ(tcgetattr(descriptorOf(unit.slavePath()), &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CLOCAL | CREAD | HUPCL), tcflag_t(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(g_dcb.ByteSize, 8); // a pseudo-terminal is always 8-bit: what a real port is asked for
    EXPECT_TRUE(ComPortAPI_CloseCOM());
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(1));
    EXPECT_FALSE(ComPortAPI_SetBaudRate(115200));
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
    for (int refused : {0, -9600}) {
        EXPECT_FALSE(ComPortAPI_SetBaudRate(refused));
    }
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600)); // with the port open a change applies at once
    sendCommand(VERSION_QUERY, 0, 1, VERSION_QUERY);
    const testsupport::Json seen = commands(unit, 3);
    const std::pair<uint64_t, bool> expected[] = {{57600, false}, {115200, true}, {9600, true}};
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(seen[i]["rate"].u64(), expected[i].first) << i;
        EXPECT_EQ(seen[i]["crtscts"].boolean(), expected[i].second) << i;
    }
}

struct OpenFailure {
    const char *what;
    int portNumber;
    const char *message;
};

class OpenFailureTest : public LinkTest, public ::testing::WithParamInterface<OpenFailure> {};

// As root TIOCEXCL does not stop a second open, so a port counts as held through its
// lock: the holder takes the same flock that another instance of the tool takes.
TEST_P(OpenFailureTest, PrintsItsMessageAndLeavesNoPortOpen)
{
    SimUnit unit(ports, 1);
    ASSERT_TRUE(unit.start()) << unit.error();
    ports.name(12345678, unit.slavePath()); // a path cut to its buffer would open this port
    const std::string notATerminal = ports.path() + "/../plain-file";
    std::ofstream(notATerminal) << "x";
    ports.name(4, notATerminal);
    testsupport::HeldPort holder(unit.slavePath());
    ASSERT_TRUE(holder.ok());

    testing::internal::CaptureStdout();
    EXPECT_FALSE(ComPortAPI_OpenCOM(GetParam().portNumber));
    EXPECT_EQ(GetParam().message, testing::internal::GetCapturedStdout());
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, OpenFailureTest,
    ::testing::Values(OpenFailure{"Held", 1, "ERROR: Opening COM1 failed !"},
                      OpenFailure{"Absent", 2, "ERROR: Opening COM2 failed !"},
                      OpenFailure{"TooLong", 123456789, "ERROR: Opening COM123456789 failed !"},
                      OpenFailure{"Negative", -3, "ERROR: Opening COM-3 failed !"},
                      OpenFailure{"NotATerminal", 4, "ERROR: COM4 configuration failed !"}),
    [](const ::testing::TestParamInfo<OpenFailure> &info) { return info.param.what; });

TEST_F(LinkTest, ReadOnAPortWhoseDeviceWentAwayFails)
{
    SimUnit unit(ports, 1);
    ASSERT_TRUE(unit.start()) << unit.error();
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    unit.stop();
    char buffer[16];
    int received = -1;
    EXPECT_FALSE(ComPortAPI_ReadCOM(buffer, sizeof buffer, &received));
    EXPECT_EQ(0, received);
}

} // namespace
