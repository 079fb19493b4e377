// Worker processes: the site program started again with a worker's arguments, its standard
// output read through a pipe. No worker outlives the site program, even one that is killed.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

class WorkerProcess {
public:
    WorkerProcess() = default;
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess &) = delete;
    WorkerProcess &operator=(const WorkerProcess &) = delete;

    // Starts this program with `args` after its own path.
    bool start(const std::vector<std::string> &args);
    // Waits for what the worker writes next; 0 once it has closed its output.
    long read(char *buffer, size_t size);
    // Waits for the worker to end (it bounds its own waits): its exit status, or -1 when it
    // did not end by itself. Until release() the ended worker keeps its process id, so that
    // an interrupt passed on meanwhile can reach no other process.
    int wait();
    void release();
    // Passes an interrupt on; on Windows the console's events reach every worker by themselves.
    void interrupt(int signalNumber);

private:
#ifdef _WIN32
    HANDLE process_ = NULL;
    HANDLE out_ = NULL;
#else
    pid_t pid_ = -1;
    int out_ = -1;
#endif
};

// Once, before the first worker: what ties the workers' lives to this program's.
bool prepareWorkers(void);
