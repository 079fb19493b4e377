#include "LinkTest.h"

namespace {

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
    char command[] = "%fw -v";
    EXPECT_TRUE(sendCommand(command, 0, 0, nullptr));
    EXPECT_EQ(1200u, commands(idle, 13)[12]["rate"]);
}

} // namespace
