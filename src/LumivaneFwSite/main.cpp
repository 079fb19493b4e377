// The site update program: lists the units on COM1 to COM32, asks once, updates every unit
// at the same time with one worker process per unit, checks what each runs afterwards and
// records it.
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "ComPortAPI.h"
#include "LiveView.h"
#include "LumivaneFwSite.h"
#include "SiteFindings.h"
#include "SiteRecord.h"
#include "SiteView.h"
#include "Workers.h"

namespace {

const char USAGE[] = "Usage: LumivaneFwSite [--list] [--yes] [--record PATH]\r\n";
const char PROBE_WORKER[] = "--probe-worker";
const char UPDATE_WORKER[] = "--update-worker";
#ifdef _WIN32
// Not inherited: a worker started later must not hold another unit's log.
const char LOG_MODE[] = "wbN";
#else
const char LOG_MODE[] = "wbe";
#endif
// How often the view looks at the workers' output.
const int TICK_MS = 100;

volatile sig_atomic_t gInterrupt = 0;

#ifdef _WIN32
// Every worker shares the console and gets the same event: it ends itself as the one-unit
// tool does. The site program stays to read their last lines and give the summary.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    gInterrupt = SIGINT;
    return TRUE;
}
#else
void onSignal(int signalNumber)
{
    gInterrupt = signalNumber;
}
#endif

void installInterrupts(void)
{
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // The question's read ends at once.
    interruptsCatch(onSignal);
#endif
}

struct Options {
    bool list = false;
    bool yes = false;
    bool recordGiven = false;
    std::string record;
    const char *worker = nullptr;
    int port = 0;
    int rate = 0;
};

bool readNumber(const char *text, int *value)
{
    char *end = nullptr;
    const long number = strtol(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || number <= 0 || number > INT_MAX) {
        return false;
    }
    *value = (int)number;
    return true;
}

bool parseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; i++) {
        const std::string option = argv[i];
        if (option == "--list") {
            options->list = true;
        } else if (option == "--yes") {
            options->yes = true;
        } else if (option == "--record" && i + 1 < argc && argv[i + 1][0] != '\0') {
            options->recordGiven = true;
            options->record = argv[++i];
        } else if (option == PROBE_WORKER && argc == 3 && readNumber(argv[2], &options->port)) {
            options->worker = PROBE_WORKER;
            return true;
        } else if (option == UPDATE_WORKER && argc == 4 && readNumber(argv[2], &options->port) &&
                   readNumber(argv[3], &options->rate)) {
            options->worker = UPDATE_WORKER;
            return true;
        } else {
            printf("ERROR: Unknown option or missing value: %s\r\n%s", argv[i], USAGE);
            return false;
        }
    }
    return true;
}

// One worker and what it has written so far; its reader thread fills the fields under gLock.
struct Running {
    WorkerProcess process;
    std::string output;
    bool ended = false;
    int status = -1;
    FILE *log = nullptr;
    std::thread reader;
};

std::mutex gLock;
std::condition_variable gChanged;

void readUntilEnd(Running *worker)
{
    char piece[4096];
    long count;
    while ((count = worker->process.read(piece, sizeof piece)) > 0) {
        if (worker->log != nullptr) {
            fwrite(piece, 1, (size_t)count, worker->log);
            fflush(worker->log);
        }
        std::lock_guard<std::mutex> hold(gLock);
        worker->output.append(piece, (size_t)count);
        gChanged.notify_all();
    }
    const int status = worker->process.wait();
    std::lock_guard<std::mutex> hold(gLock);
    worker->process.release();
    worker->status = status;
    worker->ended = true;
    gChanged.notify_all();
}

void startWorker(Running *worker, const std::vector<std::string> &args)
{
    if (!worker->process.start(args)) {
        worker->ended = true;
        return;
    }
    worker->reader = std::thread(readUntilEnd, worker);
}

// Waits for every worker, calling `look` (under gLock) after each change and every tick;
// an interrupt is passed on to the workers still running.
template <typename Look> void watchWorkers(std::vector<std::unique_ptr<Running>> &workers, Look look)
{
    bool passedOn = false;
    std::unique_lock<std::mutex> hold(gLock);
    for (;;) {
        if (gInterrupt != 0 && !passedOn) {
            passedOn = true;
            for (auto &worker : workers) {
                if (!worker->ended) {
                    worker->process.interrupt(gInterrupt);
                }
            }
        }
        bool allEnded = true;
        for (auto &worker : workers) {
            allEnded = allEnded && worker->ended;
        }
        look();
        if (allEnded) {
            break;
        }
        gChanged.wait_for(hold, std::chrono::milliseconds(TICK_MS));
    }
    hold.unlock();
    for (auto &worker : workers) {
        if (worker->reader.joinable()) {
            worker->reader.join();
        }
    }
}

