// The device link, in this process: the tool's serial layer, command exchange and discovery
// talking to simulated units on ports of a private ports directory; no port is left open behind
// a test.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <vector>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"
#include "SerialHandle.h"
#include "SimUnit.h"

namespace {

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : buffer_(DATA_BUFFER_SIZE, '\0')
    {
        gDataBuffer = buffer_.data();
        setenv("XDG_CONFIG_HOME", ports.configHome().c_str(), 1);
    }
    ~LinkTest() override
    {
        ComPortAPI_CloseCOM();
        gDataBuffer = nullptr;
    }

    testsupport::PortsDir ports;

private:
    std::vector<char> buffer_;
};

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

// The line as the tool sets it, and as another program finds it again after the close. What the
// rates and flow control do on the line, the end-to-end rows' unit summaries show.
TEST_F(LinkTest, TheLineIsRaw8BitWithoutHangUpWhileOpenAndAsFoundAfterTheClose)
{
    testsupport::SimUnit unit;
    ASSERT_TRUE(unit.start()) << unit.error();
    ports.name(1, unit.slavePath());
    termios tio = settingsOf(unit.slavePath()); // the device as another program may leave it: cooked, echoing
    tio.c_lflag |= ICANON | ECHO | ISIG;
    const int device = open(unit.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(tcsetattr(device, TCSANOW, &tio), 0);
    close(device);
    ComPortAPI_SetBaudRate(115200);
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
    EXPECT_EQ(tcgetattr(serialHandleFrom(g_hCOM)->fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CLOCAL | CREAD | HUPCL), tcflag_t(CS8 | CLOCAL | CREAD));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(g_dcb.ByteSize, 8); // a pseudo-terminal is always 8-bit: what a real port is asked for
    EXPECT_TRUE(ComPortAPI_CloseCOM());
    EXPECT_EQ(settingsOf(unit.slavePath()).c_lflag & (ICANON | ECHO | ISIG), tcflag_t(ICANON | ECHO | ISIG));
}

// A unit whose report cannot be replaced (a stalled disk; here a FIFO at the temporary file's
// name, whose open waits for a reader) goes on answering at once, a second command too: the tool
// gives a reply one second.
TEST_F(LinkTest, TheUnitGoesOnAnsweringWhileItsReportCannotBeWritten)
{
    testsupport::SimUnit unit;
    ASSERT_TRUE(unit.start()) << unit.error();
    ports.name(1, unit.slavePath());
    const std::string stalled = unit.reportPath() + ".tmp";
    ASSERT_EQ(mkfifo(stalled.c_str(), 0600), 0);
    ComPortAPI_SetBaudRate(115200);
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
    // A reader lets the replace through; the report then shows both exchanges.
    const int reader = open(stalled.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(unit.stop());
    close(reader);
    EXPECT_EQ(unit.report().value("commands", nlohmann::json::array()).size(), 2u);
}

// The text of the read after the reboot: a prompt begins with "[" and ends with ">>", byte for
// byte (a NUL ends nothing); a text near one is none.
TEST(UnitPrompt, BeginsWithABracketAndEndsWithTwoAngleBrackets)
{
    using namespace std::string_literals;
    for (const std::string &text : {"[SIMUNIT]>>"s, "[>>"s, "[SIMUNIT]\0>>"s}) {
        EXPECT_TRUE(isUnitPrompt(text.data(), text.size())) << text;
    }
    for (const std::string &text : {"SIMUNIT]>>"s, "[SIMUNIT]>"s, "[>"s, "[SIMUNIT]>>\r\n"s, "[SIMUNIT]>>\0"s,
                                    "[SIMUNIT]>\0>"s, ">>"s, ""s}) {
        EXPECT_FALSE(isUnitPrompt(text.data(), text.size())) << text;
    }
}

TEST_F(LinkTest, DiscoveryFailingOnTheLastPortLeavesItClosedAndItsLastRateForTheOperatorsOpen)
{
    testsupport::SimUnit idle({"--silent-to", "probe"});
    ASSERT_TRUE(idle.start()) << idle.error();
    ports.name(32, idle.slavePath());
    ComPortAPI_SetHardwareFlowControl(0); // as the caller does before discovery
    testing::internal::CaptureStdout();
    EXPECT_FALSE(detectComPortAndBaudrate());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
    EXPECT_EQ(32, gComPortNumber);
    EXPECT_EQ(1200, gBaudRate);

    // The operator's port opens next, at the rate left recorded.
    ASSERT_TRUE(ComPortAPI_OpenCOM(32));
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 0, nullptr));
    nlohmann::json seen; // twelve probes, then the version query
    testsupport::pollFor(
        [&] { return (seen = idle.report().value("commands", nlohmann::json::array())).size() > 12; }, 5000);
    EXPECT_EQ(1200u, seen[12]["rate"]);
}

} // namespace
