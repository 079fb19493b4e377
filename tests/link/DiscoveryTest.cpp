#include <gmock/gmock.h>

#include "LinkTest.h"

namespace {

using ::testing::ElementsAre;
using testsupport::SimUnit;

// The rate of every probe a unit saw, from its final report.
std::vector<unsigned> probeRates(SimUnit &unit)
{
    EXPECT_TRUE(unit.stop());
    std::vector<unsigned> rates;
    for (const testsupport::Json &command : unit.report()["commands"].items()) {
        if (command["kind"].str() == "probe") {
            rates.push_back((unsigned)command["rate"].u64());
        }
    }
    return rates;
}

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
    SimUnit idle(ports, 1, {"--silent-to", "probe"});
    SimUnit unit(ports, 3, {"--baud", "9600"});
    ASSERT_TRUE(idle.start() && unit.start());

    EXPECT_TRUE(detectSilently());
    EXPECT_EQ(3, gComPortNumber);
    EXPECT_EQ(9600, gBaudRate);
    EXPECT_THAT(probeRates(idle),
                ElementsAre(115200, 115200, 9600, 9600, 57600, 57600, 4800, 4800, 2400, 2400, 1200, 1200));
    EXPECT_THAT(probeRates(unit), ElementsAre(115200, 115200, 9600));
}

TEST_F(DiscoveryTest, AfterFailingOnTheLastPortLeavesItClosedAndItsLastRateForTheOperatorsOpen)
{
    SimUnit idle(ports, 32, {"--silent-to", "probe"});
    ASSERT_TRUE(idle.start());

    EXPECT_FALSE(detectSilently());
    EXPECT_EQ(INVALID_HANDLE_VALUE, g_hCOM);
    EXPECT_EQ(32, gComPortNumber);
    EXPECT_EQ(1200, gBaudRate);

    // The operator's port opens next, at the rate left recorded.
    ASSERT_TRUE(ComPortAPI_OpenCOM(32));
    char command[] = "%fw -v";
    EXPECT_TRUE(sendCommand(command, 0, 0, nullptr));
    EXPECT_EQ(1200u, commands(idle, 13)[12]["rate"].u64());
}

} // namespace
