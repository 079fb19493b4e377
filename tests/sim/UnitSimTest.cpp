// The simulated unit's checks of the images it receives, driven in-process: the upload
// command at the console rate, then the image bytes with the line settings the tool chose.
#include "Console.h"

#include <gtest/gtest.h>

#include <tuple>
#include <unistd.h>

// "abc" sums to 294, so its image checksum is 4294967002. The unit takes the announced length
// only. At another rate the tool gets as many bytes as the reply, none of them that text.
TEST(UnitSim, ChecksEachImageItReceives)
{
    const std::tuple<const char *, std::string, LineSettings, std::string, std::string> uploads[] = {
        {"%%%fw -l 4294967002 3\n\r", "abc", {115200, true}, "SUCCESS", "ok"},
        {"%%%fw -l 4294967003 3\n\r", "abc", {115200, true}, "CHECKSUM ERROR", "checksum-mismatch"},
        {"%%%fw -l 4294967002 5\n\r", "abc", {115200, true}, "", "receiving"},
        {"%%%fw -l 4294967002 3\n\r", "abcdef", {115200, true}, "SUCCESS", "ok"},
        {"%%%fw -h 4294967002 3\n\r", "abc", {9600, true}, "CHECKSUM ERROR", "wrong-rate"},
        {"%%%fw -h 4294967002 3\n\r", "abc", {115200, false}, "SUCCESS", "no-flow-control"},
    };
    for (const auto &[command, image, line, reply, verdict] : uploads) {
        SCOPED_TRACE(image + " " + verdict);
        const Options options{}; // none given: the unit as the program starts it by default
        Report report;
        Outbox outbox;
        Console unit(options, report, outbox);
        // Hands the unit bytes off the line; returns its answer (a few bytes: one read takes them).
        auto take = [&](const std::string &bytes, LineSettings settings) {
            unit.onInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), 0, settings, false);
            int ends[2];
            EXPECT_EQ(pipe(ends), 0);
            outbox.pump(ends[1], 0, nullptr);
            close(ends[1]);
            char answer[64];
            const ssize_t count = read(ends[0], answer, sizeof answer);
            close(ends[0]);
            return std::string(answer, count > 0 ? size_t(count) : 0);
        };
        EXPECT_EQ(take(command, {115200, true}), "Ready");
        const std::string answer = take(image, line);
        EXPECT_EQ(answer.size(), reply.size());
        EXPECT_EQ(answer == reply, line.rate == Console::IMAGE_RATE);
        const ImageRecord &got = report.images.at(0);
        EXPECT_EQ(std::make_tuple(got.bytesReceived, got.fnv1a64, got.rate, got.verdict, report.verdict()),
                  std::make_tuple(3ull, 0xe71fa2190541574bull, line.rate, verdict,
                                  verdict == "ok" ? "ok" : "failed"));
    }
}
