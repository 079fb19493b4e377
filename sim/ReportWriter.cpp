#include "ReportWriter.h"

#include "Report.h"

#include <csignal>
#include <pthread.h>

void ReportWriter::post(const std::string &path, std::string json)
{
    if (path.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        path_ = path;
        json_ = std::move(json);
        pending_ = true;
    }
    if (!thread_.joinable()) {
        // Every signal stays with the main loop: its stop signals end the wait it is in.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        thread_ = std::thread(&ReportWriter::run, this);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    wake_.notify_one();
}

void ReportWriter::finish()
{
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ReportWriter::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopping_; });
        if (!pending_) {
            return;
        }
        const std::string path = path_, json = std::move(json_);
        pending_ = false;
        lock.unlock();
        replaceReportFile(path, json);
        lock.lock();
    }
}
