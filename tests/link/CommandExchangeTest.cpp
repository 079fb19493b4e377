#include <cstring>

#include "LinkTest.h"

namespace {

using testsupport::SimUnit;

const char IDENTITY[] = "Norvex 6G SDI EXTENDER TX\r\n>>";

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

// The reply is collected until the line falls silent (or a bound passes) and compared whole.
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
    if (c.result) { // the command the unit took: prefix, text and line end
        EXPECT_TRUE(commands(unit, 1)[0]["framed"].boolean());
        EXPECT_EQ(commands(unit, 1)[0]["text"].str(), command);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(ReplyCase{"SplitByAShorterPause", {"--split-reply", "9,400"}, IDENTITY, TRUE},
                      ReplyCase{"TrailingLineEnd", {"--trailing", "\\r\\n"}, IDENTITY, FALSE},
                      ReplyCase{"SilenceAgainstAText", {"--silent-to", "identity"}, ">>", FALSE},
                      ReplyCase{"SilenceAgainstEmpty", {"--silent-to", "identity"}, "", TRUE},
                      ReplyCase{"BeyondTheCapacity", {"--huge-reply", "identity=1500000"}, "A", FALSE},
                      ReplyCase{"NeverSilent", {"--chatter"}, IDENTITY, FALSE}),
    [](const ::testing::TestParamInfo<ReplyCase> &info) { return info.param.name; });

struct Upload {
    int length;
    uint32_t checksumOffset; // the announced checksum is off by this
    const char *console;
};

void PrintTo(const Upload &u, std::ostream *os)
{
    *os << u.length << " bytes";
}

class SendDataTest : public LinkTest, public ::testing::WithParamInterface<Upload> {};

// An announced image, streamed at the image rate with flow control, checked by the unit.
TEST_P(SendDataTest, StreamsEveryByteAndShowsThePercentageInPlace)
{
    const Upload &u = GetParam();
    SimUnit unit(ports, 1);
    ASSERT_TRUE(unit.start()) << unit.error();
    std::vector<uint8_t> image(u.length);
    uint32_t checksum = u.checksumOffset;
    for (int i = 0; i < u.length; ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + i / 251);
        checksum -= image[i];
    }
    ComPortAPI_SetBaudRate(115200);
    ComPortAPI_SetHardwareFlowControl(1);
    ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    std::string announce = "%fw -l " + std::to_string(checksum) + " " + std::to_string(u.length);
    char ready[] = "Ready", success[] = "SUCCESS";
    ASSERT_TRUE(sendCommand(&announce[0], 0, 1, ready));
    testing::internal::CaptureStdout();
    EXPECT_EQ(u.checksumOffset == 0, sendData(image.data(), u.length, 1, success));
    EXPECT_EQ(u.console, testing::internal::GetCapturedStdout());
    testsupport::Json report;
    unit.waitForReport(
        [](const testsupport::Json &r) { return r["images"][0]["verdict"].str() != "receiving"; }, 5000,
        &report);
    const testsupport::Json received = report["images"][0];
    EXPECT_EQ(received["bytes_received"].u64(), (uint64_t)u.length);
    EXPECT_EQ(received["verdict"].str(), u.checksumOffset == 0 ? "ok" : "checksum-mismatch");
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SendDataTest,
    ::testing::Values(Upload{10240, 0, "1%\b\b100%"}, Upload{10241, 0, "1%\b\b99%\b\b\b100%"},
                      Upload{20481, 0, "1%\b\b49%\b\b\b99%\b\b\b100%"},
                      Upload{700, 1,
                             "1%\b\b100%\r\nExpected : SUCCESS  received : CHECKSUM ERROR\r\n"
                             "\r\nError: Expected response did  not matched !\r\n"}));

} // namespace
