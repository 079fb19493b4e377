// The unit's console contract, played from the unit's side: the command frames taken off the
// line and dispatched to their replies, to an image transfer, or to the reboot that follows a
// good firmware image.
#pragma once
#include "CommandKind.h"
#include "FrameParser.h"
#include "ImageReceiver.h"
#include "LineSettings.h"
#include "Options.h"
#include "Outbox.h"
#include "Reboot.h"
#include "Replies.h"
#include "Report.h"

#include <cstddef>
#include <cstdint>

class Console {
public:
    static constexpr unsigned IMAGE_RATE = ImageReceiver::IMAGE_RATE;

    Console(const Options &options, Report &report, Outbox &outbox);

    // Bytes taken off the line, with the line settings the tool had applied when they came.
    // `carriedAhead`: bytes the line carried while a real driver would have held the tool's
    // write (see DriverQueue); their line time is counted apart.
    void onInput(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                 bool carriedAhead);
    // The program on the other side closed the port.
    void onPortClosed();
    // Timed events (reboot banner and prompt, the end of a stall, the end of the run).
    void onTime(uint64_t now, const LineSettings &line);

    // How many bytes the unit takes now: 0 while it stalls, up to a stall or disconnect point.
    size_t inputLimit(uint64_t now) const { return stoppedTaking_ ? 0 : images_.inputLimit(now); }
    // The next time onTime has something to do (0: nothing planned).
    uint64_t nextWake() const;
    // The rate the unit's own UART runs at now.
    unsigned unitRate() const { return replies_.rate(); }
    bool disconnectRequested() const { return images_.disconnectRequested(); }
    bool finished() const { return reboot_.finished(); }
    // Set once the unit takes no byte more (--stop-taking-after): the line is to be stopped.
    bool stoppedTaking() const { return stoppedTaking_; }

private:
    void handleFrame(const Frame &frame, uint64_t now, const LineSettings &line);
    bool parseUpload(const std::string &text, uint32_t &checksum, uint64_t &length) const;
    void finishImage(uint64_t now, const LineSettings &line);

    const Options &options_;
    Report &report_;
    FrameParser parser_;
    Replies replies_;
    ImageReceiver images_;
    Reboot reboot_;
    unsigned probesAtRate_ = 0; // probes that arrived at the unit's rate
    bool stoppedTaking_ = false;
    std::string firmwareVersion_; // what "%fw -v" reports: the release's after a good firmware image
};
