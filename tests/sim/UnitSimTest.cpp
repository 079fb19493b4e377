// The simulated unit's own checks, driven over its pseudo-terminal with plain termios, as a
// client that sets its own rate and flow control would.
#include "SimUnit.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using testsupport::Json;
using testsupport::PortsDir;
using testsupport::SimUnit;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The client's end of the line: raw, at a chosen rate, with or without CTS flow control.
class Client {
public:
    explicit Client(const std::string &path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~Client() { close(); }
    bool ok() const { return fd_ >= 0; }
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    void setLine(unsigned rate, bool crtscts)
    {
        termios tio{};
        ASSERT_EQ(tcgetattr(fd_, &tio), 0);
        cfmakeraw(&tio);
        const speed_t speed = rate == 9600 ? B9600 : rate == 57600 ? B57600 : B115200;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        if (crtscts) tio.c_cflag |= CRTSCTS;
        else tio.c_cflag &= ~CRTSCTS;
        ASSERT_EQ(tcsetattr(fd_, TCSANOW, &tio), 0);
    }

    void send(const std::string &bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void command(const std::string &text) { send("%%" + text + "\n\r"); }

    // Everything that arrives until the line stays silent for silenceMs (the way the tool
    // collects a reply). Each piece is kept with its arrival time.
    struct Piece {
        double atMs;
        std::string bytes;
    };
    std::vector<Piece> pieces(int silenceMs)
    {
        std::vector<Piece> got;
        const auto start = Clock::now();
        pollfd p{fd_, POLLIN, 0};
        char buffer[65536];
        while (poll(&p, 1, silenceMs) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.push_back({msSince(start), std::string(buffer, size_t(n))});
        }
        return got;
    }
    std::string reply(int silenceMs = 300)
    {
        std::string all;
        for (const Piece &piece : pieces(silenceMs)) all += piece.bytes;
        return all;
    }

private:
    int fd_;
};

const char kProbeReply[] = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";

// Announces an image of `announced` bytes, then sends `sent` at 115200 with CTS flow control.
std::string upload(Client &client, const std::string &command, const std::string &sent, unsigned rate = 115200,
                   bool crtscts = true)
{
    client.command(command);
    const std::string ready = client.reply();
    if (ready != "Ready") return "no Ready: " + ready;
    client.setLine(rate, crtscts);
    client.send(sent);
    return client.reply(500);
}

TEST(UnitSim, AnswersOnlyAtItsRateAndSeesTheClientsLineSettings)
{
    PortsDir ports;
    SimUnit unit(ports, 3, {"--baud", "9600", "--role", "rx2", "--device-code", "4", "--fw-version", "1.0.8"});
    ASSERT_TRUE(unit.start()) << unit.error();
    Client client(ports.portPath(3));
    ASSERT_TRUE(client.ok());

    client.setLine(115200, false);
    client.command("%help -c version");
    const std::string garbage = client.reply();
    EXPECT_EQ(garbage.size(), sizeof kProbeReply - 1);
    EXPECT_NE(garbage, kProbeReply);

    client.setLine(9600, true);
    client.command("%help -c version");
    EXPECT_EQ(client.reply(), kProbeReply);
    client.command("%fw -v");
    EXPECT_EQ(client.reply(), "1.0.8 SIMUNIT 3.4 4\r\n>>");
    client.command("%fw -p");
    EXPECT_EQ(client.reply(), "Norvex 6G SDI EXT PELLIMORA-B RX\r\n>>");

    const Json commands = unit.report()["commands"];
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0]["rate"].u64(), 115200u);
    EXPECT_FALSE(commands[0]["crtscts"].boolean());
    EXPECT_EQ(commands[0]["answer"].str(), "garbage");
    EXPECT_EQ(commands[1]["rate"].u64(), 9600u);
    EXPECT_TRUE(commands[1]["crtscts"].boolean());
    EXPECT_EQ(commands[1]["answer"].str(), "reply");
    EXPECT_EQ(commands[3]["text"].str(), "%fw -p");
    EXPECT_EQ(commands[3]["kind"].str(), "identity");
}

TEST(UnitSim, ChecksTheImageAgainstTheAnnouncedChecksumAndLength)
{
    // FNV-1a 64 of "abc": proves the very bytes arrived, in order, once.
    const std::string fnvAbc = "e71fa2190541574b";
    struct Case {
        const char *name;
        const char *command;
        std::string sent;
        const char *reply;
        const char *verdict;
        uint64_t received;
    } cases[] = {
        {"whole", "%fw -l 4294967002 3", "abc", "SUCCESS", "ok", 3},
        {"wrong checksum", "%fw -l 4294967003 3", "abc", "CHECKSUM ERROR", "checksum-mismatch", 3},
        {"fewer bytes than announced", "%fw -l 4294967002 5", "abc", "", "receiving", 3},
        {"more bytes than announced", "%fw -l 4294967002 3", "abcdef", "SUCCESS", "ok", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SimUnit unit;
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client(unit.slavePath());
        client.setLine(115200, true);
        EXPECT_EQ(upload(client, c.command, c.sent), c.reply);

        const Json image = unit.report()["images"][0];
        EXPECT_EQ(image["stage"].str(), "fpga");
        EXPECT_EQ(image["bytes_received"].u64(), c.received);
        EXPECT_EQ(image["verdict"].str(), c.verdict);
        if (c.received == 3) {
            EXPECT_EQ(image["fnv1a64"].str(), fnvAbc);
        }
        EXPECT_EQ(unit.report()["verdict"].str(), std::string(c.verdict) == "ok" ? "ok" : "failed");
        EXPECT_TRUE(unit.stop()) << "unitsim ends cleanly on SIGTERM";
        EXPECT_EQ(unit.report()["state"].str(), "ended");
    }
}

TEST(UnitSim, FailsImageDataAtAnotherRateOrWithoutFlowControl)
{
    struct Case {
        unsigned rate;
        bool crtscts;
        const char *verdict;
        bool checksumSeenRight; // a wrong rate garbles the bytes; missing flow control need not
    } cases[] = {{9600, true, "wrong-rate", false}, {115200, false, "no-flow-control", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.verdict);
        SimUnit unit;
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client(unit.slavePath());
        client.setLine(115200, true);
        upload(client, "%fw -h 4294967002 3", "abc", c.rate, c.crtscts);
        const Json report = unit.report();
        EXPECT_EQ(report["images"][0]["rate"].u64(), c.rate);
        EXPECT_EQ(report["images"][0]["crtscts"].boolean(), c.crtscts);
        EXPECT_EQ(report["images"][0]["verdict"].str(), c.verdict);
        EXPECT_EQ(report["verdict"].str(), "failed");
        EXPECT_EQ(report["reboot_us"].u64() != 0, c.checksumSeenRight) << "only a good image reboots the unit";
    }
}

TEST(UnitSim, SplitReplyReallyPauses)
{
    SimUnit unit({"--split-reply", "9,400"});
    ASSERT_TRUE(unit.start()) << unit.error();
    Client client(unit.slavePath());
    client.setLine(115200, false);
    client.command("%fw -p");
    const auto pieces = client.pieces(1000);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].bytes, "Norvex 6G");
    EXPECT_EQ(pieces[1].bytes, " SDI EXTENDER TX\r\n>>");
    EXPECT_GE(pieces[1].atMs - pieces[0].atMs, 390);
}

