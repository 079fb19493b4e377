// The unit's side of an image transfer: the bytes taken and checked against the announced
// length and checksum, the line settings they came with, and the stall and disconnect faults
// the options place inside a transfer.
#pragma once
#include "CommandKind.h"
#include "LineSettings.h"
#include "Options.h"
#include "Report.h"

#include <cstddef>
#include <cstdint>

class ImageReceiver {
public:
    static constexpr unsigned IMAGE_RATE = 115200;

    ImageReceiver(const Options &options, Report &report);

    // An upload command was taken: its image follows.
    void start(CommandKind kind, uint32_t checksum, uint64_t length, uint64_t now);
    bool receiving() const { return receiving_; }
    // Takes image bytes, no more than the image still lacks; returns how many it took.
    size_t take(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                bool carriedAhead);
    // The whole announced length is here.
    bool complete() const;
    // Gives the image its verdict and ends the transfer; returns whether the bytes received
    // are those that were sent (their checksum, and the rate they crossed the line at).
    bool finish();

    // The end of a stall.
    void onTime(uint64_t now);
    // How many bytes the unit takes now: 0 while it stalls, up to a stall or disconnect point.
    size_t inputLimit(uint64_t now) const;
    // The end of the stall under way (0: none).
    uint64_t nextWake() const { return stallUntil_; }
    bool disconnectRequested() const { return disconnect_; }

private:
    void checkTransferPoints(uint64_t now);

    const Options &options_;
    Report &report_;
    bool receiving_ = false;
    bool stallDone_ = false;
    uint64_t stallUntil_ = 0;
    bool disconnect_ = false;
};
