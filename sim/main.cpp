// unitsim: a simulated extender unit on a pseudo-terminal (see --help).
#include "Clock.h"
#include "Console.h"
#include "LinePacer.h"
#include "Options.h"
#include "Outbox.h"
#include "PtyLine.h"
#include "Report.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t gStopSignal = 0;

void onStopSignal(int signal) { gStopSignal = signal; }

// While no one has the port open the master reports a hang-up at once: look again this often.
constexpr uint64_t kClosedPortRetryUs = 10000;
// Longest sleep between two looks at the clock, so that a report stays fresh while idle.
constexpr uint64_t kMaxSleepUs = 200000;

std::string describe(const Options &o)
{
    return "role=" + o.role + " baud=" + std::to_string(o.baud) + " version=" + o.fwVersion + " " + o.model + " " +
           o.fpgaVersion + " " + std::to_string(o.deviceCode) + (o.pace ? " paced" : "");
}

// Waits for the line or for `timeoutUs`, whichever first; a stop signal ends the wait too.
int waitFor(pollfd *fd, uint64_t timeoutUs, const sigset_t &waitMask)
{
    timespec timeout{time_t(timeoutUs / 1000000), long(timeoutUs % 1000000) * 1000};
    return ppoll(fd, fd ? 1 : 0, &timeout, &waitMask);
}

class Unit {
public:
    Unit(const Options &options, std::vector<std::string> args) : options_(options), console_(options, report_, outbox_)
    {
        report_.args = std::move(args);
    }

    bool start(std::string &error)
    {
        if (!line_.open(error)) return false;
        if (!options_.portsDir.empty() && !line_.link(options_.portsDir, options_.com, error)) return false;
        report_.path = options_.reportPath;
        report_.slave = line_.slavePath();
        report_.link = line_.linkPath();
        report_.config = describe(options_);
        report_.startUs = monotonicUs();
        report_.state = "ready";
        report_.write();
        std::printf("%s\n", line_.slavePath().c_str());
        std::fflush(stdout);
        return true;
    }

    // Runs until a stop signal, the end the options ask for, or a disconnect fault.
    void run(const sigset_t &waitMask)
    {
        while (!gStopSignal && !console_.finished() && !console_.disconnectRequested()) step(waitMask);
        report_.state = "ended";
        report_.endUs = monotonicUs();
        report_.write();
        line_.close();
    }

private:
    void step(const sigset_t &waitMask)
    {
        uint64_t now = monotonicUs();
        LineSettings settings = line_.settings();
        console_.onTime(now, settings);

        if (!connected_) {
            // Nobody holds the port: what the unit says is lost; look again shortly, without
            // spinning on the hang-up.
            outbox_.clear();
            waitFor(nullptr, kClosedPortRetryUs, waitMask);
            pollfd fd{line_.fd(), POLLIN, 0};
            if (waitFor(&fd, 0, waitMask) >= 0 && !(fd.revents & POLLHUP)) connected_ = true;
            return;
        }

        uint64_t wake = console_.nextWake();
        auto wakeAt = [&wake](uint64_t at) {
            if (at && (!wake || at < wake)) wake = at;
        };

        txPacer_.setRate(console_.unitRate());
        const Outbox::Progress out = outbox_.pump(line_.fd(), now, options_.pace ? &txPacer_ : nullptr);
        wakeAt(out.wakeAt);

        pollfd fd{line_.fd(), 0, 0};
        if (out.wantWritable) fd.events |= POLLOUT;
        rxPacer_.setRate(settings.rate);
        const size_t limit = std::min<size_t>(console_.inputLimit(now), sizeof buffer_);
        if (limit == 0) {
            rxPacer_.stop(); // the unit is not reading: the line waits (flow control)
        } else if (!options_.pace || !rxPacer_.running()) {
            fd.events |= POLLIN;
        } else {
            const size_t allowed = std::min(limit, rxPacer_.allowance(now));
            if (allowed > 0) {
                takeInput(allowed);
                return;
            }
            wakeAt(rxPacer_.nextByteAt());
        }

        uint64_t timeout = kMaxSleepUs;
        if (wake) timeout = wake > now ? std::min(timeout, wake - now) : 0;
        if (waitFor(&fd, timeout, waitMask) <= 0) return;

        if (fd.revents & POLLIN) {
            // A paced line starts carrying bytes now; they are taken as they cross it.
            if (options_.pace) rxPacer_.start(monotonicUs());
            else takeInput(limit);
            return;
        }
        if (fd.revents & (POLLHUP | POLLERR) || out.lineGone) portClosed();
    }

    void takeInput(size_t asked)
    {
        const ssize_t count = read(line_.fd(), buffer_, asked);
        if (count > 0) {
            if (options_.pace) {
                rxPacer_.consumed(size_t(count));
                // Fewer bytes than the line could have carried: it has fallen idle.
                if (size_t(count) < asked) rxPacer_.stop();
            }
            // The settings as they are once the bytes are here: the tool sets the rate before
            // it writes, so these are the ones the bytes crossed the line with.
            console_.onInput(buffer_, size_t(count), monotonicUs(), line_.settings());
        } else if (count < 0 && errno == EAGAIN) {
            rxPacer_.stop();
        } else {
            portClosed(); // EIO: the other side is gone
        }
    }

    void portClosed()
    {
        connected_ = false;
        // What was on its way to a closed port is lost, as on a real line.
        outbox_.clear();
        rxPacer_.stop();
        txPacer_.stop();
        console_.onPortClosed();
    }

    const Options &options_;
    PtyLine line_;
    Report report_;
    Outbox outbox_;
    Console console_;
    LinePacer rxPacer_, txPacer_;
    bool connected_ = false;
    uint8_t buffer_[65536];
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
    case ParseResult::Help: std::fputs(helpText(), stdout); return 0;
    case ParseResult::Error: std::fprintf(stderr, "unitsim: %s\n", error.c_str()); return 2;
    case ParseResult::Run: break;
    }

    // Stop signals are taken only while the unit waits, so none is lost between a look at
    // the flag and the wait.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);

    Unit unit(options, std::vector<std::string>(argv, argv + argc));
    if (!unit.start(error)) {
        std::fprintf(stderr, "unitsim: %s\n", error.c_str());
        return 1;
    }
    unit.run(waitMask);
    return 0;
}
