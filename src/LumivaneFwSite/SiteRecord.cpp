#include "SiteRecord.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using json = nlohmann::ordered_json;

namespace {

json versionJson(const VersionReply &v)
{
    return {{"firmware", versionText(v.fw_ver, v.fw_rev, v.fw_sub)},
            {"model", v.model},
            {"fpga", std::to_string(v.fpga_ver) + "." + std::to_string(v.fpga_rev)},
            {"device", v.fpga_type}};
}

void makeFolder(const std::string &path)
{
#ifdef _WIN32
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0755);
#endif
}

// Every folder on the way to the file; one that exists already is left as it is.
void makeFoldersFor(const std::string &file)
{
    for (size_t at = file.find_first_of("/\\", 1); at != std::string::npos;
         at = file.find_first_of("/\\", at + 1)) {
        makeFolder(file.substr(0, at));
    }
}

std::string environment(const char *name)
{
    const char *value = getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::string defaultRecordPath(void)
{
#ifdef _WIN32
    const std::string base = environment("LOCALAPPDATA");
    return base.empty() ? "" : base + "\\LumivaneFwUpgrade\\updates.jsonl";
#else
    std::string base = environment("XDG_STATE_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = environment("HOME");
        if (home.empty()) {
            return "";
        }
        base = home + "/.local/state";
    }
    return base + "/LumivaneFwUpgrade/updates.jsonl";
#endif
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

std::string recordLine(const UnitRun &run, const std::string &host)
{
    static const char *const STAGE_NAMES[] = {"fpga", "firmware"};
#ifdef LUMIVANE_STANDIN_IMAGES
    const std::string images = std::string("stand-in ") + RELEASE_NAME;
#else
    const std::string images = RELEASE_NAME;
#endif
    json stages = json::array();
    for (int stage = 0; stage < 2; stage++) {
        stages.push_back({{"stage", STAGE_NAMES[stage]},
                          {"length", run.images[stage].length},
                          {"checksum", run.images[stage].checksum},
                          {"outcome", run.outcome.stageOutcome[stage]}});
    }
    json before = versionJson(run.finding.version);
    before["side"] = sideOf(run.finding.identity);
    const json line = {
        {"start", run.start},
        {"end", run.end},
        {"program", std::string("LumivaneFwSite ") + FIRMWARE_VERSION_TO_UPLOAD},
        {"images", images},
        {"host", host},
        {"port", "COM" + std::to_string(run.finding.port)},
        {"rate", run.finding.rate},
        {"before", before},
        {"after", run.outcome.versionAfterRead ? versionJson(run.outcome.versionAfter) : json()},
        {"stages", stages},
        {"outcome", run.outcome.text},
        {"log", run.logPath},
    };
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool appendRecordLine(const std::string &path, const std::string &line)
{
    if (path.empty()) {
        return false;
    }
    makeFoldersFor(path);
    FILE *file = fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return false;
    }
    // One write of the whole line, so that lines of runs side by side never interleave.
    const std::string whole = line + "\n";
    const bool written = fwrite(whole.data(), 1, whole.size(), file) == whole.size() && fflush(file) == 0;
    return fclose(file) == 0 && written;
}
