// The site program's rows with the native test build.
#include <gtest/gtest.h>

#include "SiteRows.h"

#include <sys/stat.h>

namespace {

class Site : public ::testing::TestWithParam<site::SiteRow> {};

TEST_P(Site, ListingSummaryLogsRecordUnitsAndStatusAsExpected)
{
    e2e::NativeToolRunner runner(false);
    site::runSiteRow(runner, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Native, Site, ::testing::ValuesIn(site::siteRows()),
                         [](const ::testing::TestParamInfo<site::SiteRow> &info) { return info.param.name; });

} // namespace

namespace {

// Options refused before anything is probed, with the usage; --help alone; a worker mode runs only
// with a channel it holds.
TEST(SiteOptions, RefusedOrAnsweredBeforeAnyPortIsProbed)
{
    testsupport::TempDir work;
    ASSERT_EQ(mkfifo(work.file("fifo").c_str(), 0600), 0);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string startsWith;
    } rows[] = {
        {{"--help"}, 0, "Usage: LumivaneFwSite"},
        {{"--record", "--yes"}, 255, "ERROR: This option needs a value, not an option: --record\r\nUsage"},
        {{"--logs"}, 255, "ERROR: This option needs a value, not an option: --logs\r\nUsage"},
        {{"--again", "--bogus"}, 255, "ERROR: Unknown option: --bogus\r\nUsage"},
        {{"--record", work.file("fifo")},
         255,
         "ERROR: The update record " + work.file("fifo") + " cannot be used"},
        {{"--record", work.path()}, 255, "ERROR: The update record " + work.path() + " cannot be used"},
        {{"--update-worker", "3", "9600"}, 255, "ERROR: A worker reports through its channel"},
        {{"--probe-worker", "3", "--channel", "99"},
         255,
         "ERROR: A worker reports through its channel, and 99"},
    };
    e2e::NativeToolRunner runner(false);
    for (const auto &row : rows) {
        const testsupport::RunResult result =
            runner.run(e2e::Program::Site, "", 20000, work.path(), row.args);
        EXPECT_EQ(result.exitStatus, row.status) << row.args[0];
        EXPECT_EQ(
            result.out.substr(result.out.find_first_not_of("WARNING: this build carries stand-in firmware "
                                                           "images, made for the simulated unit only !\r\n"),
                              row.startsWith.size()),
            row.startsWith);
        EXPECT_EQ(result.out.find("Listing"), std::string::npos) << row.args[0];
    }
}

} // namespace

namespace {

// Out of file descriptors, the ports whose probe could not start are named, not dropped.
TEST(SiteListing, PortsWhoseWorkerCannotStartAreNamed)
{
    testsupport::TempDir work;
    e2e::NativeToolRunner runner(false);
    testsupport::RunOptions run =
        runner.runOptions(e2e::Program::Site, "", 60000, work.path(), {"--list", "--ports", "COM1-COM16"});
    run.argv.insert(run.argv.begin(), {"/bin/sh", "-c", "ulimit -n 20 && exec \"$@\"", "sh"});
    const testsupport::RunResult result = testsupport::runProgram(run);
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_NE(result.out.find("COM16  not probed: its worker could not be started (Too many open files)\r\n"),
              std::string::npos)
        << result.out;
}

} // namespace