TEST(UnitSim, RebootsSilentlyThenShowsItsPromptAtTheChosenTime)
{
    SimUnit unit({"--banner", "boot\r\n", "--banner-after", "800", "--prompt-after", "1400", "--exit-after-prompt"});
    ASSERT_TRUE(unit.start()) << unit.error();
    Client client(unit.slavePath());
    client.setLine(115200, true);
    ASSERT_EQ(upload(client, "%fw -h 4294967002 3", "abc"), "SUCCESS");
    client.command("%fw -p"); // ignored while the unit reboots
    const auto start = Clock::now();
    std::string seen;
    while (seen.find(">>") == std::string::npos && msSince(start) < 3000) seen += client.reply(100);
    EXPECT_EQ(seen, "boot\r\n[SIMUNIT]>>");
    client.close();
    ASSERT_TRUE(unit.waitExit(3000)) << "--exit-after-prompt ends once the port is closed";

    const Json report = unit.report();
    EXPECT_EQ(report["state"].str(), "ended");
    EXPECT_GT(report["ignored_bytes"].u64(), 0u);
    const uint64_t reboot = report["reboot_us"].u64();
    const double bannerMs = double(report["banner_us"].u64() - reboot) / 1000;
    const double promptMs = double(report["prompt_us"].u64() - reboot) / 1000;
    EXPECT_GE(bannerMs, 800);
    EXPECT_GE(promptMs, 1400);
}

TEST(UnitSim, AnswersFromTheNthProbeOnAndAgainAfterThePortIsReopened)
{
    PortsDir ports;
    SimUnit unit(ports, 1, {"--probe-answer-nth", "2"});
    ASSERT_TRUE(unit.start()) << unit.error();
    {
        Client client(ports.portPath(1));
        client.setLine(115200, false);
        client.command("%help -c version");
        EXPECT_EQ(client.reply(), "");
        client.command("%help -c version");
        EXPECT_EQ(client.reply(), kProbeReply);
    }
    Client reopened(ports.portPath(1));
    reopened.setLine(115200, false);
    reopened.command("%help -c version");
    EXPECT_EQ(reopened.reply(), kProbeReply);
}

TEST(UnitSim, StallsAndDisconnectsInMidImage)
{
    {
        SimUnit unit({"--stall", "fpga:2,300"});
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client(unit.slavePath());
        client.setLine(115200, true);
        const auto start = Clock::now();
        EXPECT_EQ(upload(client, "%fw -l 4294967002 3", "abc"), "SUCCESS");
        EXPECT_GE(msSince(start), 300);
        EXPECT_EQ(unit.report()["faults"][0]["fault"].str(), "stall");
    }
    {
        SimUnit unit({"--disconnect", "2"});
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client(unit.slavePath());
        client.setLine(115200, true);
        EXPECT_EQ(upload(client, "%fw -l 4294967002 3", "abc"), "");
        ASSERT_TRUE(unit.waitExit(3000));
        const Json report = unit.report();
        EXPECT_EQ(report["images"][0]["bytes_received"].u64(), 2u);
        EXPECT_EQ(report["faults"][0]["fault"].str(), "disconnect");
        EXPECT_EQ(report["state"].str(), "ended");
    }
}

TEST(UnitSim, PacedUnitTakesImageBytesNoFasterThanTheLine)
{
    SimUnit unit({"--pace"});
    ASSERT_TRUE(unit.start()) << unit.error();
    Client client(unit.slavePath());
    client.setLine(115200, true);
    const std::string image(2880, '\x5a'); // 250 ms at 115200 baud, ten bits a byte
    const uint32_t checksum = uint32_t(0) - 2880u * 0x5au;
    EXPECT_EQ(upload(client, "%fw -l " + std::to_string(checksum) + " 2880", image), "SUCCESS");
    const Json image0 = unit.report()["images"][0];
    EXPECT_EQ(image0["verdict"].str(), "ok");
    const double spanMs = double(image0["last_byte_us"].u64() - image0["first_byte_us"].u64()) / 1000;
    EXPECT_GE(spanMs, 240);
}

} // namespace
