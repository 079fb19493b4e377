#include <algorithm>
#include <chrono>
#include <cstring>

#include "LinkTest.h"

namespace {

class CommandExchangeTest : public LinkTest {
protected:
    void SetUp() override
    {
        ports.name(1, pty.slavePath());
        ASSERT_TRUE(ComPortAPI_OpenCOM(1));
    }

    Pty pty;
};

struct Frame {
    BOOL isEchoON;
    const char *wire;
};

class FrameTest : public CommandExchangeTest, public ::testing::WithParamInterface<Frame> {};

TEST_P(FrameTest, PutsPrefixCommandAndLineEndOnTheWireWithoutWaitingForAReply)
{
    char command[] = "%fw -p";
    EXPECT_TRUE(sendCommand(command, GetParam().isEchoON, 0, nullptr));
    EXPECT_EQ(GetParam().wire, pty.receiveUntilQuiet(100));
}

// Only exactly 1 leaves the prefix out.
INSTANTIATE_TEST_SUITE_P(Echo, FrameTest,
                         ::testing::Values(Frame{0, "%%%fw -p\n\r"}, Frame{1, "%fw -p\n\r"},
                                           Frame{2, "%%%fw -p\n\r"}),
                         [](const ::testing::TestParamInfo<Frame> &info) {
                             return "isEchoON_" + std::to_string(info.param.isEchoON);
                         });

struct Piece {
    int delayMs;
    const char *text;
};

struct ReplyCase {
    const char *what;
    int timeoutMs;
    std::vector<Piece> pieces;
    const char *expected;
    BOOL result;
};

class ReplyTest : public CommandExchangeTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, IsCollectedUntilSilenceAndComparedWhole)
{
    const ReplyCase &c = GetParam();
    ComPortAPI_SetReadingTimeoutInMs(c.timeoutMs);
    PtyPeer unit(pty, [&c](Pty &p, const std::atomic<bool> &stop) {
        receiveBytes(p, strlen("%%%fw -p\n\r"), stop);
        for (const Piece &piece : c.pieces) {
            std::this_thread::sleep_for(std::chrono::milliseconds(piece.delayMs));
            p.send(piece.text);
        }
    });
    char command[] = "%fw -p";
    std::vector<char> expected(c.expected, c.expected + strlen(c.expected) + 1);
    BOOL result = -1;
    testing::internal::CaptureStdout();
    long long ms = elapsedMs([&] { result = sendCommand(command, 0, 1, expected.data()); });
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(c.result, result);
    // The exchange ends on a read that stayed silent for a whole reading time-out: at
    // least one time-out after the last byte, and at most two (the read that took the
    // last byte can run one time-out past it).
    int lastByteMs = 0;
    for (const Piece &piece : c.pieces) {
        lastByteMs += piece.delayMs;
    }
    int readsAfterLastByte = c.pieces.empty() ? 1 : 2;
    EXPECT_GE(ms, lastByteMs + c.timeoutMs);
    EXPECT_LT(ms, lastByteMs + readsAfterLastByte * c.timeoutMs + 400);
    EXPECT_STREQ("", gDataBuffer);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        ReplyCase{"split_by_a_shorter_pause", 1000,
                  {{0, "Norvex 6G SDI EXT"}, {200, "ENDER TX\r\n>>"}},
                  "Norvex 6G SDI EXTENDER TX\r\n>>", TRUE},
        ReplyCase{"trailing_line_end", 500, {{0, "Norvex 6G SDI EXTENDER TX\r\n>>\r\n"}},
                  "Norvex 6G SDI EXTENDER TX\r\n>>", FALSE},
        ReplyCase{"missing_prompt", 500, {{0, "Norvex 6G SDI EXTENDER TX\r\n"}},
                  "Norvex 6G SDI EXTENDER TX\r\n>>", FALSE},
        ReplyCase{"silence_against_a_text", 500, {}, ">>", FALSE},
        ReplyCase{"silence_against_empty", 500, {}, "", TRUE}),
    [](const ::testing::TestParamInfo<ReplyCase> &info) { return std::string(info.param.what); });

