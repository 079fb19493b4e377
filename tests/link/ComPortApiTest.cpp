#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

#include "LinkTest.h"

namespace {

class ComPortApiTest : public LinkTest {};

TEST_F(ComPortApiTest, SettingsRecordedWhileClosedTakeEffectAtTheNextOpen)
{
    Pty pty;
    ports.name(1, pty.slavePath());

    EXPECT_FALSE(ComPortAPI_SetBaudRate(57600));
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(0));
    EXPECT_FALSE(ComPortAPI_SetReadingTimeoutInMs(1000));

    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_EQ(57600, pty.baudRate());
    EXPECT_FALSE(pty.ctsFlowControl());
    termios tio;
    ASSERT_EQ(0, tcgetattr(pty.master(), &tio));
    EXPECT_EQ(0u, tio.c_lflag & (ICANON | ECHO));
    EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD), tio.c_cflag & (CLOCAL | CREAD | HUPCL));
    char byte;
    int received = -1;
    BOOL ok = FALSE;
    long long ms = elapsedMs([&] { ok = ComPortAPI_ReadCOM(&byte, 1, &received); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(0, received);
    // Not the default 500 ms, nor a second time-out behind the first.
    EXPECT_GE(ms, 1000);
    EXPECT_LT(ms, 1900);

    EXPECT_TRUE(ComPortAPI_CloseCOM());
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(1));
    EXPECT_FALSE(ComPortAPI_SetBaudRate(115200));
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_EQ(115200, pty.baudRate());
    EXPECT_TRUE(pty.ctsFlowControl());

    // With the port open a change applies at once.
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600));
    EXPECT_EQ(9600, pty.baudRate());
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600));
}

TEST_F(ComPortApiTest, BaudRatesOutsideTheStandardOnesAreTakenAndNoneBelowOne)
{
    Pty pty;
    ports.name(1, pty.slavePath());
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    EXPECT_TRUE(ComPortAPI_SetBaudRate(250000));
    for (int refused : {0, -9600}) {
        EXPECT_FALSE(ComPortAPI_SetBaudRate(refused));
        EXPECT_EQ(250000u, g_dcb.BaudRate);
    }
    EXPECT_TRUE(ComPortAPI_SetBaudRate(4800));
    EXPECT_EQ(4800, pty.baudRate());
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
    Pty pty;
    Pty decoy;
    ports.name(1, pty.slavePath());
    // A path cut to its buffer would open this port instead of failing.
    ports.name(12345678, decoy.slavePath());
    std::string notATerminal = ports.path() + "/../plain-file";
    std::ofstream(notATerminal) << "x";
    ports.name(4, notATerminal);
    testsupport::HeldPort holder(pty.slavePath());
    ASSERT_TRUE(holder.ok());

    testing::internal::CaptureStdout();
    EXPECT_FALSE(ComPortAPI_OpenCOM(GetParam().portNumber));
    EXPECT_EQ(GetParam().message, testing::internal::GetCapturedStdout());
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, OpenFailureTest,
    ::testing::Values(OpenFailure{"held", 1, "ERROR: Opening COM1 failed !"},
                      OpenFailure{"absent", 2, "ERROR: Opening COM2 failed !"},
                      OpenFailure{"number too long for the path", 123456789,
                                  "ERROR: Opening COM123456789 failed !"},
                      OpenFailure{"negative", -3, "ERROR: Opening COM-3 failed !"},
                      OpenFailure{"not a terminal", 4, "ERROR: COM4 configuration failed !"}),
    [](const ::testing::TestParamInfo<OpenFailure> &info) {
        std::string name = info.param.what;
        for (char &c : name) {
            c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST_F(ComPortApiTest, ReadOnAPortWhoseDeviceWentAwayFailsAtOnce)
{
    Pty pty;
    ports.name(1, pty.slavePath());
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    pty.unplug();
    char buffer[16];
    int received = -1;
    BOOL ok = TRUE;
    long long ms = elapsedMs([&] { ok = ComPortAPI_ReadCOM(buffer, sizeof buffer, &received); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(0, received);
    EXPECT_LT(ms, MAX_WAIT_READ);
}

TEST(ConsoleHelpers, ItoaWritesBaseTenWithSignAndOtherBasesUnsigned)
{
    char text[40];
    EXPECT_STREQ("0", _itoa(0, text, 10));
    EXPECT_STREQ("-2147483648", _itoa(-2147483647 - 1, text, 10));
    EXPECT_STREQ("ff", _itoa(255, text, 16));
    EXPECT_STREQ("ffffffff", _itoa(-1, text, 16));
}

TEST(ConsoleHelpers, GetchTakesOneByteFromAPipeAndReturnsAtOnceAtItsEnd)
{
    int pipeEnds[2];
    ASSERT_EQ(0, pipe(pipeEnds));
    ASSERT_EQ(2, write(pipeEnds[1], "k\n", 2));
    close(pipeEnds[1]);
    ASSERT_EQ(0, dup2(pipeEnds[0], STDIN_FILENO) < 0 ? -1 : 0);
    close(pipeEnds[0]);
    EXPECT_EQ('k', _getch());
    EXPECT_EQ('\n', _getch());
    EXPECT_EQ(EOF, _getch());
}

} // namespace
