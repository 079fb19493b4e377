// unitsim: a simulated extender unit on a pseudo-terminal (see --help).
#include "Clock.h"
#include "Console.h"
#include "DriverQueue.h"
#include "LinePacer.h"
#include "Options.h"
#include "Outbox.h"
#include "PtyLine.h"
#include "Report.h"
#include "ReportWriter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t gStopSignal = 0;

void onStopSignal(int signal)
{
    gStopSignal = signal;
}

// While no one has the port open the master reports a hang-up at once: look again this often.
constexpr uint64_t CLOSED_PORT_RETRY_US = 10000;
// Longest sleep between two looks at the clock, so that a report stays fresh while idle.
constexpr uint64_t MAX_SLEEP_US = 200000;

std::string describe(const Options &o)
{
    return "role=" + o.role + " baud=" + std::to_string(o.baud) + " version=" + o.fwVersion + " " + o.model +
           " " + o.fpgaVersion + " " + o.deviceCode + (o.chatter ? " chatter" : "") +
           (o.pace ? " paced" : "");
}

// Waits for the line or for `timeoutUs`, whichever first; a stop signal ends the wait too.
int waitFor(pollfd *fd, uint64_t timeoutUs, const sigset_t &waitMask)
{
    timespec timeout{time_t(timeoutUs / 1000000), long(timeoutUs % 1000000) * 1000};
    return ppoll(fd, fd ? 1 : 0, &timeout, &waitMask);
}

class Unit {
public:
    Unit(const Options &options, std::vector<std::string> args)
        : options_(options), console_(options, report_, outbox_)
    {
        report_.args = std::move(args);
    }

    bool start(std::string &error)
    {
        if (!line_.open(error)) {
            return false;
        }
        if (!options_.portsDir.empty() && !line_.link(options_.portsDir, options_.com, error)) {
            return false;
        }
        if (options_.stopTakingAfter && !line_.holdSlave(error)) {
            return false;
        }
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
        while (!gStopSignal && !console_.finished() && !console_.disconnectRequested()) {
            step(waitMask);
        }
        report_.state = "ended";
        report_.endUs = monotonicUs();
        writer_.finish();
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
            publishReport();
            waitFor(nullptr, CLOSED_PORT_RETRY_US, waitMask);
            pollfd fd{line_.fd(), POLLIN, 0};
            if (waitFor(&fd, 0, waitMask) >= 0 && !(fd.revents & POLLHUP)) {
                connected_ = true;
            }
            return;
        }

        txPacer_.setRate(console_.unitRate());
        const Outbox::Progress out = outbox_.pump(line_.fd(), now, options_.pace ? &txPacer_ : nullptr);
        // The replies to the last event are on their way: only now does its report go out.
        publishReport();
        uint64_t wake = earliestWake({console_.nextWake(), out.wakeAt});

        pollfd fd{line_.fd(), 0, 0};
        if (out.wantWritable) {
            fd.events |= POLLOUT;
        }
        rxPacer_.setRate(settings.rate);
        const size_t limit = std::min<size_t>(console_.inputLimit(now), sizeof buffer_);
        if (limit == 0) {
            rxPacer_.stop(); // the unit is not reading: the line waits (flow control)
        } else {
            // Even while its queue holds bytes, a paced unit reads what comes at once, so that
            // the queue always holds everything the tool has handed over.
            fd.events |= POLLIN;
            if (options_.pace && queue_.size() > 0) {
                if (takeQueuedInput(now, limit)) {
                    return;
                }
                wake = earliestWake({wake, rxPacer_.nextByteAt()});
            }
        }

        uint64_t timeout = MAX_SLEEP_US;
        if (wake) {
            timeout = wake > now ? std::min(timeout, wake - now) : 0;
        }
        if (waitFor(&fd, timeout, waitMask) <= 0) {
            return;
        }

        if (fd.revents & POLLIN) {
            if (options_.pace) {
                queueInput();
            } else {
                takeInput(limit);
            }
            return;
        }
        if (fd.revents & (POLLHUP | POLLERR) || out.lineGone) {
            portClosed();
        }
    }

    void publishReport()
    {
        if (report_.unwritten) {
            report_.unwritten = false;
            writer_.post(report_.path, report_.toJson());
        }
    }

    // One read of what the tool has handed over: the byte count, 0 when nothing waits, -1
    // when the other side is gone (the port is then closed).
    ssize_t readLine(size_t asked)
    {
        const ssize_t count = read(line_.fd(), buffer_, asked);
        if (count > 0) {
            return count;
        }
        if (count < 0 && errno == EAGAIN) {
            return 0;
        }
        portClosed(); // EIO: the other side is gone
        return -1;
    }

    void takeInput(size_t asked)
    {
        const ssize_t count = readLine(asked);
        if (count > 0) {
            deliver(buffer_, size_t(count), false);
        }
    }

    void queueInput()
    {
        const ssize_t count = readLine(sizeof buffer_);
        if (count > 0) {
            queue_.append(buffer_, size_t(count));
        }
    }

    // Takes queued bytes as the paced line carries them, and at once those beyond the driver's
    // queue (see DriverQueue). Returns whether it took any.
    bool takeQueuedInput(uint64_t now, size_t limit)
    {
        // An idle line starts carrying bytes from the moment they are there.
        if (!rxPacer_.running()) {
            rxPacer_.start(now);
        }
        if (const size_t ahead = std::min(limit, queue_.overflow())) {
            deliver(queue_.front(), ahead, true);
            queue_.pop(ahead);
            return true;
        }
        const size_t carried = std::min({limit, queue_.size(), rxPacer_.allowance(now)});
        if (carried == 0) {
            return false;
        }
        rxPacer_.consumed(carried);
        deliver(queue_.front(), carried, false);
        queue_.pop(carried);
        // Nothing left to carry: the line falls idle until the tool hands over more.
        if (queue_.size() == 0) {
            rxPacer_.stop();
        }
        return true;
    }

    void deliver(const uint8_t *bytes, size_t count, bool carriedAhead)
    {
        // The settings as they are once the bytes are here: the tool sets the rate before it
        // writes, so these are the ones the bytes crossed the line with.
        console_.onInput(bytes, count, monotonicUs(), line_.settings(), carriedAhead);
        if (console_.stoppedTaking()) {
            line_.stopWriter();
        }
    }

    void portClosed()
    {
        connected_ = false;
        // What was on its way to a closed port is lost, as on a real line.
        outbox_.clear();
        queue_.clear();
        rxPacer_.stop();
        txPacer_.stop();
        console_.onPortClosed();
    }

    const Options &options_;
    PtyLine line_;
    Report report_;
    ReportWriter writer_;
    Outbox outbox_;
    Console console_;
    DriverQueue queue_; // paced input the line has not carried yet
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
