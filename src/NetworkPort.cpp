#include "NetworkPort.h"

#include <algorithm>
#include <cstring>

#include "CommTimeouts.h"

namespace {

// RFC 2217 commands from the client; the server acknowledges each with its code plus this.
const uint8_t SET_BAUDRATE = 1;
const uint8_t SET_DATASIZE = 2;
const uint8_t SET_PARITY = 3;
const uint8_t SET_STOPSIZE = 4;
const uint8_t SET_CONTROL = 5;
const uint8_t PURGE_DATA = 12;
const uint8_t SERVER_CODE_OFFSET = 100;

// SET-PARITY, SET-STOPSIZE and SET-CONTROL values.
const uint8_t SENT_PARITY_NONE = 1, SENT_PARITY_ODD = 2, SENT_PARITY_EVEN = 3;
const uint8_t SENT_STOP_ONE = 1, SENT_STOP_TWO = 2, SENT_STOP_ONE_AND_HALF = 3;
const uint8_t SENT_FLOW_NONE = 1, SENT_FLOW_HARDWARE = 3;
// PURGE-DATA: receive 1, transmit 2, both 3.
const uint8_t PURGE_RECEIVE = 1, PURGE_TRANSMIT = 2;

const int64_t CONNECT_BOUND_MS = 3000;
const int64_t NEGOTIATION_BOUND_MS = 2000;
// A server that never acknowledges a command (ser2net on a pseudo-terminal does not acknowledge
// modem-line commands) costs this once, then the call goes on.
const int64_t ACKNOWLEDGEMENT_BOUND_MS = 1000;

const char NAME_PREFIX[] = "rfc2217://";

std::string bigEndian32(DWORD value)
{
    return std::string{(char)(value >> 24), (char)(value >> 16), (char)(value >> 8), (char)value};
}

std::string byteOf(uint8_t value)
{
    return std::string(1, (char)value);
}

bool isDecimal(const std::string &text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool passed(Deadline deadline)
{
    return std::chrono::steady_clock::now() >= deadline;
}

} // namespace

bool parseNetworkPortName(const char *name, std::string *host, std::string *port)
{
    const size_t prefixLength = sizeof NAME_PREFIX - 1;
    if (strncmp(name, NAME_PREFIX, prefixLength) != 0) {
        return false;
    }
    const std::string rest = name + prefixLength;
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string hostPart = rest.substr(0, colon);
    const std::string portPart = rest.substr(colon + 1);
    const bool bracketed = hostPart.size() > 2 && hostPart.front() == '[' && hostPart.back() == ']';
    if (bracketed) {
        hostPart = hostPart.substr(1, hostPart.size() - 2);
    }
    // Only an IPv6 address holds a colon, and only in brackets; nothing else may.
    const bool hostFits = !hostPart.empty() && hostPart.find_first_of("[]/") == std::string::npos &&
                          (hostPart.find(':') != std::string::npos) == bracketed;
    if (!hostFits || !isDecimal(portPart) || portPart.size() > 5 || portPart[0] == '0' ||
        std::stoi(portPart) > 65535) {
        return false;
    }
    *host = hostPart;
    *port = portPart;
    return true;
}

NetworkPortReach NetworkPort::connect(const std::string &host, const std::string &port)
{
    if (!link_.connect(host, port, deadlineAfterMs(CONNECT_BOUND_MS))) {
        return NetworkPortReach::ABSENT;
    }
    unsent_ = negotiation_.opening();
    const Deadline negotiated = deadlineAfterMs(NEGOTIATION_BOUND_MS);
    // The requests go first: a server may wait for them before it says anything.
    if (!flush(negotiated)) {
        return NetworkPortReach::HELD;
    }
    while (!negotiation_.settled() || !unsent_.empty()) {
        if (passed(negotiated)) {
            return NetworkPortReach::ABSENT;
        }
        if (!pump(negotiated)) {
            return NetworkPortReach::HELD;
        }
    }
    if (negotiation_.comPortAccepted()) {
        // A rate of 0 asks for the current one.
        ask(Request{SET_BAUDRATE, bigEndian32(0), true});
        if (!exchange(deadlineAfterMs(ACKNOWLEDGEMENT_BOUND_MS))) {
            return NetworkPortReach::HELD;
        }
    }
    return NetworkPortReach::REACHED;
}

BOOL NetworkPort::setLineSettings(const DCB &dcb)
{
    if (!negotiation_.comPortAccepted()) {
        return FALSE;
    }
    const uint8_t parity = dcb.Parity == ODDPARITY    ? SENT_PARITY_ODD
                           : dcb.Parity == EVENPARITY ? SENT_PARITY_EVEN
                                                      : SENT_PARITY_NONE;
    const uint8_t stops = dcb.StopBits == TWOSTOPBITS    ? SENT_STOP_TWO
                          : dcb.StopBits == ONE5STOPBITS ? SENT_STOP_ONE_AND_HALF
                                                         : SENT_STOP_ONE;
    // The server carries CTS itself: with hardware flow control its TCP window holds our writes back.
    const Request wanted[] = {
        {SET_BAUDRATE, bigEndian32(dcb.BaudRate), false},
        {SET_DATASIZE, byteOf(dcb.ByteSize), false},
        {SET_PARITY, byteOf(parity), false},
        {SET_STOPSIZE, byteOf(stops), false},
        {SET_CONTROL, byteOf(dcb.fOutxCtsFlow ? SENT_FLOW_HARDWARE : SENT_FLOW_NONE), false},
    };
    for (const Request &request : wanted) {
        if (*askedFor(request.command) != request.value) {
            ask(request);
        }
    }
    refused_ = false;
    return exchange(deadlineAfterMs(ACKNOWLEDGEMENT_BOUND_MS)) && !refused_ ? TRUE : FALSE;
}

BOOL NetworkPort::purge(DWORD flags)
{
    const uint8_t which = ((flags & PURGE_RXCLEAR) != 0 ? PURGE_RECEIVE : 0) |
                          ((flags & PURGE_TXCLEAR) != 0 ? PURGE_TRANSMIT : 0);
    if (which == 0) {
        return TRUE;
    }
    if ((which & PURGE_RECEIVE) != 0) {
        input_.clear();
    }
    ask(Request{PURGE_DATA, byteOf(which), false});
    return exchange(deadlineAfterMs(ACKNOWLEDGEMENT_BOUND_MS)) ? TRUE : FALSE;
}

BOOL NetworkPort::read(void *buffer, DWORD count, DWORD *received)
{
    const ReadLimits limits = readLimitsFor(timeouts_, count);
    const Deadline total = deadlineAfterMs(limits.totalMs);
    // Data come before the call count as come at its start.
    Deadline interval = input_.empty() ? NO_DEADLINE : deadlineAfterMs(limits.intervalMs);
    BOOL result = TRUE;
    while (input_.size() < count) {
        const Deadline deadline = std::min(total, interval);
        const size_t had = input_.size();
        if (gone_ || !pump(deadline)) {
            result = FALSE;
            break;
        }
        if (input_.size() > had) {
            interval = deadlineAfterMs(limits.intervalMs);
        } else if (passed(deadline)) {
            break;
        }
    }
    const size_t taken = std::min<size_t>(count, input_.size());
    memcpy(buffer, input_.data(), taken);
    input_.erase(0, taken);
    *received = (DWORD)taken;
    return result;
}

BOOL NetworkPort::write(const void *buffer, DWORD count, DWORD *written)
{
    *written = 0;
    const Deadline deadline = deadlineAfterMs(writeLimitMsFor(timeouts_, count));
    if (gone_ || !flush(deadline)) {
        return FALSE;
    }
    if (!unsent_.empty()) {
        return TRUE;
    }
    const char *data = static_cast<const char *>(buffer);
    const std::string wire = telnet::escape(data, count);
    size_t sent = 0;
    const bool alive = link_.send(wire.data(), wire.size(), deadline, &sent);
    // A data byte counts as written once its first wire byte is: the second of a doubled 255
    // stays committed and goes first next time, so that the stream stays well formed.
    size_t begun = 0;
    size_t at = 0;
    while (at < sent) {
        at += (uint8_t)data[begun] == telnet::IAC ? 2 : 1;
        begun++;
    }
    if (at > sent) {
        unsent_ = byteOf(telnet::IAC);
    }
    *written = (DWORD)begun;
    gone_ = !alive;
    return alive ? TRUE : FALSE;
}

void NetworkPort::ask(const Request &request)
{
    unsent_ += telnet::comPortCommand(request.command, request.value);
    awaited_.push_back(request);
    std::string *asked = askedFor(request.command);
    if (!request.query && asked != nullptr) {
        *asked = request.value;
    }
}

// Sends what is committed and waits for the acknowledgements awaited until deadline: those that
// have not come by then are let go. FALSE when the connection is gone.
bool NetworkPort::exchange(Deadline deadline)
{
    if (gone_ || !flush(deadline)) {
        return false;
    }
    while (!awaited_.empty() && !passed(deadline)) {
        if (!pump(deadline)) {
            return false;
        }
    }
    awaited_.clear();
    return true;
}

// Takes one reception from the server, waiting for it until deadline: its data kept for reads
// (unless a purge is awaited: they came before it), its commands answered or matched with the
// requests awaited. FALSE when the connection is gone.
bool NetworkPort::pump(Deadline deadline)
{
    char chunk[4096];
    size_t size = 0;
    if (!link_.receive(chunk, sizeof chunk, deadline, &size)) {
        gone_ = true;
        return false;
    }
    std::string data;
    std::vector<telnet::Command> commands;
    decoder_.feed(chunk, size, &data, &commands);
    size_t kept = 0;
    for (const telnet::Command &command : commands) {
        keep(data, kept, command.at);
        kept = command.at;
        take(command);
    }
    keep(data, kept, data.size());
    return flush(deadline);
}

void NetworkPort::keep(const std::string &data, size_t from, size_t to)
{
    if (!purgeAwaited()) {
        input_.append(data, from, to - from);
    }
}

// Option commands get the negotiation's answer; an acknowledgement ends the wait for its
// request; notifications of line and modem state have no use here.
void NetworkPort::take(const telnet::Command &command)
{
    if (command.verb != telnet::SB) {
        unsent_ += negotiation_.answer(command);
        return;
    }
    if (command.option != telnet::OPTION_COM_PORT || command.value.empty()) {
        return;
    }
    const uint8_t code = (uint8_t)command.value[0];
    for (auto request = awaited_.begin(); request != awaited_.end(); ++request) {
        if (request->command + SERVER_CODE_OFFSET == code) {
            const std::string acknowledged = command.value.substr(1);
            std::string *asked = askedFor(request->command);
            if (!request->query && acknowledged != request->value) {
                // Asked again when wanted again: the server holds another value.
                if (asked != nullptr) {
                    *asked = acknowledged;
                }
                refused_ = true;
            }
            awaited_.erase(request);
            return;
        }
    }
}

// Sends the committed bytes until deadline; what the server has not taken stays committed.
bool NetworkPort::flush(Deadline deadline)
{
    size_t sent = 0;
    const bool alive = link_.send(unsent_.data(), unsent_.size(), deadline, &sent);
    unsent_.erase(0, sent);
    gone_ = gone_ || !alive;
    return alive;
}

std::string *NetworkPort::askedFor(uint8_t command)
{
    return command >= SET_BAUDRATE && command <= SET_CONTROL ? &asked_[command] : nullptr;
}

bool NetworkPort::purgeAwaited() const
{
    return std::any_of(awaited_.begin(), awaited_.end(),
                       [](const Request &request) { return request.command == PURGE_DATA; });
}