std::vector<PortFinding> listPorts(void)
{
    std::vector<std::unique_ptr<Running>> workers;
    for (int port = SITE_FIRST_PORT; port <= SITE_LAST_PORT; port++) {
        workers.push_back(std::make_unique<Running>());
        startWorker(workers.back().get(), {PROBE_WORKER, std::to_string(port)});
    }
    watchWorkers(workers, [] {});
    std::vector<PortFinding> findings;
    for (int port = SITE_FIRST_PORT; port <= SITE_LAST_PORT; port++) {
        PortFinding finding;
        finding.port = port;
        readFindingLine(workers[port - SITE_FIRST_PORT]->output, port, &finding);
        findings.push_back(finding);
    }
    return findings;
}

// The FPGA image of a unit, as the update chooses it.
int fpgaCatalogueIndex(const PortFinding &finding)
{
    const int first = finding.version.fpga_type == DEVICE_XC7A100_484 ? 1 : 3;
    return first + (isTx(finding.identity) ? 0 : 1);
}

// The length and checksum a stage announces for catalogue entry `index`, as the update
// computes them.
AnnouncedImage announcedImage(int index)
{
    static std::map<int, AnnouncedImage> known;
    if (known.count(index) == 0) {
        char *text = copyCatalogueText(index);
        AnnouncedImage image;
        if (text != nullptr && ValidateFwAndConcatenateData(text)) {
            ComputeConcatenatedDataCheckSum();
            image = {gDataConcatenatedLenght, gDataConcatenatedCheckSum};
        }
        free(text);
        known[index] = image;
    }
    return known[index];
}

