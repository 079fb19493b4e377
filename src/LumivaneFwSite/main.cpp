// The site update program: lists the units on COM1 to COM32, asks once, updates every unit that
// needs it at the same time with one worker process per unit, checks what each runs afterwards and
// records it.
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

#include "LiveView.h"
#include "SiteOptions.h"
#include "SitePorts.h"
#include "SiteRecord.h"
#include "SiteView.h"
#include "Supervision.h"
#include "Worker.h"

namespace {

volatile sig_atomic_t gInterrupt = 0;

#ifdef _WIN32
// Set once the run's records are written and its summary shown.
HANDLE gRunEnded = NULL;
// A closed console gives the program 5 s in all: the workers, which get the same event, end
// within their own port bounds, and the records are written within this.
const DWORD RUN_END_BOUND_MS = 4000;

// Every worker shares the console and gets the same event: it ends itself as the one-unit tool
// does. The site program waits here, bounded, while its main thread records their ends.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    gInterrupt = SIGINT;
    WaitForSingleObject(gRunEnded, RUN_END_BOUND_MS);
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
    gRunEnded = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // The question's read ends at once.
    interruptsCatch(onSignal);
#endif
}

void runEnded(void)
{
#ifdef _WIN32
    SetEvent(gRunEnded);
#endif
}

std::vector<PortFinding> listPorts(const std::vector<std::string> &ports)
{
    Supervisor supervisor(&gInterrupt);
    for (const std::string &port : ports) {
        supervisor.start({PROBE_WORKER, port}, nullptr);
    }
    std::vector<std::string> channels(ports.size());
    supervisor.watch([&](size_t worker, const std::string &line) { channels[worker] += line + "\n"; }, [] {});
    std::vector<PortFinding> findings;
    for (size_t i = 0; i < ports.size(); i++) {
        PortFinding finding;
        finding.port = ports[i];
        if (!readProbeEvent(channels[i], ports[i], &finding)) {
            const WorkerEnd &end = supervisor.end(i);
            finding.notProbed = !end.started ? "its worker could not be started (" + end.notStarted + ")"
                                : !end.ended.empty() ? "its worker " + end.ended
                                                     : "its worker ended without a word";
        }
        findings.push_back(finding);
    }
    return findings;
}

// "COM1 to COM32" and what else the machine names, or the operator's ports.
std::string portsListed(const SiteOptions &options, const std::vector<std::string> &ports)
{
    if (options.ports.empty()) {
        const size_t others = ports.size() - (SITE_LAST_PORT - SITE_FIRST_PORT + 1);
        return "COM" + std::to_string(SITE_FIRST_PORT) + " to COM" + std::to_string(SITE_LAST_PORT) +
               (others == 0 ? "" : " and " + std::to_string(others) + " more the machine names");
    }
    std::string named;
    for (const std::string &port : ports) {
        named += (named.empty() ? "" : ", ") + port;
    }
    return named;
}

std::string pathIn(const std::string &folder, const std::string &name)
{
#ifdef _WIN32
    return folder + "\\" + name;
#else
    return folder + "/" + name;
#endif
}

struct Record {
    std::string path;
    RunContext context;
    bool failed = false;

    void append(const std::string &line) { failed = !appendRecordLine(path, line) || failed; }
};

std::vector<UnitRun> updateUnits(const std::vector<PortFinding> &units, const std::string &folder,
                                 Record &record)
{
    std::vector<UnitRun> runs(units.size());
    std::vector<std::string> labels;
    std::vector<FILE *> logs;
    Supervisor supervisor(&gInterrupt);
    for (size_t i = 0; i < units.size(); i++) {
        UnitRun &unit = runs[i];
        unit.listed = units[i];
        // Not "COM3.log": Windows opens any file named COMn, whatever its extension, as the port.
        const std::string log = pathIn(folder, portFileName(unit.listed.port) + "-unit.log");
        // Not inherited: a worker started later must not hold another unit's log.
#ifdef _WIN32
        logs.push_back(fopen(log.c_str(), "wbN"));
#else
        logs.push_back(fopen(log.c_str(), "wbe"));
#endif
        unit.log = logs.back() != nullptr ? log : "";
        unit.note =
            logs.back() != nullptr ? "" : "its log could not be opened: " + std::string(strerror(errno));
        unit.start = utcNow(false);
        record.append(startedLine(record.context, unit));
        supervisor.start({UPDATE_WORKER, unit.listed.port, std::to_string(unit.listed.rate)}, logs.back());
        labels.push_back(unitLabel(unit.listed.port, unit.listed.identity));
    }
    LiveView view(labels);
    std::vector<bool> concluded(runs.size(), false);
    supervisor.watch([&](size_t worker, const std::string &line) { applyEvent(line, &runs[worker].report); },
                     [&] {
                         std::vector<UnitState> states;
                         bool allEnded = true;
                         for (size_t i = 0; i < runs.size(); i++) {
                             UnitRun &unit = runs[i];
                             if (supervisor.hasEnded(i) && !concluded[i]) {
                                 concluded[i] = true;
                                 const WorkerEnd &end = supervisor.end(i);
                                 concludeReport(&unit.report, end.started);
                                 const std::string why = !end.started ? end.notStarted : end.ended;
                                 unit.note += (unit.note.empty() || why.empty() ? "" : "; ") + why;
                                 unit.end = utcNow(false);
                                 record.append(endedLine(record.context, unit));
                             }
                             allEnded = allEnded && concluded[i];
                             states.push_back(unit.report.state);
                         }
                         view.show(states, allEnded);
                     });
    for (FILE *log : logs) {
        if (log != nullptr) {
            fclose(log);
        }
    }
    return runs;
}

