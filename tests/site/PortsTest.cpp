// The operator's list of ports: each item's forms, the order kept, each port once, and every
// malformed item or number out of range named; the names the logs take.
#include <gtest/gtest.h>

#include "SitePorts.h"

namespace {

TEST(SitePorts, ListsAsGivenOrRefusedByTheirItem)
{
    const struct {
        std::string list, ports, error;
    } rows[] = {
        {"COM3", "COM3", ""},
        {"COM40,COM3", "COM40 COM3", ""},
        {"COM5-COM8", "COM5 COM6 COM7 COM8", ""},
        {"COM7-COM7,COM256", "COM7 COM256", ""},
        {"COM2,COM1-COM3,COM2", "COM2 COM1 COM3", ""},
        {"rfc2217://rack4:4001,COM1", "rfc2217://rack4:4001 COM1", ""},
        {"rfc2217://127.0.0.1:2000", "rfc2217://127.0.0.1:2000", ""},
        {"rfc2217://[::1]:2000,rfc2217://[fe80::1%eth0]:1", "", "rfc2217://[fe80::1%eth0]:1"},
        {"rfc2217://[::1]:2000", "rfc2217://[::1]:2000", ""},
        {"rfc2217://host.example-1:65535", "rfc2217://host.example-1:65535", ""},
        {"COM0", "", "COM0"},
        {"COM257", "", "COM257"},
        {"COM8-COM5", "", "COM8-COM5"},
        {"com3", "", "com3"},
        {",COM3", "", ""},
        {"COM 3", "", "COM 3"},
        {"rfc2217://rack4", "", "rfc2217://rack4"},
        {"rfc2217://rack4:65536", "", "rfc2217://rack4:65536"},
        {"rfc2217://ra ck:4001", "", "rfc2217://ra ck:4001"},
        {"rfc2217://[::1:4001", "", "rfc2217://[::1:4001"},
        {"tcp://rack4:4001", "", "tcp://rack4:4001"},
    };
    for (const auto &row : rows) {
        std::vector<std::string> ports;
        std::string error = "untouched";
        const bool parsed = parsePortList(row.list, &ports, &error);
        std::string joined;
        for (const std::string &port : ports) {
            joined += (joined.empty() ? "" : " ") + port;
        }
        EXPECT_EQ(parsed, !row.ports.empty()) << row.list;
        if (parsed) {
            EXPECT_EQ(joined, row.ports) << row.list;
        } else {
            EXPECT_EQ(error, row.error) << row.list;
        }
    }
}

TEST(SitePorts, LogNamesSafeOnWindowsAndLinux)
{
    EXPECT_EQ(portFileName("COM3"), "COM3");
    EXPECT_EQ(portFileName("rfc2217://rack4:4001"), "rfc2217_rack4_4001");
    EXPECT_EQ(portFileName("rfc2217://[::1]:2000"), "rfc2217____1__2000");
    EXPECT_EQ(comNumber("COM256"), 256);
    EXPECT_EQ(comNumber("COM257"), 0);
    EXPECT_EQ(comNumber("rfc2217://COM3:1"), 0);
}

} // namespace
