#include "RunProgram.h"

#include "TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

RunResult runProgram(const RunOptions &options)
{
    RunResult result;
    if (options.argv.empty()) return result;
    // Files, not pipes: a program that leaves a child behind holding its output would keep a
    // pipe open for ever; and standard input from a file is there whole without a writer.
    TempDir files;
    const std::string in = files.file("stdin"), out = files.file("stdout"), err = files.file("stderr");
    if (!writeFile(in, options.stdinText)) return result;

    std::vector<char *> argv;
    for (const std::string &arg : options.argv) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        setpgid(0, 0); // its own group, so a time-out ends it and whatever it started
        const int fdIn = open(in.c_str(), O_RDONLY);
        const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0 || dup2(fdIn, 0) < 0 || dup2(fdOut, 1) < 0 || dup2(fdErr, 2) < 0)
            _exit(126);
        for (const auto &[name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    result.started = true;
    setpgid(pid, pid);

    int status = 0;
    const auto deadline = start + std::chrono::milliseconds(options.timeoutMs);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.signaled = WIFSIGNALED(status);
    result.exitStatus = result.signaled ? WTERMSIG(status) : WEXITSTATUS(status);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

} // namespace testsupport
