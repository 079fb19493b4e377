#include "LinkTest.h"

namespace {

// The reply is compared whole: the expected text followed by a line end is another reply.
TEST_F(LinkTest, AReplyWithMoreThanTheExpectedTextIsRefused)
{
    testsupport::SimUnit unit({"--trailing", "\\r\\n"});
    ASSERT_TRUE(unit.start()) << unit.error();
    ports.name(1, unit.slavePath());
    ComPortAPI_SetBaudRate(115200);
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    ComPortAPI_SetReadingTimeoutInMs(1000);
    char command[] = "%fw -p", expected[] = "Norvex 6G SDI EXTENDER TX\r\n>>";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(sendCommand(command, 0, 1, expected));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

// The version reply is read as one line.
TEST(StrRemoveNL, ReplacesEveryLineBreak)
{
    char version[] = "1.0.8\r\n>>";
    StrRemoveNL(version, ' ');
    EXPECT_STREQ(version, "1.0.8  >>");
}

// Inputs the version reply fuzz target once failed on: without a single field, nothing is set.
TEST(VersionReply, AReplyWithoutAnyFieldIsNoVersion)
{
    for (const char *reply : {"", " ", "\r\n"}) {
        VersionReply version;
        EXPECT_EQ(0, parseVersionReply(reply, &version)) << '"' << reply << '"';
        EXPECT_EQ(-1, version.fpga_type);
        EXPECT_STREQ("", version.model);
    }
}

} // namespace
