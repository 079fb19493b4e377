#include "Telnet.h"

namespace telnet {

std::string escape(const char *data, size_t size)
{
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < size; i++) {
        out += data[i];
        if ((uint8_t)data[i] == IAC) {
            out += (char)IAC;
        }
    }
    return out;
}

void Decoder::feed(const char *bytes, size_t size, std::string *data, std::vector<Command> *commands)
{
    for (size_t i = 0; i < size; i++) {
        const uint8_t byte = (uint8_t)bytes[i];
        switch (state_) {
        case DATA:
            if (byte == IAC) {
                state_ = COMMAND;
            } else {
                *data += (char)byte;
            }
            break;
        case COMMAND:
            state_ = DATA;
            if (byte == IAC) {
                *data += (char)IAC;
            } else if (byte == SB) {
                state_ = SUB_OPTION;
            } else if (byte >= WILL) {
                pending_.verb = byte;
                state_ = OPTION;
            }
            break;
        case OPTION:
            commands->push_back(Command{pending_.verb, byte, "", data->size()});
            state_ = DATA;
            break;
        case SUB_OPTION:
            pending_ = Command{SB, byte, "", 0};
            state_ = SUB_VALUE;
            break;
        case SUB_VALUE:
            if (byte == IAC) {
                state_ = SUB_IAC;
            } else if (pending_.value.size() < SUBNEGOTIATION_LIMIT) {
                pending_.value += (char)byte;
            }
            break;
        case SUB_IAC:
            state_ = SUB_VALUE;
            if (byte == SE) {
                pending_.at = data->size();
                commands->push_back(pending_);
                state_ = DATA;
            } else if (byte == IAC && pending_.value.size() < SUBNEGOTIATION_LIMIT) {
                pending_.value += (char)IAC;
            }
            break;
        }
    }
}

namespace {

bool clientDoes(uint8_t option)
{
    return option == OPTION_BINARY || option == OPTION_SUPPRESS_GO_AHEAD || option == OPTION_COM_PORT;
}

bool serverMayDo(uint8_t option)
{
    return option == OPTION_BINARY || option == OPTION_SUPPRESS_GO_AHEAD;
}

} // namespace

std::string Negotiation::reply(uint8_t verb, uint8_t option)
{
    return std::string{(char)IAC, (char)verb, (char)option};
}

std::string Negotiation::opening()
{
    std::string requests;
    for (uint8_t option : {OPTION_BINARY, OPTION_SUPPRESS_GO_AHEAD}) {
        requests += reply(WILL, option) + reply(DO, option);
        ours_[option] = theirs_[option] = ASKED;
    }
    ours_[OPTION_COM_PORT] = ASKED;
    return requests + reply(WILL, OPTION_COM_PORT);
}

// The client never turns an option it agreed to off by itself, so a refusal or a switch-off only
// needs its acknowledgement when the option was on.
std::string Negotiation::answer(const Command &command)
{
    const uint8_t option = command.option;
    const bool asksClient = command.verb == DO || command.verb == DONT;
    State &state = asksClient ? ours_[option] : theirs_[option];
    const bool wanted = asksClient ? clientDoes(option) : serverMayDo(option);
    const State was = state;
    if (command.verb == DO || command.verb == WILL) {
        if (!wanted) {
            return reply(asksClient ? WONT : DONT, option);
        }
        state = YES;
        return was == NO ? reply(asksClient ? WILL : DO, option) : "";
    }
    if (command.verb == DONT || command.verb == WONT) {
        state = NO;
        return was == YES ? reply(asksClient ? WONT : DONT, option) : "";
    }
    return "";
}

bool Negotiation::settled() const
{
    for (int option = 0; option < 256; option++) {
        if (ours_[option] == ASKED || theirs_[option] == ASKED) {
            return false;
        }
    }
    return true;
}

bool Negotiation::comPortAccepted() const
{
    return ours_[OPTION_COM_PORT] == YES;
}

std::string comPortCommand(uint8_t command, const std::string &value)
{
    return std::string{(char)IAC, (char)SB, (char)OPTION_COM_PORT} + escape((const char *)&command, 1) +
           escape(value.data(), value.size()) + std::string{(char)IAC, (char)SE};
}

} // namespace telnet
