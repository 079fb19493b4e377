// Workers on Windows: CreateProcess with a pipe for standard output and one for the channel,
// whose inherited handle the command line names; each worker in a job object that kills its
// processes when the site program's handle to it closes, however the site program ends.
#include <cstdio>

#include "Workers.h"

const char CHANNEL_OPTION[] = "--channel";

namespace {

HANDLE gJob = NULL;
std::string gOwnPath;

// One argument as the C runtime splits a command line: quoted, with its quotes and the
// backslashes before them escaped.
std::string quoted(const std::string &arg)
{
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

long readFrom(HANDLE pipe, char *buffer, size_t size)
{
    // An empty write of the worker's arrives as an empty read: only a broken pipe is the end.
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(pipe, buffer, (DWORD)size, &count, NULL)) {
            return 0;
        }
        if (count > 0) {
            return (long)count;
        }
    }
}

std::string systemReason(void)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, GetLastError(), 0, text,
                   sizeof text, NULL);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(GetLastError()) : reason;
}

} // namespace

bool prepareWorkers(void)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return false;
    }
    gOwnPath.assign(path, length);
    gJob = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return gJob != NULL &&
           SetInformationJobObject(gJob, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

WorkerProcess::~WorkerProcess()
{
    for (HANDLE handle : {out_, events_, process_}) {
        if (handle != NULL) {
            CloseHandle(handle);
        }
    }
}

bool WorkerProcess::start(const std::vector<std::string> &args, std::string *why)
{
    // Inheritable ends only for this worker: workers start one after another, and each
    // inheritable end is closed here before the next starts.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE outRead = NULL, outWrite = NULL, eventsRead = NULL, eventsWrite = NULL;
    if (!CreatePipe(&outRead, &outWrite, &inherited, 0)) {
        *why = systemReason();
        return false;
    }
    if (!CreatePipe(&eventsRead, &eventsWrite, &inherited, 0)) {
        *why = systemReason();
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return false;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(eventsRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = outWrite;
    startup.hStdError = nothing;
    std::string commandLine = quoted(gOwnPath);
    for (const std::string &arg : args) {
        commandLine += " " + quoted(arg);
    }
    commandLine +=
        std::string(" ") + CHANNEL_OPTION + " " + std::to_string((unsigned long long)(uintptr_t)eventsWrite);
    PROCESS_INFORMATION started = {};
    // Suspended until it is in the job, so that not even its first instruction runs outside.
    const BOOL created = CreateProcessA(gOwnPath.c_str(), &commandLine[0], NULL, NULL, TRUE, CREATE_SUSPENDED,
                                        NULL, NULL, &startup, &started);
    if (!created) {
        *why = systemReason();
    }
    for (HANDLE handle : {outWrite, eventsWrite, nothing}) {
        if (handle != INVALID_HANDLE_VALUE && handle != NULL) {
            CloseHandle(handle);
        }
    }
    if (created && !AssignProcessToJobObject(gJob, started.hProcess)) {
        *why = systemReason();
        TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    } else if (created) {
        ResumeThread(started.hThread);
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        out_ = outRead;
        events_ = eventsRead;
        return true;
    }
    CloseHandle(outRead);
    CloseHandle(eventsRead);
    return false;
}

long WorkerProcess::readOutput(char *buffer, size_t size)
{
    return readFrom(out_, buffer, size);
}

long WorkerProcess::readEvents(char *buffer, size_t size)
{
    return readFrom(events_, buffer, size);
}

int WorkerProcess::wait()
{
    WaitForSingleObject(process_, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process_, &status);
    return status <= 255 ? (int)status : -1;
}

void WorkerProcess::release() {}

void WorkerProcess::interrupt(int) {}

void WorkerProcess::kill()
{
    TerminateProcess(process_, 255);
}