int runSite(const SiteOptions &options)
{
    warnIfStandInBuild();
    Record record;
    record.path = options.record.empty() ? defaultRecordPath() : options.record;
    std::string why;
    if (record.path.empty()) {
        fputs("ERROR: There is no state folder for the update record (no HOME): name it with --record.\r\n",
              stdout);
        return SITE_BAD_OPTION;
    }
    if (!usableAsRecord(record.path, &why)) {
        printf("ERROR: The update record %s cannot be used: %s.\r\n", record.path.c_str(), why.c_str());
        return SITE_BAD_OPTION;
    }
    if (!prepareWorkers()) {
        fputs("ERROR: The workers could not be prepared, nothing was updated.\r\n", stdout);
        return SITE_FAILED;
    }
    const std::vector<std::string> ports = options.ports.empty() ? machinePorts() : options.ports;
    printf("\n\rListing the units on %s ...\r\n", portsListed(options, ports).c_str());
    const std::vector<PortFinding> findings = listPorts(ports);
    if (gInterrupt != 0) {
        fputs("\r\nINTERRUPTED: the listing was stopped, no unit was updated.\r\n", stdout);
        return SITE_FAILED;
    }
    std::vector<PortFinding> toUpdate, leftAlone;
    for (const PortFinding &finding : findings) {
        const Plan plan = planOf(finding, options.again);
        if (plan != Plan::Nothing) {
            (plan == Plan::Update ? toUpdate : leftAlone).push_back(finding);
        }
    }
    if (toUpdate.empty() && leftAlone.empty()) {
        fputs("No unit answered.\r\n", stdout);
        return SITE_NOTHING_TO_UPDATE;
    }
    showListing(findings, options.again);
    if (options.list) {
        return SITE_ALL_UPDATED;
    }
    record.context = {utcNow(true), hostName()};
    if (toUpdate.empty()) {
        fputs("\r\nNo unit to update.\r\n", stdout);
        for (const PortFinding &finding : leftAlone) {
            record.append(skippedLine(record.context, finding, planOf(finding, options.again)));
        }
        showSummary(findings, {}, options.again, "");
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
    const std::string logs = options.logs.empty() ? pathIn(folderOf(record.path), "runs") : options.logs;
    const std::string folder = makeRunFolder(logs, record.context.run, &why);
    if (folder.empty()) {
        printf("ERROR: The run folder could not be made in %s (%s), nothing was updated.\r\n", logs.c_str(),
               why.c_str());
        return SITE_FAILED;
    }
    for (const PortFinding &finding : leftAlone) {
        record.append(skippedLine(record.context, finding, planOf(finding, options.again)));
    }
    const std::vector<UnitRun> runs = updateUnits(toUpdate, folder, record);
    showSummary(findings, runs, options.again, folder);
    if (record.failed) {
        printf("WARNING: the update record could not be written to %s\r\n", record.path.c_str());
    }
    // However the units ended, an interrupted run is a run cut short.
    return gInterrupt != 0 ? SITE_FAILED : siteStatus(findings, runs, options.again);
}

} // namespace

int main(int argc, char **argv)
{
    prepareConsole();
    SiteOptions options;
    if (!parseSiteOptions(argc, argv, &options)) {
        return SITE_BAD_OPTION;
    }
    if (options.worker != nullptr) {
        if (!workerChannelOpen(options.channel)) {
            printf("ERROR: A worker reports through its channel, and %s names none it holds.\r\n",
                   options.channel);
            return SITE_BAD_OPTION;
        }
        return options.worker == PROBE_WORKER ? runProbeWorker(options.port)
                                              : runUpdateWorker(options.port, options.rate);
    }
    if (options.help) {
        fputs(USAGE, stdout);
        return SITE_ALL_UPDATED;
    }
    installInterrupts();
    const int status = runSite(options);
    runEnded();
    return status;
}
