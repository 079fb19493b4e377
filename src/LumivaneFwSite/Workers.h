// Worker processes: the site program started again with a worker's arguments and the name of its
// event channel, its standard output and its channel each read through a pipe. No worker outlives
// the site program, even one that is killed.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

// The option that names a worker's channel.
extern const char CHANNEL_OPTION[];

class WorkerProcess {
public:
    WorkerProcess() = default;
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess &) = delete;
    WorkerProcess &operator=(const WorkerProcess &) = delete;

    // Starts this program with `args`, then CHANNEL_OPTION and its channel's name, after its own
    // path; false, with the system's reason, when it could not.
    bool start(const std::vector<std::string> &args, std::string *why);
    // Wait for what the worker writes next on its standard output, or on its channel; 0 once it
    // has closed it.
    long readOutput(char *buffer, size_t size);
    long readEvents(char *buffer, size_t size);
    // Waits for the worker to end once both are closed: its exit status, or -1 when it did not end
    // by itself. Until release() the ended worker keeps its process id, so that an interrupt
    // passed on meanwhile can reach no other process.
    int wait();
    void release();
    // Passes an interrupt on, and continues a stopped worker so that it can take it; on Windows
    // the console's events reach every worker by themselves.
    void interrupt(int signalNumber);
    // Ends a worker that did not end within its bound.
    void kill();

private:
#ifdef _WIN32
    HANDLE process_ = NULL;
    HANDLE out_ = NULL;
    HANDLE events_ = NULL;
#else
    pid_t pid_ = -1;
    int out_ = -1;
    int events_ = -1;
#endif
};

// Once, before the first worker: what ties the workers' lives to this program's.
bool prepareWorkers(void);
