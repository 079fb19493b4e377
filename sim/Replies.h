// How the unit's replies go out on the line: the reply faults the options choose (each one
// recorded in the report), what a line at another rate makes of them, and the chatter of a
// device of another kind.
#pragma once
#include "CommandKind.h"
#include "LineSettings.h"
#include "Options.h"
#include "Outbox.h"
#include "Report.h"

#include <cstdint>
#include <string>

class Replies {
public:
    Replies(const Options &options, Report &report, Outbox &outbox);

    // Sends one reply as the options shape it; returns how it went out: reply, garbage or silent.
    std::string send(CommandKind kind, std::string reply, bool overridden, uint64_t now,
                     const LineSettings &line);
    // The same with the reply that --reply sets for this kind, if any, in place of `normal`.
    std::string send(CommandKind kind, const std::string &normal, uint64_t now, const LineSettings &line);
    // The boot texts are no replies: no reply fault applies to them, only the line's rate.
    void sendUnshaped(const std::string &text, const LineSettings &line);

    // The chatter line, when it is due.
    void onTime(uint64_t now);
    // The next chatter line (0: none planned).
    uint64_t nextWake() const;

    // The rate the unit's own UART runs at now.
    unsigned rate() const { return rate_; }
    void setRate(unsigned rate) { rate_ = rate; }

private:
    const Options &options_;
    Report &report_;
    Outbox &outbox_;
    unsigned rate_;
    uint64_t chatterAt_ = 1; // the next line of a device that never falls silent
};
