// Network ports through the serial layer's calls: the command exchange talking to simulated units
// behind ser2net on 127.0.0.1, and servers that refuse, hold or never answer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"
#include "Ser2net.h"
#include "SimUnit.h"

namespace {

class NetworkPortTest : public ::testing::Test {
protected:
    NetworkPortTest() : buffer_(DATA_BUFFER_SIZE, '\0') { gDataBuffer = buffer_.data(); }
    ~NetworkPortTest() override
    {
        ComPortAPI_CloseCOM();
        gDataBuffer = nullptr;
    }

private:
    std::vector<char> buffer_;
};

char PROBE[] = "%help -c version", PROBE_REPLY[] = "version\n\r   version <no parameters> {Get the current "
                                                   "firmware version}\r\n>>";
char VERSION_QUERY[] = "%fw -v", VERSION_REPLY[] = "2.1.5 SIMUNIT 3.4 1\r\n>>";

// The unit's commands as it saw them, once it has seen count of them.
nlohmann::json commandsSeen(const testsupport::SimUnit &unit, size_t count)
{
    nlohmann::json seen;
    testsupport::pollFor(
        [&] { return (seen = unit.report().value("commands", nlohmann::json::array())).size() >= count; },
        5000);
    return seen;
}

// ser2net starts its device at 115200: the unit at 9600 answers only once the client's rate
// has reached it.
TEST_F(NetworkPortTest, ProbeAndVersionGoThroughAtTheRateTheClientSets)
{
    for (int rate : {9600, 115200}) {
        SCOPED_TRACE(rate);
        testsupport::SimUnit unit({"--baud", std::to_string(rate)});
        ASSERT_TRUE(unit.start()) << unit.error();
        testsupport::Ser2net server(unit.slavePath());
        ASSERT_TRUE(server.start()) << server.error();
        ComPortAPI_SetHardwareFlowControl(0);
        ComPortAPI_SetBaudRate(rate);
        ASSERT_TRUE(ComPortAPI_OpenNamed(server.name().c_str()));
        EXPECT_TRUE(sendCommand(PROBE, 0, 1, PROBE_REPLY));
        EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
        ComPortAPI_CloseCOM();
        const nlohmann::json seen = commandsSeen(unit, 2);
        ASSERT_EQ(2u, seen.size());
        EXPECT_EQ(rate, seen[0]["rate"]);
        EXPECT_EQ(rate, seen[1]["rate"]);
    }
}

// An image of every byte value, 255 in runs, announced by its length and checksum (0 minus the
// 32-bit sum of its bytes) as the update announces it; the unit checks both.
TEST_F(NetworkPortTest, AnImageAt115200WithFlowControlArrivesWhole)
{
    testsupport::SimUnit unit({"--baud", "9600"});
    ASSERT_TRUE(unit.start()) << unit.error();
    testsupport::Ser2net server(unit.slavePath());
    ASSERT_TRUE(server.start()) << server.error();
    std::vector<uint8_t> image(30000);
    uint32_t sum = 0;
    for (size_t i = 0; i < image.size(); i++) {
        image[i] = i % 7 < 3 ? 0xFF : (uint8_t)(i * 13);
        sum += image[i];
    }
    ComPortAPI_SetHardwareFlowControl(0);
    ComPortAPI_SetBaudRate(9600);
    ASSERT_TRUE(ComPortAPI_OpenNamed(server.name().c_str()));
    EXPECT_TRUE(ComPortAPI_SetHardwareFlowControl(1)); // the server acknowledged what was asked
    char command[100];
    snprintf(command, sizeof command, "%%fw -l %u %d", (unsigned)(0 - sum), (int)image.size());
    ASSERT_TRUE(sendCommand(command, 0, 1, (char *)"Ready"));
    EXPECT_TRUE(ComPortAPI_SetBaudRate(115200));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(sendData(image.data(), (int)image.size(), 1, (char *)"SUCCESS"));
    testing::internal::GetCapturedStdout();
    ComPortAPI_CloseCOM();
    nlohmann::json images;
    testsupport::pollFor(
        [&] { return (images = unit.report().value("images", nlohmann::json::array())).size() >= 1; }, 5000);
    ASSERT_EQ(1u, images.size());
    EXPECT_EQ("ok", images[0].value("verdict", "")) << images[0];
}

TEST_F(NetworkPortTest, APortInUseIsHeldAndItsServersTextReachesNoRead)
{
    testsupport::SimUnit unit({"--baud", "9600"});
    ASSERT_TRUE(unit.start()) << unit.error();
    testsupport::Ser2net server(unit.slavePath());
    ASSERT_TRUE(server.start()) << server.error();
    EXPECT_TRUE(ComPortAPI_NamedDeviceExists(server.name().c_str()));
    ComPortAPI_SetBaudRate(9600);
    ASSERT_TRUE(ComPortAPI_OpenNamed(server.name().c_str()));
    EXPECT_FALSE(ComPortAPI_NamedDeviceExists(server.name().c_str()));
    EXPECT_TRUE(ComPortAPI_OpenFoundPortHeld());
    EXPECT_TRUE(sendCommand(VERSION_QUERY, 0, 1, VERSION_REPLY));
}

// Nothing listens, or a server takes the connection and never says a word: no port, an error
// line with its name, and the call ends by its own bound.
TEST_F(NetworkPortTest, APortWhereNoServerAnswersIsAbsent)
{
    testsupport::SilentServer silent;
    ASSERT_TRUE(silent.ok());
    for (const std::string &name : {testsupport::localNetworkPortName(testsupport::freeLocalPort()),
                                    silent.name(), std::string("rfc2217://127.0.0.1")}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ComPortAPI_NamedDeviceExists(name.c_str()));
        EXPECT_FALSE(ComPortAPI_OpenFoundPortHeld());
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ComPortAPI_OpenNamed(name.c_str()));
        EXPECT_EQ("ERROR: Opening " + name + " failed !", testing::internal::GetCapturedStdout());
    }
}

// The unit goes away in the middle of an image: the write or the reply fails, as on a serial line.
TEST_F(NetworkPortTest, AUnitGoneInMidTransferFailsTheImage)
{
    testsupport::SimUnit unit({"--baud", "115200", "--disconnect", "5000"});
    ASSERT_TRUE(unit.start()) << unit.error();
    testsupport::Ser2net server(unit.slavePath());
    ASSERT_TRUE(server.start()) << server.error();
    std::vector<uint8_t> image(40000, 0x5A);
    ComPortAPI_SetBaudRate(115200);
    ASSERT_TRUE(ComPortAPI_OpenNamed(server.name().c_str()));
    ComPortAPI_SetHardwareFlowControl(1);
    char command[100];
    snprintf(command, sizeof command, "%%fw -l %u %d", (unsigned)(0 - 0x5Au * 40000), (int)image.size());
    ASSERT_TRUE(sendCommand(command, 0, 1, (char *)"Ready"));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(sendData(image.data(), (int)image.size(), 1, (char *)"SUCCESS"));
    testing::internal::GetCapturedStdout();
}

} // namespace
