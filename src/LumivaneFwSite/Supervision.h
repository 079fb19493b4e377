// Supervision of the workers: started with their channels, their transcripts copied to their logs,
// their events handed over line by line, interrupts passed on, and every wait for them bounded.
#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Workers.h"

// A worker after the watch: how it started and ended.
struct WorkerEnd {
    bool started = false;
    std::string notStarted; // the system's reason, when it did not start
    int status = -1;        // its exit status, or -1 when it did not end by itself
    std::string ended;      // why the site program ended it, when it did
};

class Supervisor {
public:
    // interrupt: set (to the signal) by the program's own handler; passed on once.
    explicit Supervisor(const volatile sig_atomic_t *interrupt);
    ~Supervisor();
    Supervisor(const Supervisor &) = delete;
    Supervisor &operator=(const Supervisor &) = delete;

    // Starts a worker with `args`; its transcript goes to log when there is one (the worker's own
    // then). Workers are numbered in the order started.
    void start(const std::vector<std::string> &args, FILE *log);
    // Until every worker has ended: onEvent(worker, line) for each line of a channel, then look(),
    // after each change and at least every tick, both with the workers' lock held.
    void watch(const std::function<void(size_t worker, const std::string &line)> &onEvent,
               const std::function<void(void)> &look);
    // Within look(), or after the watch.
    bool hasEnded(size_t worker) const;
    const WorkerEnd &end(size_t worker) const;

private:
    struct Running;
    void readOutput(Running *worker);
    void readEvents(Running *worker);
    void endWhatOutlivesItsBound(long long now, long long interruptedAt);

    const volatile sig_atomic_t *interrupt_;
    std::vector<std::unique_ptr<Running>> workers_;
};
