// The simulated unit's own checks, driven over its pseudo-terminal with plain termios, as a
// client that sets its own rate and flow control would.
#include "SimUnit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using testsupport::SimUnit;

namespace {

// The client's end of the line, raw, at a chosen rate, with or without CTS flow control.
struct Client {
    int fd;
    ~Client() { close(fd); }

    void setLine(unsigned rate, bool crtscts)
    {
        termios tio{};
        ASSERT_EQ(tcgetattr(fd, &tio), 0);
        cfmakeraw(&tio);
        const speed_t speed = rate == 9600 ? B9600 : B115200;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tio.c_cflag = crtscts ? tio.c_cflag | CRTSCTS : tio.c_cflag & ~CRTSCTS;
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
    }
    // Sends a command, then takes everything until the line stays silent: 2 s before the
    // reply's first byte (a loaded machine may run the unit late), 300 ms after any byte.
    std::string exchange(const std::string &command)
    {
        EXPECT_EQ(write(fd, command.data(), command.size()), ssize_t(command.size()));
        std::string reply;
        pollfd p{fd, POLLIN, 0};
        char buffer[4096];
        for (ssize_t n;
             poll(&p, 1, reply.empty() ? 2000 : 300) > 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) {
            reply.append(buffer, size_t(n));
        }
        return reply;
    }
};

struct Upload {
    const char *command;
    std::string sent;
    unsigned rate;
    bool crtscts;
    std::string reply;
    std::string verdict;
};

// "abc" sums to 294; the image checksum is 0 minus the sum: 4294967002. The unit takes the
// announced length only.
TEST(UnitSim, ChecksEachImageItReceives)
{
    const Upload uploads[] = {
        {"%fw -l 4294967002 3", "abc", 115200, true, "SUCCESS", "ok"},
        {"%fw -l 4294967003 3", "abc", 115200, true, "CHECKSUM ERROR", "checksum-mismatch"},
        {"%fw -l 4294967002 5", "abc", 115200, true, "", "receiving"},
        {"%fw -l 4294967002 3", "abcdef", 115200, true, "SUCCESS", "ok"},
        {"%fw -h 4294967002 3", "abc", 9600, true, "", "wrong-rate"},
        {"%fw -h 4294967002 3", "abc", 115200, false, "SUCCESS", "no-flow-control"},
    };
    for (const Upload &u : uploads) {
        SCOPED_TRACE(std::string(u.command) + " " + u.sent + " " + std::to_string(u.rate));
        SimUnit unit;
        ASSERT_TRUE(unit.start()) << unit.error();
        Client client{open(unit.slavePath().c_str(), O_RDWR | O_NOCTTY)};
        client.setLine(115200, true);
        ASSERT_EQ(client.exchange(std::string("%%") + u.command + "\n\r"), "Ready");
        client.setLine(u.rate, u.crtscts);
        const std::string reply = client.exchange(u.sent);
        nlohmann::json report = unit.report(); // not const: a member that is absent reads as null
        nlohmann::json &image = report["images"][0];
        if (u.rate == 115200) { // a wrong rate garbles the bytes: "abc", in order, once, or not
            EXPECT_EQ(reply, u.reply);
            EXPECT_EQ(image["fnv1a64"], "e71fa2190541574b");
        }
        EXPECT_EQ(image["bytes_received"], 3);
        EXPECT_EQ(image["verdict"], u.verdict);
        EXPECT_EQ(image["rate"], u.rate);
        EXPECT_EQ(report["verdict"], u.verdict == "ok" ? "ok" : "failed");
    }
}

} // namespace
