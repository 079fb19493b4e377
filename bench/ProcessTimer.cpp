// Times whole processes side by side. Every round runs each command once, in turn (each round
// starting with the next command), so that the load of other work on a shared machine falls
// on all of them alike. Prints, as CSV, each command's median wall time and median CPU time
// (user + system) in seconds. The commands' own output is discarded.
//
// Usage: process_timer <rounds> <name> <program> [args...] [--- <name> <program> [args...]]...
// Exit status: 0 measured, 1 a command failed (named on standard error), 2 usage.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

const int WARM_UP_ROUNDS = 2;

struct Command {
    std::string name;
    std::vector<char *> argv; // ended by a null pointer
    std::vector<double> wallSeconds;
    std::vector<double> cpuSeconds;
};

double seconds(const timespec &t)
{
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

double seconds(const timeval &t)
{
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

// Runs the command once; false when it could not run or did not exit with status 0.
bool runOnce(Command &command, bool record)
{
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        execvp(command.argv[0], command.argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) {
        return false;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (record) {
        command.wallSeconds.push_back(seconds(end) - seconds(start));
        command.cpuSeconds.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool parseCommands(int argc, char **argv, std::vector<Command> &commands)
{
    for (int i = 2; i < argc;) {
        Command command;
        command.name = argv[i++];
        while (i < argc && strcmp(argv[i], "---") != 0) {
            command.argv.push_back(argv[i++]);
        }
        if (command.argv.empty()) {
            return false;
        }
        command.argv.push_back(nullptr);
        commands.push_back(command);
        i++; // the separator
    }
    return !commands.empty();
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<Command> commands;
    int rounds = argc > 1 ? atoi(argv[1]) : 0;
    if (rounds < 1 || !parseCommands(argc, argv, commands)) {
        fprintf(stderr, "usage: %s <rounds> <name> <program> [args...] [--- <name> <program> [args...]]...\n",
                argv[0]);
        return 2;
    }
    const size_t n = commands.size();
    for (int round = 0; round < WARM_UP_ROUNDS + rounds; round++) {
        for (size_t k = 0; k < n; k++) {
            Command &command = commands[(round + k) % n];
            if (!runOnce(command, round >= WARM_UP_ROUNDS)) {
                fprintf(stderr, "%s: command '%s' failed\n", argv[0], command.name.c_str());
                return 1;
            }
        }
    }
    printf("name,wall_median_s,cpu_median_s,runs\n");
    for (const Command &command : commands) {
        printf("%s,%.6f,%.6f,%d\n", command.name.c_str(), median(command.wallSeconds),
               median(command.cpuSeconds), rounds);
    }
    return 0;
}
