#include "Supervision.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// How often the watch looks, whatever the workers do.
const int TICK_MS = 100;
// A worker passed an interrupt ends within its port's own bounds (a few seconds): one that has
// not ended by then is stopped or stuck, and is ended.
const long long END_BOUND_MS = 10000;
// The longest silence of a working worker is a write's deadline (about 30 s) or a reply's wait:
// one silent this long is stopped or stuck.
const long long SILENCE_BOUND_MS = 180000;

std::mutex gLock;
std::condition_variable gChanged;

long long nowMs(void)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct Supervisor::Running {
    WorkerProcess process;
    WorkerEnd end;
    FILE *log = nullptr;
    std::string events;             // what the channel gave that is not yet a whole line
    std::vector<std::string> lines; // whole lines not yet handed over
    int openPipes = 2;
    bool ended = false;
    long long heardMs = 0;
    std::thread outputReader, eventReader;
};

Supervisor::Supervisor(const volatile sig_atomic_t *interrupt) : interrupt_(interrupt) {}

Supervisor::~Supervisor()
{
    for (auto &worker : workers_) {
        for (std::thread *reader : {&worker->outputReader, &worker->eventReader}) {
            if (reader->joinable()) {
                reader->join();
            }
        }
    }
}

void Supervisor::start(const std::vector<std::string> &args, FILE *log)
{
    workers_.push_back(std::make_unique<Running>());
    Running *worker = workers_.back().get();
    worker->log = log;
    worker->heardMs = nowMs();
    worker->end.started = worker->process.start(args, &worker->end.notStarted);
    if (!worker->end.started) {
        worker->ended = true;
        return;
    }
    worker->outputReader = std::thread(&Supervisor::readOutput, this, worker);
    worker->eventReader = std::thread(&Supervisor::readEvents, this, worker);
}

bool Supervisor::hasEnded(size_t worker) const
{
    return workers_[worker]->ended;
}

const WorkerEnd &Supervisor::end(size_t worker) const
{
    return workers_[worker]->end;
}

namespace {

// The last reader to see its pipe close waits for the worker's end.
void pipeClosed(WorkerProcess &process, int &openPipes, WorkerEnd &end, bool &ended)
{
    std::unique_lock<std::mutex> hold(gLock);
    if (--openPipes > 0) {
        return;
    }
    hold.unlock();
    const int status = process.wait();
    hold.lock();
    process.release();
    end.status = status;
    ended = true;
    gChanged.notify_all();
}

} // namespace

void Supervisor::readOutput(Running *worker)
{
    char piece[4096];
    long count;
    while ((count = worker->process.readOutput(piece, sizeof piece)) > 0) {
        if (worker->log != nullptr) {
            fwrite(piece, 1, (size_t)count, worker->log);
            fflush(worker->log);
        }
        std::lock_guard<std::mutex> hold(gLock);
        worker->heardMs = nowMs();
    }
    pipeClosed(worker->process, worker->openPipes, worker->end, worker->ended);
}

void Supervisor::readEvents(Running *worker)
{
    char piece[4096];
    long count;
    while ((count = worker->process.readEvents(piece, sizeof piece)) > 0) {
        std::lock_guard<std::mutex> hold(gLock);
        worker->heardMs = nowMs();
        worker->events.append(piece, (size_t)count);
        for (size_t end; (end = worker->events.find('\n')) != std::string::npos;) {
            worker->lines.push_back(worker->events.substr(0, end));
            worker->events.erase(0, end + 1);
        }
        gChanged.notify_all();
    }
    pipeClosed(worker->process, worker->openPipes, worker->end, worker->ended);
}

void Supervisor::endWhatOutlivesItsBound(long long now, long long interruptedAt)
{
    for (auto &worker : workers_) {
        if (worker->ended || !worker->end.ended.empty()) {
            continue;
        }
        if (interruptedAt >= 0 && now - interruptedAt > END_BOUND_MS) {
            worker->end.ended = "did not end within " + std::to_string(END_BOUND_MS / 1000) +
                                " s of the interrupt: ended by the site program";
        } else if (now - worker->heardMs > SILENCE_BOUND_MS) {
            worker->end.ended = "said nothing for " + std::to_string(SILENCE_BOUND_MS / 1000) +
                                " s: ended by the site program";
        } else {
            continue;
        }
        worker->process.kill();
    }
}

void Supervisor::watch(const std::function<void(size_t, const std::string &)> &onEvent,
                       const std::function<void(void)> &look)
{
    long long interruptedAt = -1;
    std::unique_lock<std::mutex> hold(gLock);
    for (;;) {
        if (*interrupt_ != 0 && interruptedAt < 0) {
            interruptedAt = nowMs();
            for (auto &worker : workers_) {
                if (!worker->ended) {
                    worker->process.interrupt(*interrupt_);
                }
            }
        }
        endWhatOutlivesItsBound(nowMs(), interruptedAt);
        bool allEnded = true;
        for (size_t i = 0; i < workers_.size(); i++) {
            Running &worker = *workers_[i];
            // Lines first: an ended worker's last events count.
            for (const std::string &line : worker.lines) {
                onEvent(i, line);
            }
            worker.lines.clear();
            allEnded = allEnded && worker.ended;
        }
        look();
        if (allEnded) {
            break;
        }
        gChanged.wait_for(hold, std::chrono::milliseconds(TICK_MS));
    }
}
