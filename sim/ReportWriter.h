// Replaces the report file from a thread of its own, so that the unit's line never waits on the
// file system: under a busy disk a replace can stall for a second or more, and the tool waits
// no longer than one second for some replies (an image's "SUCCESS").
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class ReportWriter {
public:
    ReportWriter() = default;
    ~ReportWriter() { finish(); }
    ReportWriter(const ReportWriter &) = delete;
    ReportWriter &operator=(const ReportWriter &) = delete;

    // The report as it is now, for `path`; one posted earlier and not written yet is dropped.
    void post(const std::string &path, std::string json);
    // Writes what was posted, then ends the thread: a later replace cannot overwrite a newer one.
    void finish();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::string path_, json_;
    bool pending_ = false, stopping_ = false;
    std::thread thread_;
};
