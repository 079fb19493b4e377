// The simulated unit's own checks, driven over its pseudo-terminal with plain termios, as a
// client that sets its own rate and flow control would.
#include "SimUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using testsupport::Json;
using testsupport::SimUnit;

namespace {

// The client's end of the line: raw, at a chosen rate, with or without CTS flow control.
class Client {
public:
    explicit Client(const std::string &path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~Client() { close(fd_); }

    void setLine(unsigned rate, bool crtscts)
    {
        termios tio{};
        ASSERT_EQ(tcgetattr(fd_, &tio), 0);
        cfmakeraw(&tio);
        const speed_t speed = rate == 9600 ? B9600 : B115200;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tio.c_cflag = crtscts ? tio.c_cflag | CRTSCTS : tio.c_cflag & ~CRTSCTS;
        ASSERT_EQ(tcsetattr(fd_, TCSANOW, &tio), 0);
    }
    // Sends a command, then takes everything until the line stays silent: 2 s before the
    // reply's first byte (a loaded machine may run the unit late), 300 ms after any byte.
    std::string exchange(const std::string &command)
    {
        EXPECT_EQ(write(fd_, command.data(), command.size()), ssize_t(command.size()));
        std::string reply;
        pollfd p{fd_, POLLIN, 0};
        char buffer[4096];
        for (ssize_t n;
             poll(&p, 1, reply.empty() ? 2000 : 300) > 0 && (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            reply.append(buffer, size_t(n));
        }
        return reply;
    }

private:
    int fd_;
};

struct Upload {
    const char *command;
    std::string sent;
    unsigned rate;
    bool crtscts;
    const char *reply;
    const char *verdict;
    uint64_t received;
};

// "abc" sums to 294; the image checksum is 0 minus the sum: 4294967002.
TEST(UnitSim, ChecksEachImageItReceives)
{
    const Upload uploads[] = {
        {"%fw -l 4294967002 3", "abc", 115200, true, "SUCCESS", "ok", 3},
        {"%fw -l 4294967003 3", "abc", 115200, true, "CHECKSUM ERROR", "checksum-mismatch", 3},
        {"%fw -l 4294967002 5", "abc", 115200, true, "", "receiving", 3},
        {"%fw -l 4294967002 3", "abcdef", 115200, true, "SUCCESS", "ok", 3},
        {"%fw -h 4294967002 3", "abc", 9600, true, "", "wrong-rate", 3},
        {"%fw -h 4294967002 3", "abc", 115200, false, "SUCCESS", "no-flow-control", 3},
    };
    for (const Upload &u : uploads) {
        SCOPED_TRACE(std::string(u.command) + " " + u.sent + " " + std::to_string(u.rate));
        SimUnit unit;
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client(unit.slavePath());
        client.setLine(115200, true);
        ASSERT_EQ(client.exchange(std::string("%%") + u.command + "\n\r"), "Ready");
        client.setLine(u.rate, u.crtscts);
        const std::string reply = client.exchange(u.sent);
        if (u.rate == 115200) { // a wrong rate garbles the bytes: "abc", in order, once, or not
            EXPECT_EQ(reply, u.reply);
            EXPECT_EQ(unit.report()["images"][0]["fnv1a64"].str(), "e71fa2190541574b");
        }
        const Json image = unit.report()["images"][0];
        EXPECT_EQ(image["bytes_received"].u64(), u.received);
        EXPECT_EQ(image["verdict"].str(), u.verdict);
        EXPECT_EQ(image["rate"].u64(), u.rate);
        EXPECT_EQ(unit.report()["verdict"].str(), std::string(u.verdict) == "ok" ? "ok" : "failed");
    }
}

} // namespace
