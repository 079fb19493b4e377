#include "Reboot.h"

#include "Clock.h"

Reboot::Reboot(const Options &options, Report &report, Replies &replies)
    : options_(options), report_(report), replies_(replies)
{
}

void Reboot::start(uint64_t now)
{
    rebooting_ = true;
    report_.state = "rebooting";
    report_.rebootUs = now;
    bannerAt_ = now + options_.bannerAfterMs * 1000;
    promptAt_ = now + options_.promptAfterMs * 1000;
}

void Reboot::onTime(uint64_t now, const LineSettings &line)
{
    if (rebooting_ && bannerAt_ && now >= bannerAt_) {
        bannerAt_ = 0;
        // The boot loader talks at the console rate.
        replies_.setRate(options_.baud);
        report_.bannerUs = now;
        replies_.sendUnshaped(options_.banner, line);
        report_.changed(now);
    }
    if (rebooting_ && now >= promptAt_) {
        replies_.setRate(options_.baud);
        rebooting_ = false;
        report_.state = "ready";
        promptDone_ = true;
        if (!options_.noPrompt) {
            report_.promptUs = now;
            replies_.sendUnshaped(options_.prompt, line);
        }
        if (options_.exitAfterPrompt) {
            exitAt_ = now + options_.exitLingerMs * 1000;
        }
        report_.changed(now);
    }
    if (exitAt_ && now >= exitAt_) {
        finished_ = true;
    }
}

void Reboot::onPortClosed()
{
    if (promptDone_ && options_.exitAfterPrompt) {
        finished_ = true;
    }
}

uint64_t Reboot::nextWake() const
{
    return earliestWake({bannerAt_, rebooting_ ? promptAt_ : 0, exitAt_});
}
