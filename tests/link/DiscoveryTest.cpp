#include <fcntl.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "LinkTest.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DiscoveryTest : public LinkTest {
protected:
    // The caller switches flow control off before discovery.
    void SetUp() override { ComPortAPI_SetHardwareFlowControl(0); }

    BOOL detectSilently()
    {
        testing::internal::CaptureStdout();
        BOOL found = detectComPortAndBaudrate();
        EXPECT_EQ("", testing::internal::GetCapturedStdout());
        return found;
    }
};

TEST_F(DiscoveryTest, SkipsAnIdlePortAndAnAbsentOneAndFindsTheUnitAtItsRate)
{
    Pty idle, unitLine;
    ports.name(1, idle.slavePath());
    ports.name(3, unitLine.slavePath());
    ProbeAnswerer nothing(idle, 0);
    ProbeAnswerer unit(unitLine, 9600);

    EXPECT_TRUE(detectSilently());
    EXPECT_EQ(3, gComPortNumber);
    EXPECT_EQ(9600, gBaudRate);
    EXPECT_EQ(9600u, g_dcb.BaudRate);
    EXPECT_NE(INVALID_HANDLE_VALUE, g_hCOM);
    EXPECT_EQ(9600, unitLine.baudRate());
    EXPECT_THAT(nothing.probeRates(), ElementsAre(115200, 115200, 9600, 9600, 57600, 57600, 4800,
                                                  4800, 2400, 2400, 1200, 1200));
    EXPECT_THAT(unit.probeRates(), ElementsAre(115200, 115200, 9600));
}

TEST_F(DiscoveryTest, FindsAUnitThatAnswersOnlyTheSecondProbe)
{
    Pty unitLine;
    ports.name(1, unitLine.slavePath());
    ProbeAnswerer unit(unitLine, 115200, 1);

    EXPECT_TRUE(detectSilently());
    EXPECT_EQ(1, gComPortNumber);
    EXPECT_EQ(115200, gBaudRate);
    EXPECT_THAT(unit.probeRates(), ElementsAre(115200, 115200));
}

TEST_F(DiscoveryTest, WithNoPortsAtAllFailsAtOnceAndLeavesTheSelectionEmpty)
{
    BOOL found = TRUE;
    EXPECT_LT(elapsedMs([&] { found = detectSilently(); }), 500);
    EXPECT_FALSE(found);
    EXPECT_EQ(0, gComPortNumber);
    EXPECT_EQ(0, gBaudRate);
    EXPECT_EQ(9600u, g_dcb.BaudRate);
}

TEST_F(DiscoveryTest, SkipsAPortThatAnotherProgramHolds)
{
    Pty heldLine, unitLine;
    ports.name(1, heldLine.slavePath());
    ports.name(2, unitLine.slavePath());
    ProbeAnswerer held(heldLine, 115200);
    ProbeAnswerer unit(unitLine, 115200);
    // Root ignores TIOCEXCL; the lock is what marks a port as held.
    testsupport::HeldPort holder(heldLine.slavePath());
    ASSERT_TRUE(holder.ok());

    EXPECT_TRUE(detectSilently());
    EXPECT_EQ(2, gComPortNumber);
    EXPECT_THAT(held.probeRates(), IsEmpty());
}

TEST_F(DiscoveryTest, AfterFailingLeavesNoPortOpenAndTheLastRateRecorded)
{
    Pty idle;
    ports.name(32, idle.slavePath());
    ProbeAnswerer nothing(idle, 0);

    EXPECT_FALSE(detectSilently());
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
    EXPECT_EQ(32, gComPortNumber);
    EXPECT_EQ(1200, gBaudRate);
    EXPECT_EQ(1200u, g_dcb.BaudRate);
    EXPECT_EQ(12u, nothing.probeRates().size());

    // The operator's port opens next, at the rate left recorded.
    ASSERT_TRUE(ComPortAPI_OpenCOM(32));
    EXPECT_EQ(1200, idle.baudRate());
}

} // namespace
