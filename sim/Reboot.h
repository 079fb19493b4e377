// The unit's reboot after a good firmware image: deaf to the line, the boot banner, the
// prompt, and (when asked) the end of the run once the prompt is out.
#pragma once
#include "LineSettings.h"
#include "Options.h"
#include "Replies.h"
#include "Report.h"

#include <cstdint>

class Reboot {
public:
    Reboot(const Options &options, Report &report, Replies &replies);

    void start(uint64_t now);
    bool rebooting() const { return rebooting_; }
    // The banner, the prompt and the end of the run, each when it is due.
    void onTime(uint64_t now, const LineSettings &line);
    void onPortClosed();
    // The next of those times (0: none planned).
    uint64_t nextWake() const;
    bool finished() const { return finished_; }

private:
    const Options &options_;
    Report &report_;
    Replies &replies_;
    bool rebooting_ = false;
    uint64_t bannerAt_ = 0, promptAt_ = 0, exitAt_ = 0;
    bool promptDone_ = false;
    bool finished_ = false;
};
