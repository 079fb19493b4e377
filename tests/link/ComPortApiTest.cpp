#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "LinkTest.h"
#include "SerialHandle.h"

namespace {

char VERSION_QUERY[] = "%fw -v", VERSION_REPLY[] = "2.1.5 SIMUNIT 3.4 1\r\n>>";

// The device's line settings as another program finds them.
termios settingsOf(const std::string &path)
{
    termios tio{};
    const int device = open(path.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(tcgetattr(device, &tio), 0);
    close(device);
    return tio;
}

// The line settings show in what the unit gets; each command is answered before the next change.
TEST_F(LinkTest, SettingsRecordedWhileClosedTakeEffectAtTheNextOpenAndTheFoundOnesComeBackAtClose)
{
    testsupport::SimUnit unit;
    ASSERT_TRUE(unit.start()) << unit.error();
    ports.name(1, unit.slavePath());
    termios tio = settingsOf(unit.slavePath()); // the device as another program may leave it: cooked, echoing
    tio.c_lflag |= ICANON | ECHO | ISIG;
    const int device = open(unit.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcsetattr(device, TCSANOW, &tio), 0);
    close(device);
    EXPECT_FALSE(ComPortAPI_SetBaudRate(57600));
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(0));
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    sendCommand(VERSION_QUERY, 0, 1, VERSION_QUERY);
    // The line as the tool set it: raw 8-bit, no hang-up.
    EXPECT_EQ(tcgetattr(serialHandleFrom(g_hCOM)->fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CLOCAL | CREAD | HUPCL), tcflag_t(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(g_dcb.ByteSize, 8); // a pseudo-terminal is always 8-bit: what a real port is asked for
    EXPECT_TRUE(ComPortAPI_CloseCOM());
    EXPECT_EQ(settingsOf(unit.slavePath()).c_lflag & (ICANON | ECHO | ISIG), tcflag_t(ICANON | ECHO | ISIG));
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(1));
    EXPECT_FALSE(ComPortAPI_SetBaudRate(115200));
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600)); // with the port open a change applies at once
    sendCommand(VERSION_QUERY, 0, 1, VERSION_QUERY);
    nlohmann::json seen = commands(unit, 3);
    const std::pair<uint64_t, bool> expected[] = {{57600, false}, {115200, true}, {9600, true}};
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(seen[i]["rate"], expected[i].first) << i;
        EXPECT_EQ(seen[i]["crtscts"], expected[i].second) << i;
    }
}

TEST_F(LinkTest, APortThatIsNoTerminalIsRefusedAndLeftClosed)
{
    const std::string notATerminal = ports.configHome() + "/plain-file";
    ASSERT_TRUE(testsupport::writeFile(notATerminal, "x"));
    ports.name(4, notATerminal);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ComPortAPI_OpenCOM(4));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: COM4 configuration failed !");
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
}

} // namespace
