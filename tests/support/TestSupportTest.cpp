// The helpers other tests lean on: a broken helper would let those tests pass or hang.
#include "RunProgram.h"
#include "SimUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

TEST(RunProgram, FeedsStandardInputAndCapturesOutputAndStatus)
{
    RunOptions options;
    options.argv = {"/bin/sh", "-c", "read line; printf '%s\\r\\n' \"$line$SUFFIX\"; echo oops >&2; exit 3"};
    options.stdinText = "typed\nignored\n";
    options.env = {{"SUFFIX", "!"}};
    const RunResult run = runProgram(options);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.out, "typed!\r\n");
    EXPECT_EQ(run.err, "oops\n");
}

TEST(RunProgram, EndsAProgramThatOutlivesItsTimeOut)
{
    RunOptions options;
    options.argv = {"/bin/sh", "-c", "sleep 30 & wait"};
    options.timeoutMs = 300;
    const RunResult run = runProgram(options);
    EXPECT_TRUE(run.timedOut);
    EXPECT_LT(run.seconds, 5);
}

TEST(SimUnit, AppearsAsItsPortAndLeavesNoLinkBehind)
{
    PortsDir ports;
    std::string link;
    {
        SimUnit unit(ports, 7, {"--role", "rx"});
        ASSERT_TRUE(unit.start()) << unit.error();
        EXPECT_EQ(unit.report()["state"].str(), "ready");
        EXPECT_EQ(unit.report()["link"].str(), ports.portPath(7));
        {
            HeldPort held(ports.portPath(7));
            ASSERT_TRUE(held.ok());
            EXPECT_FALSE(HeldPort(ports.portPath(7)).ok()) << "a held port must not open twice";
        }
        EXPECT_TRUE(unit.stop());
        EXPECT_EQ(unit.report()["state"].str(), "ended");
    }
    EXPECT_NE(access(ports.portPath(7).c_str(), F_OK), 0);
}

TEST(SimUnit, StartReportsWhyUnitsimRefusedToRun)
{
    SimUnit unit({"--baud", "fast"});
    EXPECT_FALSE(unit.start());
    EXPECT_NE(unit.error().find("--baud"), std::string::npos) << unit.error();
}
