// Workers on Windows: CreateProcess with a pipe for standard output, each worker in a job
// object that kills its processes when the site program's handle to it closes, however the
// site program ends.
#include "Workers.h"

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
    if (out_ != NULL) {
        CloseHandle(out_);
    }
    if (process_ != NULL) {
        CloseHandle(process_);
    }
}

bool WorkerProcess::start(const std::vector<std::string> &args)
{
    // Inheritable ends only for this worker: workers start one after another, and each
    // inheritable end is closed here before the next starts.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE readEnd = NULL, writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        return false;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writeEnd;
    startup.hStdError = nothing;
    std::string commandLine = quoted(gOwnPath);
    for (const std::string &arg : args) {
        commandLine += " " + quoted(arg);
    }
    PROCESS_INFORMATION started = {};
    // Suspended until it is in the job, so that not even its first instruction runs outside.
    const BOOL created = CreateProcessA(gOwnPath.c_str(), &commandLine[0], NULL, NULL, TRUE, CREATE_SUSPENDED,
                                        NULL, NULL, &startup, &started);
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE) {
        CloseHandle(nothing);
    }
    if (!created) {
        CloseHandle(readEnd);
        return false;
    }
    if (!AssignProcessToJobObject(gJob, started.hProcess)) {
        TerminateProcess(started.hProcess, 1);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        CloseHandle(readEnd);
        return false;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    out_ = readEnd;
    return true;
}

long WorkerProcess::read(char *buffer, size_t size)
{
    // An empty write of the worker's arrives as an empty read: only a broken pipe is the end.
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(out_, buffer, (DWORD)size, &count, NULL)) {
            return 0;
        }
        if (count > 0) {
            return (long)count;
        }
    }
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
