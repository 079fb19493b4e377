#include "SiteView.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string field(const std::string &text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string portField(int port)
{
    return field("COM" + std::to_string(port), 7);
}

// What a unit left alone counts as: on the release already, or skipped.
bool onTheRelease(const PortFinding &finding, bool again)
{
    return planOf(finding, again) == Plan::OnTheRelease;
}

} // namespace

std::string unitLabel(int port, UnitIdentity identity)
{
    return portField(port) + field(sideOf(identity), 15);
}

void showListing(const std::vector<PortFinding> &findings, bool again)
{
    fputs("\r\nPort   Rate    Model    Firmware  FPGA   Device  Side           Update\r\n", stdout);
    for (const PortFinding &f : findings) {
        const Plan plan = planOf(f, again);
        if (plan == Plan::Held || plan == Plan::Talks) {
            printf("%s%s\r\n", portField(f.port).c_str(),
                   plan == Plan::Held ? "held by another program" : "talks without end");
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

void showSummary(const std::vector<UnitRun> &updated, const std::vector<PortFinding> &leftAlone, bool again,
                 const std::string &runFolder)
{
    if (runFolder.empty()) {
        fputs("\r\nSummary:\r\n", stdout);
    } else {
        printf("\r\nSummary (logs in %s):\r\n", runFolder.c_str());
    }
    int counts[4] = {0, 0, 0, 0};
    int current = 0;
    // Port and line: the updated units and those left alone, shown in port order.
    std::vector<std::pair<int, std::string>> lines;
    for (const UnitRun &unit : updated) {
        counts[(int)verdictOf(unit.report)]++;
        lines.push_back({unit.listed.port, unitLabel(unit.listed.port, unit.report.identity) +
                                               outcomeText(unit.report) +
                                               (unit.note.empty() ? "" : " (" + unit.note + ")")});
    }
    for (const PortFinding &finding : leftAlone) {
        current += onTheRelease(finding, again) ? 1 : 0;
        lines.push_back(
            {finding.port, unitLabel(finding.port, finding.identity) + planText(planOf(finding, again))});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &line : lines) {
        printf("%s\r\n", line.second.c_str());
    }
    printf("\r\n%d units: %d updated, %d already on %s, %d with a warning, %d failed, %d interrupted, %d "
           "skipped\r\n",
           (int)lines.size(), counts[(int)Verdict::Updated], current, FIRMWARE_VERSION_TO_UPLOAD,
           counts[(int)Verdict::Warning], counts[(int)Verdict::Failed], counts[(int)Verdict::Interrupted],
           (int)leftAlone.size() - current);
}

int siteStatus(const std::vector<UnitRun> &updated, const std::vector<PortFinding> &leftAlone, bool again)
{
    int status = SITE_ALL_UPDATED;
    for (const UnitRun &unit : updated) {
        const Verdict verdict = verdictOf(unit.report);
        if (verdict == Verdict::Failed || verdict == Verdict::Interrupted) {
            return SITE_FAILED;
        }
        status = verdict == Verdict::Warning ? SITE_WARNING : status;
    }
    for (const PortFinding &finding : leftAlone) {
        status = onTheRelease(finding, again) ? status : SITE_WARNING;
    }
    return status;
}
