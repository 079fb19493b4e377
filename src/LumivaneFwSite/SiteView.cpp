#include "SiteView.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string field(const std::string &text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string portField(const std::string &port)
{
    return field(port, 7);
}

} // namespace

std::string unitLabel(const std::string &port, UnitIdentity identity)
{
    return portField(port) + field(sideOf(identity), 15);
}

void showListing(const std::vector<PortFinding> &findings, bool again)
{
    fputs("\r\nPort   Rate    Model    Firmware  FPGA   Device  Side           Update\r\n", stdout);
    for (const PortFinding &f : findings) {
        const Plan plan = planOf(f, again);
        if (plan == Plan::Held || plan == Plan::Talks || plan == Plan::NotProbed) {
            printf("%s%s\r\n", portField(f.port).c_str(),
                   plan == Plan::Held    ? "held by another program"
                   : plan == Plan::Talks ? "talks without end"
                                         : ("not probed: " + f.notProbed).c_str());
            continue;
        }
        if (plan == Plan::Nothing) {
            continue;
        }
        const VersionReply &v = f.version;
        printf("%s%s%s%s%s%s%s%s\r\n", portField(f.port).c_str(), field(std::to_string(f.rate), 8).c_str(),
               field(f.versionRead ? escapedUnitText(v.model, v.modelLength, TRUE) : "-", 9).c_str(),
               field(f.versionRead ? firmwareVersionText(v) : "-", 10).c_str(),
               field(f.versionRead ? fpgaVersionText(v) : "-", 7).c_str(),
               field(f.versionRead ? std::to_string(v.fpga_type) : "-", 8).c_str(),
               field(sideOf(f.identity), 15).c_str(), planText(plan).c_str());
    }
}

void showSummary(const std::vector<PortFinding> &listed, const std::vector<UnitRun> &updated, bool again,
                 const std::string &runFolder)
{
    if (runFolder.empty()) {
        fputs("\r\nSummary:\r\n", stdout);
    } else {
        printf("\r\nSummary (logs in %s):\r\n", runFolder.c_str());
    }
    int counts[4] = {0, 0, 0, 0};
    int units = 0, current = 0, skipped = 0;
    // In the listing's order: each unit updated with its outcome, each other with why it was left alone.
    for (const PortFinding &finding : listed) {
        const Plan plan = planOf(finding, again);
        const auto run = std::find_if(updated.begin(), updated.end(),
                                      [&](const UnitRun &unit) { return unit.listed.port == finding.port; });
        if (run != updated.end()) {
            counts[(int)verdictOf(run->report)]++;
            printf("%s%s%s\r\n", unitLabel(run->listed.port, run->report.identity).c_str(),
                   outcomeText(run->report).c_str(),
                   run->note.empty() ? "" : (" (" + run->note + ")").c_str());
        } else if (plan != Plan::Nothing && plan != Plan::Update) {
            (plan == Plan::OnTheRelease ? current : skipped)++;
            printf("%s%s\r\n", unitLabel(finding.port, finding.identity).c_str(), planText(plan).c_str());
        } else {
            continue;
        }
        units++;
    }
    printf("\r\n%d units: %d updated, %d already on %s, %d with a warning, %d failed, %d interrupted, %d "
           "skipped\r\n",
           units, counts[(int)Verdict::Updated], current, FIRMWARE_VERSION_TO_UPLOAD,
           counts[(int)Verdict::Warning], counts[(int)Verdict::Failed], counts[(int)Verdict::Interrupted],
           skipped);
}

int siteStatus(const std::vector<PortFinding> &listed, const std::vector<UnitRun> &updated, bool again)
{
    int status = SITE_ALL_UPDATED;
    for (const UnitRun &unit : updated) {
        const Verdict verdict = verdictOf(unit.report);
        if (verdict == Verdict::Failed || verdict == Verdict::Interrupted) {
            return SITE_FAILED;
        }
        status = verdict == Verdict::Warning ? SITE_WARNING : status;
    }
    for (const PortFinding &finding : listed) {
        const Plan plan = planOf(finding, again);
        status = plan == Plan::Nothing || plan == Plan::Update || plan == Plan::OnTheRelease ? status
                                                                                             : SITE_WARNING;
    }
    return status;
}