// A folder of this run's own in the current one.
std::string makeRunFolder(void)
{
    const std::string base = "LumivaneFwSite-" + utcNow(true);
    for (int attempt = 1; attempt < 100; attempt++) {
        const std::string name = attempt == 1 ? base : base + "-" + std::to_string(attempt);
#ifdef _WIN32
        if (_mkdir(name.c_str()) == 0) {
#else
        if (mkdir(name.c_str(), 0755) == 0) {
#endif
            return name;
        }
    }
    return "";
}

int siteStatus(const std::vector<UnitRun> &runs)
{
    int status = SITE_ALL_UPDATED;
    for (const UnitRun &run : runs) {
        if (run.outcome.verdict == Verdict::Failed || run.outcome.verdict == Verdict::Interrupted) {
            return SITE_FAILED;
        }
        if (run.outcome.verdict == Verdict::Warning) {
            status = SITE_WARNING;
        }
    }
    return status;
}

void showSummary(const std::vector<UnitRun> &runs, const std::string &folder, const std::string &recordError)
{
    printf("\r\nSummary (logs in %s):\r\n", folder.c_str());
    int counts[4] = {0, 0, 0, 0};
    for (const UnitRun &run : runs) {
        printf("%s%s\r\n", unitLabel(run.finding).c_str(), run.outcome.text.c_str());
        counts[(int)run.outcome.verdict]++;
    }
    if (!recordError.empty()) {
        printf("WARNING: the update record could not be written to %s\r\n", recordError.c_str());
    }
    printf("\r\n%d units: %d updated, %d with a warning, %d failed, %d interrupted\r\n", (int)runs.size(),
           counts[(int)Verdict::Updated], counts[(int)Verdict::Warning], counts[(int)Verdict::Failed],
           counts[(int)Verdict::Interrupted]);
}

// The view's state of a running unit, from the stage its transcript has reached ("FPGA 42%",
// "rebooting 97 s", ...).
UnitState runningState(const std::string &stage)
{
    static const struct {
        const char *start;
        UnitPhase phase;
    } PHASES[] = {{"preparing FPGA", UnitPhase::PreparingFpga},
                  {"FPGA ", UnitPhase::Fpga},
                  {"preparing firmware", UnitPhase::PreparingFirmware},
                  {"firmware ", UnitPhase::Firmware},
                  {"rebooting ", UnitPhase::Rebooting},
                  {"checking", UnitPhase::Checking}};
    UnitState state;
    for (const auto &phase : PHASES) {
        if (stage.compare(0, strlen(phase.start), phase.start) == 0) {
            state.phase = phase.phase;
            state.figure = atoi(stage.c_str() + strlen(phase.start));
        }
    }
    return state;
}

int updateUnits(const std::vector<PortFinding> &units, const std::string &recordPath)
{
    const std::string folder = makeRunFolder();
    if (folder.empty()) {
        fputs("ERROR: The run folder could not be made here, nothing was updated.\r\n", stdout);
        return SITE_FAILED;
    }
    const std::string host = hostName();
    std::vector<UnitRun> runs(units.size());
    std::vector<std::string> labels;
    for (size_t i = 0; i < units.size(); i++) {
        runs[i].finding = units[i];
        runs[i].images[0] = announcedImage(fpgaCatalogueIndex(units[i]));
        runs[i].images[1] = announcedImage(0);
        // Not "COM3.log": Windows opens any file named COMn, whatever its extension, as the port.
        runs[i].logPath = folder + "/COM" + std::to_string(units[i].port) + "-unit.log";
        labels.push_back(unitLabel(units[i]));
    }
    std::vector<std::unique_ptr<Running>> workers;
    for (UnitRun &run : runs) {
        workers.push_back(std::make_unique<Running>());
        Running *worker = workers.back().get();
        worker->log = fopen(run.logPath.c_str(), LOG_MODE);
        run.start = utcNow(false);
        startWorker(worker,
                    {UPDATE_WORKER, std::to_string(run.finding.port), std::to_string(run.finding.rate)});
    }

    LiveView view(labels);
    std::vector<bool> recorded(runs.size(), false);
    std::string recordError;
    watchWorkers(workers, [&] {
        std::vector<UnitState> states;
        bool allEnded = true;
        for (size_t i = 0; i < runs.size(); i++) {
            Running &worker = *workers[i];
            if (worker.ended && !recorded[i]) {
                recorded[i] = true;
                runs[i].outcome = outcomeOf(worker.output, worker.status);
                runs[i].end = utcNow(false);
                if (!appendRecordLine(recordPath, recordLine(runs[i], host))) {
                    recordError = recordPath.empty() ? "(no place for it)" : recordPath;
                }
            }
            allEnded = allEnded && worker.ended;
            states.push_back(
                worker.ended ? UnitState{UnitPhase::Ended, 0, runs[i].outcome.verdict, runs[i].outcome.text}
                             : runningState(progressOf(worker.output)));
        }
        view.show(states, allEnded);
    });
    for (auto &worker : workers) {
        if (worker->log != nullptr) {
            fclose(worker->log);
        }
    }
    showSummary(runs, folder, recordError);
    return siteStatus(runs);
}

int runSite(const Options &options)
{
    warnIfStandInBuild();
    if (!prepareWorkers()) {
        fputs("ERROR: The workers could not be prepared, nothing was updated.\r\n", stdout);
        return SITE_FAILED;
    }
    printf("\n\rListing the units on COM%d to COM%d ...\r\n", SITE_FIRST_PORT, SITE_LAST_PORT);
    const std::vector<PortFinding> findings = listPorts();
    if (gInterrupt != 0) {
        fputs("\r\nINTERRUPTED: the listing was stopped, no unit was updated.\r\n", stdout);
        return SITE_FAILED;
    }
    std::vector<PortFinding> toUpdate;
    bool anyListed = false;
    for (const PortFinding &finding : findings) {
        anyListed = anyListed || finding.answered || finding.held;
        if (finding.answered && plannedAction(finding) == "update") {
            toUpdate.push_back(finding);
        }
    }
    if (!anyListed) {
        fputs("No unit answered.\r\n", stdout);
        return SITE_NOTHING_TO_UPDATE;
    }
    showListing(findings);
    if (options.list) {
        return SITE_ALL_UPDATED;
    }
    if (toUpdate.empty()) {
        fputs("\r\nNo unit to update.\r\n", stdout);
        return SITE_NOTHING_TO_UPDATE;
    }
    if (!options.yes) {
        printf("\r\nUpdate %d units? [y/N] ", (int)toUpdate.size());
        const BOOL yes = readTypedYes();
        if (gInterrupt != 0) {
            fputs("\r\nINTERRUPTED: no unit was updated.\r\n", stdout);
            return SITE_FAILED;
        }
        if (!yes) {
            fputs("\r\nNo unit was updated.\r\n", stdout);
            return SITE_NOTHING_TO_UPDATE;
        }
    }
    if (!allocateRunBuffers()) {
        return SITE_FAILED;
    }
    const int status = updateUnits(toUpdate, options.recordGiven ? options.record : defaultRecordPath());
    releaseRunBuffers();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        return SITE_BAD_OPTION;
    }
    if (options.worker == PROBE_WORKER) {
        return runProbeWorker(options.port);
    }
    if (options.worker == UPDATE_WORKER) {
        return runUpdateWorker(options.port, options.rate);
    }
    prepareConsole();
    installInterrupts();
    return runSite(options);
}
