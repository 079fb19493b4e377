#include "Replies.h"

#include <algorithm>

namespace {

constexpr uint64_t CHATTER_INTERVAL_US = 100000;
const char CHATTER_LINE[] = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

// What a UART set to another rate makes of the reply: the same number of wrong bytes,
// the same every time for the same reply and rates.
std::string garble(const std::string &reply, unsigned toolRate, unsigned unitRate)
{
    uint32_t state = toolRate * 2654435761u ^ unitRate;
    std::string out = reply;
    for (char &c : out) {
        state = state * 1103515245u + 12345u;
        char g = char(uint8_t(c) ^ uint8_t(state >> 16) ^ 0x80);
        c = g == c ? char(g ^ 0x55) : g;
    }
    return out;
}

std::string hugeText(uint64_t size)
{
    static const std::string DUMP_LINE = "Norvex 6G SDI EXTENDER TX diagnostic dump 0123456789ABCDEF\r\n";
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        out.append(DUMP_LINE, 0, std::min<uint64_t>(DUMP_LINE.size(), size - out.size()));
    }
    return out;
}

} // namespace

Replies::Replies(const Options &options, Report &report, Outbox &outbox)
    : options_(options), report_(report), outbox_(outbox), rate_(options.baud)
{
}

std::string Replies::send(CommandKind kind, std::string reply, bool overridden, uint64_t now,
                          const LineSettings &line)
{
    const size_t k = size_t(kind);
    const std::string name = commandKindName(kind);
    if (options_.silentTo[k]) {
        report_.faults.push_back(FaultRecord{now, "silent", name});
        return "silent";
    }
    if (overridden) {
        report_.faults.push_back(FaultRecord{now, "reply", name});
    }
    if (options_.hugeReply[k]) {
        reply = hugeText(*options_.hugeReply[k]);
        report_.faults.push_back(
            FaultRecord{now, "huge-reply", name + " " + std::to_string(reply.size()) + " bytes"});
    }
    if (!options_.trailing.empty()) {
        reply += options_.trailing;
        report_.faults.push_back(FaultRecord{now, "trailing", name});
    }
    std::string how = "reply";
    if (options_.garbageTo[k] || line.rate != rate_) {
        // At another rate this is no fault of the unit: it is what the line makes of its reply.
        if (options_.garbageTo[k]) {
            report_.faults.push_back(FaultRecord{now, "garbage", name});
        }
        reply = garble(reply, line.rate, rate_);
        how = "garbage";
    }
    if (options_.splitPauseMs && reply.size() > options_.splitAfterBytes) {
        report_.faults.push_back(FaultRecord{now, "split", name});
        outbox_.send(reply.substr(0, options_.splitAfterBytes));
        outbox_.pause(options_.splitPauseMs * 1000);
        outbox_.send(reply.substr(options_.splitAfterBytes));
    } else {
        outbox_.send(std::move(reply));
    }
    return how;
}

std::string Replies::send(CommandKind kind, const std::string &normal, uint64_t now, const LineSettings &line)
{
    const std::optional<std::string> &override = options_.reply[size_t(kind)];
    return send(kind, override.value_or(normal), override.has_value(), now, line);
}

void Replies::sendUnshaped(const std::string &text, const LineSettings &line)
{
    outbox_.send(line.rate == rate_ ? text : garble(text, line.rate, rate_));
}

void Replies::onTime(uint64_t now)
{
    if (options_.chatter && now >= chatterAt_) {
        // A device of another kind: it talks at whatever rate the port runs.
        outbox_.send(CHATTER_LINE);
        chatterAt_ = now + CHATTER_INTERVAL_US;
    }
}

uint64_t Replies::nextWake() const
{
    return options_.chatter ? chatterAt_ : 0;
}
