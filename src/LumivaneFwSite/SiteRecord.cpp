#include "SiteRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using json = nlohmann::ordered_json;

namespace {

const char SEPARATORS[] = "/\\";

std::string environment(const char *name)
{
    const char *value = getenv(name);
    return value != nullptr ? value : "";
}

bool makeFolder(const std::string &path)
{
#ifdef _WIN32
    return _mkdir(path.c_str()) == 0;
#else
    return mkdir(path.c_str(), 0755) == 0;
#endif
}

// Every folder on the way to path, path included; one that exists already is left as it is.
void makeFoldersTo(const std::string &path)
{
    for (size_t at = path.find_first_of(SEPARATORS, 1); at != std::string::npos;
         at = path.find_first_of(SEPARATORS, at + 1)) {
        makeFolder(path.substr(0, at));
    }
    makeFolder(path);
}

json versionJson(const VersionReply &v, UnitIdentity identity)
{
    return {{"firmware", firmwareVersionText(v)},
            {"model", bytesAsText(v.model, v.modelLength)},
            {"fpga", fpgaVersionText(v)},
            {"device", v.fpga_type},
            {"side", sideOf(identity)}};
}

json listedJson(const PortFinding &finding)
{
    return finding.versionRead ? versionJson(finding.version, finding.identity) : json();
}

std::string images(void)
{
#ifdef LUMIVANE_STANDIN_IMAGES
    return std::string("stand-in ") + RELEASE_NAME;
#else
    return RELEASE_NAME;
#endif
}

json lineOf(const RunContext &context, const char *record, const std::string &port)
{
    return {{"run", context.run},
            {"record", record},
            {"program", std::string("LumivaneFwSite ") + FIRMWARE_VERSION_TO_UPLOAD},
            {"images", images()},
            {"host", context.host},
            {"port", port}};
}

std::string dumped(const json &line)
{
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

} // namespace

std::string stateFolder(void)
{
#ifdef _WIN32
    const std::string base = environment("LOCALAPPDATA");
    return base.empty() ? "" : base + "\\LumivaneFwUpgrade";
#else
    std::string base = environment("XDG_STATE_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = environment("HOME");
        if (home.empty()) {
            return "";
        }
        base = home + "/.local/state";
    }
    return base + "/LumivaneFwUpgrade";
#endif
}

std::string defaultRecordPath(void)
{
    const std::string folder = stateFolder();
#ifdef _WIN32
    return folder.empty() ? "" : folder + "\\updates.jsonl";
#else
    return folder.empty() ? "" : folder + "/updates.jsonl";
#endif
}

std::string folderOf(const std::string &path)
{
    const size_t last = path.find_last_of(SEPARATORS);
    return last == std::string::npos ? "." : last == 0 ? path.substr(0, 1) : path.substr(0, last);
}

std::string absolutePath(const std::string &path)
{
#ifdef _WIN32
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
    return length > 0 && length < sizeof full ? std::string(full, length) : path;
#else
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    char *here = getcwd(nullptr, 0);
    const std::string full = here != nullptr ? std::string(here) + "/" + path : path;
    free(here);
    return full;
#endif
}

bool usableAsRecord(const std::string &path, std::string *why)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *why = "it is a folder";
        return false;
    }
#else
    struct stat seen;
    if (stat(path.c_str(), &seen) == 0 && !S_ISREG(seen.st_mode)) {
        *why = "it is not a regular file";
        return false;
    }
#endif
    return true;
}

std::string makeRunFolder(const std::string &root, const std::string &name, std::string *why)
{
    makeFoldersTo(root);
    const std::string base = absolutePath(root) + (root.find('\\') != std::string::npos ? "\\" : "/") + name;
    for (int attempt = 1; attempt < 100; attempt++) {
        const std::string folder = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (makeFolder(folder)) {
            return folder;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    *why = strerror(errno);
    return "";
}

std::string startedLine(const RunContext &context, const UnitRun &unit)
{
    json line = lineOf(context, "started", unit.listed.port);
    line["start"] = unit.start;
    line["rate"] = unit.listed.rate;
    line["listed"] = listedJson(unit.listed);
    line["log"] = unit.log.empty() ? json() : json(unit.log);
    return dumped(line);
}

std::string endedLine(const RunContext &context, const UnitRun &unit)
{
    const UnitReport &report = unit.report;
    json stages = json::array();
    for (int stage = 0; stage < 2; stage++) {
        const StageReport &image = report.stages[stage];
        stages.push_back({{"stage", STAGE_NAMES[stage]},
                          {"entry", image.announced ? json(image.entry) : json()},
                          {"length", image.announced ? json(image.length) : json()},
                          {"checksum", image.announced ? json(image.checksum) : json()},
                          {"outcome", image.outcome}});
    }
    static const char *const VERDICTS[] = {"updated", "warning", "failed", "interrupted"};
    json line = lineOf(context, "ended", unit.listed.port);
    line["start"] = unit.start;
    line["end"] = unit.end;
    line["rate"] = unit.listed.rate;
    line["before"] = report.versionRead ? versionJson(report.before, report.identity) : json();
    line["after"] = report.versionAfterRead ? versionJson(report.after, report.identity) : json();
    line["stages"] = stages;
    line["verdict"] = VERDICTS[(int)verdictOf(report)];
    line["reason"] = report.reason;
    line["outcome"] = outcomeText(report);
    line["note"] = unit.note.empty() ? json() : json(unit.note);
    line["log"] = unit.log.empty() ? json() : json(unit.log);
    return dumped(line);
}

std::string skippedLine(const RunContext &context, const PortFinding &finding, Plan plan)
{
    json line = lineOf(context, "skipped", finding.port);
    line["time"] = utcNow(false);
    line["rate"] = finding.answered ? json(finding.rate) : json();
    line["listed"] = listedJson(finding);
    line["outcome"] = planText(plan);
    return dumped(line);
}

bool appendRecordLine(const std::string &path, const std::string &line)
{
    if (path.empty()) {
        return false;
    }
    makeFoldersTo(folderOf(path));
    // Never blocks: a FIFO or a device put at the record's name since the start is refused.
#ifdef _WIN32
    FILE *file = fopen(path.c_str(), "ab");
    const bool regular =
        file != nullptr && GetFileType((HANDLE)_get_osfhandle(_fileno(file))) == FILE_TYPE_DISK;
#else
    const int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    struct stat seen;
    const bool regular = fd >= 0 && fstat(fd, &seen) == 0 && S_ISREG(seen.st_mode);
    FILE *file = fd >= 0 ? fdopen(fd, "ab") : nullptr;
    if (fd >= 0 && file == nullptr) {
        close(fd);
    }
#endif
    if (file == nullptr) {
        return false;
    }
    // One write of the whole line, so that lines of runs side by side never interleave.
    const std::string whole = line + "\n";
    const bool written =
        regular && fwrite(whole.data(), 1, whole.size(), file) == whole.size() && fflush(file) == 0;
    return fclose(file) == 0 && written;
}

std::string utcNow(bool compact)
{
    const time_t now = time(nullptr);
    struct tm utc;
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    strftime(text, sizeof text, compact ? "%Y%m%dT%H%M%SZ" : "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string hostName(void)
{
    char name[256] = "";
#ifdef _WIN32
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
#else
    gethostname(name, sizeof name - 1);
#endif
    return name;
}
