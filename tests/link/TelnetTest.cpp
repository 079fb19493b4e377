// The Telnet byte layer of network ports, and their names: tables with the exact bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NetworkPort.h"
#include "Telnet.h"

namespace {

using namespace std::string_literals;
using telnet::Command;

const uint8_t COM = telnet::OPTION_COM_PORT;

struct DecodeRow {
    std::string wire;
    std::string data;
    std::vector<Command> commands;
};

const DecodeRow DECODE_ROWS[] = {
    {"AB\xFF\xFF\xFF\xFF"
     "C"s,
     "AB\xFF\xFF"
     "C"s,
     {}},
    {"x\xFF\xFB\x01y\xFF\xFE\x2C"s, "xy", {{telnet::WILL, 1, "", 1}, {telnet::DONT, COM, "", 2}}},
    // A modem state notification, an acknowledged rate with a doubled 255, data around them.
    {"12\xFF\xFA\x2C\x6B\x30\xFF\xF0"
     "34\xFF\xFA\x2C\x65\x00\x00\xFF\xFF\xFF\xF0\xFF\xFF"s,
     "1234\xFF"s,
     {{telnet::SB, COM, "\x6B\x30"s, 2}, {telnet::SB, COM, "\x65\x00\x00\xFF"s, 4}}},
    // Commands of two bytes carry nothing: NOP, GA, an SE out of place.
    {"a\xFF\xF1"
     "b\xFF\xF9"
     "c\xFF\xF0"s,
     "abc",
     {}},
    // ser2net to a second client.
    {"\xFF\xFB\x03\xFF\xFD\x01\xFF\xFA\x2C\x6B\x00\xFF\xF0Port already in use\r\n"s,
     "Port already in use\r\n",
     {{telnet::WILL, 3, "", 0}, {telnet::DO, 1, "", 0}, {telnet::SB, COM, "\x6B\x00"s, 0}}},
};

void expectDecodes(const DecodeRow &row, const std::vector<size_t> &cuts)
{
    telnet::Decoder decoder;
    std::string data;
    std::vector<Command> commands;
    size_t from = 0;
    for (size_t cut : cuts) {
        decoder.feed(row.wire.data() + from, cut - from, &data, &commands);
        from = cut;
    }
    EXPECT_EQ(row.data, data);
    EXPECT_EQ(row.commands, commands);
}

TEST(Telnet, DataAndCommandsComeApartWhereverTheReceptionsSplit)
{
    for (const DecodeRow &row : DECODE_ROWS) {
        SCOPED_TRACE(testing::PrintToString(row.wire));
        std::vector<size_t> everyByte;
        for (size_t cut = 0; cut <= row.wire.size(); cut++) {
            SCOPED_TRACE(cut);
            expectDecodes(row, {cut, row.wire.size()});
            everyByte.push_back(cut);
        }
        expectDecodes(row, everyByte);
    }
}

TEST(Telnet, EveryByteValueCrossesBothWays)
{
    std::string all;
    for (int value = 0; value < 256; value++) {
        all += (char)value;
    }
    const std::string wire = telnet::escape(all.data(), all.size());
    EXPECT_EQ(all + "\xFF"s, wire);
    telnet::Decoder decoder;
    std::string data;
    std::vector<Command> commands;
    decoder.feed(wire.data(), wire.size(), &data, &commands);
    EXPECT_EQ(all, data);
    EXPECT_TRUE(commands.empty());
}

TEST(Telnet, ComPortCommandsDoubleThe255OfTheirValue)
{
    EXPECT_EQ("\xFF\xFA\x2C\x01\x00\x01\xC2\x00\xFF\xF0"s, telnet::comPortCommand(1, "\x00\x01\xC2\x00"s));
    EXPECT_EQ("\xFF\xFA\x2C\x01\x00\x00\xFF\xFF\xFF\xFF\xFF\xF0"s,
              telnet::comPortCommand(1, "\x00\x00\xFF\xFF"s));
}

// The server's option commands, one after the other, and what the client answers to each.
struct NegotiationRow {
    bool opened; // the client sent its requests first
    std::vector<std::pair<std::string, std::string>> exchanges;
};

const std::string WILL = "\xFF\xFB"s, WONT = "\xFF\xFC"s, DO = "\xFF\xFD"s, DONT = "\xFF\xFE"s;
const std::string OPTION_BINARY = "\x00"s, OPTION_ECHO = "\x01"s, OPTION_SGA = "\x03"s, OPTION_COM = "\x2C"s,
                  OPTION_TERMINAL_TYPE = "\x18"s;

const NegotiationRow NEGOTIATION_ROWS[] = {
    // ser2net's opening: answers to the client's requests, and ECHO refused.
    {true,
     {{WILL + OPTION_SGA, ""},
      {DO + OPTION_SGA, ""},
      {WILL + OPTION_ECHO, DONT + OPTION_ECHO},
      {DONT + OPTION_ECHO, ""},
      {DO + OPTION_BINARY, ""},
      {WILL + OPTION_BINARY, ""},
      {DO + OPTION_COM, ""}}},
    // A server that asks first gets the matching answer, once.
    {false,
     {{DO + OPTION_BINARY, WILL + OPTION_BINARY},
      {DO + OPTION_BINARY, ""},
      {WILL + OPTION_SGA, DO + OPTION_SGA},
      {DO + OPTION_COM, WILL + OPTION_COM}}},
    // Unknown options and ECHO are refused both ways, and so is a server doing COM-PORT-OPTION.
    {true,
     {{DO + OPTION_TERMINAL_TYPE, WONT + OPTION_TERMINAL_TYPE},
      {WILL + OPTION_TERMINAL_TYPE, DONT + OPTION_TERMINAL_TYPE},
      {DO + OPTION_ECHO, WONT + OPTION_ECHO},
      {WILL + OPTION_COM, DONT + OPTION_COM}}},
    // Switched off after it was on: acknowledged; refused while asked: taken as the answer.
    {true,
     {{DO + OPTION_BINARY, ""},
      {DONT + OPTION_BINARY, WONT + OPTION_BINARY},
      {WONT + OPTION_SGA, ""},
      {WILL + OPTION_SGA, DO + OPTION_SGA}}},
};

TEST(Telnet, TheClientAnswersEachOptionCommandOfTheServer)
{
    for (const NegotiationRow &row : NEGOTIATION_ROWS) {
        telnet::Negotiation negotiation;
        if (row.opened) {
            EXPECT_EQ(WILL + OPTION_BINARY + DO + OPTION_BINARY + WILL + OPTION_SGA + DO + OPTION_SGA + WILL +
                          OPTION_COM,
                      negotiation.opening());
        }
        for (const auto &[command, answer] : row.exchanges) {
            SCOPED_TRACE(testing::PrintToString(command));
            EXPECT_EQ(answer, negotiation.answer(Command{(uint8_t)command[1], (uint8_t)command[2], "", 0}));
        }
    }
}

TEST(Telnet, NegotiationSettlesOnceEveryRequestIsAnswered)
{
    telnet::Negotiation negotiation;
    negotiation.opening();
    const uint8_t answers[][2] = {{telnet::DO, 0}, {telnet::WILL, 0}, {telnet::DO, 3}, {telnet::WILL, 3}};
    for (const auto &answer : answers) {
        EXPECT_FALSE(negotiation.settled());
        negotiation.answer(Command{answer[0], answer[1], "", 0});
    }
    EXPECT_FALSE(negotiation.settled());
    EXPECT_FALSE(negotiation.comPortAccepted());
    negotiation.answer(Command{telnet::DO, COM, "", 0});
    EXPECT_TRUE(negotiation.settled());
    EXPECT_TRUE(negotiation.comPortAccepted());
}

TEST(NetworkPortName, HostAndPortOrNone)
{
    struct Row {
        const char *name;
        const char *host; // nullptr: not a network port name
        const char *port;
    };
    const Row rows[] = {
        {"rfc2217://unit-3.site:2001", "unit-3.site", "2001"},
        {"rfc2217://10.0.0.7:65535", "10.0.0.7", "65535"},
        {"rfc2217://[fe80::1]:1", "fe80::1", "1"},
        {"rfc2217://fe80::1:2001", nullptr, nullptr},
        {"rfc2217://[]:2001", nullptr, nullptr},
        {"rfc2217://host:65536", nullptr, nullptr},
        {"rfc2217://host:0", nullptr, nullptr},
        {"rfc2217://host:20x1", nullptr, nullptr},
        {"rfc2217://host:", nullptr, nullptr},
        {"rfc2217://:2001", nullptr, nullptr},
        {"rfc2217://host", nullptr, nullptr},
        {"rfc2217://host/x:2001", nullptr, nullptr},
        {"telnet://host:2001", nullptr, nullptr},
        {"COM3", nullptr, nullptr},
    };
    for (const Row &row : rows) {
        std::string host = "unchanged", port = "unchanged";
        EXPECT_EQ(row.host != nullptr, parseNetworkPortName(row.name, &host, &port)) << row.name;
        EXPECT_EQ(row.host != nullptr ? row.host : "unchanged", host) << row.name;
        EXPECT_EQ(row.port != nullptr ? row.port : "unchanged", port) << row.name;
    }
}

} // namespace
