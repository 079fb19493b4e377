#include <cstring>

#include "LinkTest.h"

namespace {

using testsupport::SimUnit;

struct ReplyCase {
    const char *name;
    std::vector<std::string> unit; // unitsim options
    const char *expected;
    BOOL result;
};

void PrintTo(const ReplyCase &c, std::ostream *os)
{
    *os << c.name;
}

class ReplyTest : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

// The reply is collected until the line falls silent and compared whole.
TEST_P(ReplyTest, IsCollectedUntilSilenceAndComparedWhole)
{
    const ReplyCase &c = GetParam();
    SimUnit unit(ports, 1, c.unit);
    ASSERT_TRUE(unit.start()) << unit.error();
    ComPortAPI_SetBaudRate(115200);
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    ComPortAPI_SetReadingTimeoutInMs(1000);
    char command[] = "%fw -p";
    std::vector<char> expected(c.expected, c.expected + strlen(c.expected) + 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.result, sendCommand(command, 0, 1, expected.data()));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        ReplyCase{"TrailingLineEnd", {"--trailing", "\\r\\n"}, "Norvex 6G SDI EXTENDER TX\r\n>>", FALSE},
        ReplyCase{"SilenceAgainstEmpty", {"--silent-to", "identity"}, "", TRUE}),
    [](const ::testing::TestParamInfo<ReplyCase> &info) { return info.param.name; });

} // namespace
