// Discovery through the real program: a port that another program holds is passed over
// without a probe, and a unit that misses its first probe is found at the rate where it
// answers the second. (The update then stops at once: the device code is unknown.)
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "Transcript.h"

namespace {

TEST(DiscoveryEndToEnd, SkipsAHeldPortAndFindsAUnitAnsweringTheSecondProbe)
{
    using namespace transcript;
    e2e::NativeToolRunner runner(false);
    testsupport::SimUnit held({"--baud", "57600"});
    testsupport::SimUnit unit({"--baud", "57600", "--probe-answer-nth", "2", "--device-code", "2"});
    ASSERT_TRUE(held.start()) << held.error();
    ASSERT_TRUE(unit.start()) << unit.error();
    runner.namePort(1, held.slavePath());
    runner.namePort(2, unit.slavePath());
    testsupport::HeldPort otherProgram(held.slavePath());
    ASSERT_TRUE(otherProgram.ok());

    const testsupport::RunResult run = runner.run(e2e::Program::Update, "", 60000);
    EXPECT_EQ(visible(run.out), visible(announcement() + discoveryFound(2, 57600) +
                                        versionLines(2, 1, 5, "SIMUNIT", 3, 4, 2) + productUnknown() +
                                        closing(false)));
    EXPECT_EQ(run.exitStatus, 1);

    ASSERT_TRUE(held.stop());
    ASSERT_TRUE(unit.stop());
    EXPECT_EQ(e2e::commandLog(held.report()), std::vector<std::string>());
    EXPECT_EQ(e2e::commandLog(unit.report()),
              std::vector<std::string>({"probe@115200 garbage", "probe@115200 garbage", "probe@9600 garbage",
                                        "probe@9600 garbage", "probe@57600 silent", "probe@57600 reply",
                                        "version@57600+cts reply"}));
}

} // namespace
