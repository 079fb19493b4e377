// The Telnet byte layer of a network port (RFC 854, with the options RFC 2217 needs): data bytes
// escaped on the way out, commands and subnegotiations taken out of what the server sends, and
// the client's side of the option negotiation. Pure: no socket, no clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace telnet {

const uint8_t IAC = 255;
const uint8_t DONT = 254;
const uint8_t DO = 253;
const uint8_t WONT = 252;
const uint8_t WILL = 251;
const uint8_t SB = 250;
const uint8_t SE = 240;

const uint8_t OPTION_BINARY = 0;
const uint8_t OPTION_ECHO = 1;
const uint8_t OPTION_SUPPRESS_GO_AHEAD = 3;
const uint8_t OPTION_COM_PORT = 44;

// A subnegotiation's value is cut at this length: no server reply of RFC 2217 comes near it, and
// one that never ends must not grow without bound.
const size_t SUBNEGOTIATION_LIMIT = 256;

// Data as it travels: every byte 255 doubled, so that it is not taken for IAC.
std::string escape(const char *data, size_t size);

// An option command (WILL, WONT, DO, DONT) or a subnegotiation (SB, its value undoubled), and
// where it came among the data: when feed()'s data held `at` bytes (an acknowledged purge divides
// the data before it from the data after it).
struct Command {
    uint8_t verb;
    uint8_t option;
    std::string value;
    size_t at;
    bool operator==(const Command &other) const
    {
        return verb == other.verb && option == other.option && value == other.value && at == other.at;
    }
};

// Splits what the server sends into data bytes and commands. A command or a doubled 255 cut
// between two receptions is finished by the next one. Two-byte commands other than the options
// (NOP, GA, ...) carry nothing for a serial line and are dropped.
class Decoder {
public:
    void feed(const char *bytes, size_t size, std::string *data, std::vector<Command> *commands);

private:
    enum State { DATA, COMMAND, OPTION, SUB_OPTION, SUB_VALUE, SUB_IAC };
    State state_ = DATA;
    Command pending_{};
};

// The client's options: BINARY and SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION on its side,
// nothing else (ECHO in particular, which would send the unit's text back to it).
class Negotiation {
public:
    // The requests the client opens with: WILL BINARY, DO BINARY, WILL SUPPRESS-GO-AHEAD,
    // DO SUPPRESS-GO-AHEAD, WILL COM-PORT-OPTION.
    std::string opening();
    // What the client answers to one of the server's option commands: "" when the command
    // answers a request of the client's or confirms what holds (answering it would loop).
    std::string answer(const Command &command);
    // Every request of opening() has been answered.
    bool settled() const;
    // The server takes COM-PORT-OPTION commands.
    bool comPortAccepted() const;

private:
    enum State : uint8_t { NO, ASKED, YES };
    std::string reply(uint8_t verb, uint8_t option);
    State ours_[256] = {};   // what the client does (WILL)
    State theirs_[256] = {}; // what the server does (DO)
};

// A COM-PORT-OPTION command: IAC SB COM-PORT-OPTION command value IAC SE, the value's 255 doubled.
std::string comPortCommand(uint8_t command, const std::string &value);

} // namespace telnet