TEST_F(CommandExchangeTest, WhatComesAfterALongerPauseIsLeftForTheNextRead)
{
    PtyPeer unit(pty, [](Pty &p, const std::atomic<bool> &stop) {
        receiveBytes(p, strlen("%%%fw -p\n\r"), stop);
        p.send("Ready");
        // Beyond the read that took "Ready" and one more silent read.
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * MAX_WAIT_READ + 300));
        p.send("late");
    });
    char command[] = "%fw -p";
    char expected[] = "Ready";
    EXPECT_TRUE(sendCommand(command, 0, 1, expected));
    char buffer[16] = {};
    int received = 0;
    EXPECT_TRUE(ComPortAPI_ReadCOM(buffer, sizeof buffer - 1, &received));
    EXPECT_STREQ("late", buffer);
}

// A reply beyond the reply's capacity, and one that trickles on for ever, each end the
// exchange (bounded, or the test would hang) and fail the match.
class EndlessReplyTest : public CommandExchangeTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EndlessReplyTest, EndsTheExchangeAndFailsTheMatch)
{
    const bool trickle = GetParam();
    PtyPeer unit(pty, [trickle](Pty &p, const std::atomic<bool> &stop) {
        receiveBytes(p, strlen("%%%fw -p\n\r"), stop);
        // What is left over past the capacity fits the pseudo-terminal: the peer never blocks.
        for (size_t sent = 0; !stop && (trickle || sent <= DATA_BUFFER_SIZE - 1); sent += trickle ? 1 : 4096) {
            p.send(std::string(trickle ? 1 : 4096, 'A'));
            if (trickle) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    ComPortAPI_SetReadingTimeoutInMs(300);
    char command[] = "%fw -p";
    char expected[] = "A";
    EXPECT_FALSE(sendCommand(command, 0, 1, expected));
}

INSTANTIATE_TEST_SUITE_P(FloodOrTrickle, EndlessReplyTest, ::testing::Bool());

struct Upload {
    int length;
    const char *reply;
    BOOL result;
    const char *console;
};

class SendDataTest : public CommandExchangeTest, public ::testing::WithParamInterface<Upload> {};

TEST_P(SendDataTest, StreamsEveryByteAndShowsThePercentageInPlace)
{
    const Upload &u = GetParam();
    std::vector<uint8_t> image(u.length);
    for (int i = 0; i < u.length; ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    std::string arrived;
    {
        PtyPeer unit(pty, [&](Pty &p, const std::atomic<bool> &stop) {
            arrived = receiveBytes(p, u.length, stop);
            if (u.reply != nullptr) {
                p.send(u.reply);
            }
        });
        ComPortAPI_SetReadingTimeoutInMs(300);
        char success[] = "SUCCESS";
        testing::internal::CaptureStdout();
        EXPECT_EQ(u.result, sendData(image.data(), u.length, 1, u.reply != nullptr ? success : nullptr));
        EXPECT_EQ(u.console, testing::internal::GetCapturedStdout());
    }
    ASSERT_EQ(image.size(), arrived.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), arrived.begin(),
                           [](uint8_t sent, char got) { return sent == static_cast<uint8_t>(got); }));
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, SendDataTest,
    ::testing::Values(Upload{0, nullptr, TRUE, "1%"},
                      Upload{10240, nullptr, TRUE, "1%\b\b100%"},
                      Upload{10241, nullptr, TRUE, "1%\b\b99%\b\b\b100%"},
                      Upload{20481, nullptr, TRUE, "1%\b\b49%\b\b\b99%\b\b\b100%"},
                      Upload{700, "SUCCESS", TRUE, "1%\b\b100%"},
                      Upload{700, "FAILED", FALSE,
                             "1%\b\b100%\r\nExpected : SUCCESS  received : FAILED\r\n"
                             "\r\nError: Expected response did  not matched !\r\n"}),
    [](const ::testing::TestParamInfo<Upload> &info) {
        return std::to_string(info.param.length) + "_bytes" +
               (info.param.reply != nullptr ? std::string("_then_") + info.param.reply : "");
    });

} // namespace
