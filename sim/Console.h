// The unit's console contract, played from the unit's side: commands in, replies out,
// images received and checked, the reboot and its prompt, and the faults chosen by options.
#pragma once
#include "CommandKind.h"
#include "FrameParser.h"
#include "LineSettings.h"
#include "Options.h"
#include "Outbox.h"
#include "Report.h"

#include <cstddef>
#include <cstdint>

class Console {
public:
    static constexpr unsigned IMAGE_RATE = 115200;

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
    size_t inputLimit(uint64_t now) const;
    // The next time onTime has something to do (0: nothing planned).
    uint64_t nextWake() const;
    // The rate the unit's own UART runs at now.
    unsigned unitRate() const { return rate_; }
    bool disconnectRequested() const { return disconnect_; }
    bool finished() const { return finished_; }

private:
    enum class Mode { Commands, Image, Rebooting };

    void handleFrame(const Frame &frame, uint64_t now, const LineSettings &line);
    bool parseUpload(const std::string &text, uint32_t &checksum, uint64_t &length) const;
    void startImage(CommandKind kind, uint32_t checksum, uint64_t length, uint64_t now,
                    const LineSettings &line);
    size_t takeImage(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                     bool carriedAhead);
    void checkTransferPoints(uint64_t now);
    void finishImage(uint64_t now, const LineSettings &line);
    // Sends one reply as the options shape it (recording each fault applied); returns how it
    // went out: reply, garbage or silent.
    std::string answer(CommandKind kind, std::string reply, bool overridden, uint64_t now,
                       const LineSettings &line);
    // The same with the reply that --reply sets for this kind, if any, in place of `normal`.
    std::string answer(CommandKind kind, const std::string &normal, uint64_t now, const LineSettings &line);
    // The boot texts are no replies: no reply fault applies to them, only the line's rate.
    std::string garbledUnlessAt(const std::string &text, const LineSettings &line) const;
    void fault(uint64_t now, const std::string &name, const std::string &detail);
    void changed(uint64_t now);

    const Options &options_;
    Report &report_;
    Outbox &outbox_;
    FrameParser parser_;

    Mode mode_ = Mode::Commands;
    unsigned rate_;
    unsigned probesAtRate_ = 0; // probes that arrived at the unit's rate
    bool stallDone_ = false;
    uint64_t stallUntil_ = 0;
    bool disconnect_ = false;
    uint64_t bannerAt_ = 0, promptAt_ = 0, exitAt_ = 0;
    bool promptDone_ = false;
    bool finished_ = false;
    uint64_t lastWriteUs_ = 0;
    uint64_t chatterAt_ = 1; // the next line of a device that never falls silent
};
