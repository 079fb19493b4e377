// A unit's events, read into what the site program shows and records.
#include "UnitReport.h"

using nlohmann::json;

namespace {

int stageNamed(const std::string &name)
{
    return name == STAGE_NAMES[IMAGE_FPGA]       ? IMAGE_FPGA
           : name == STAGE_NAMES[IMAGE_FIRMWARE] ? IMAGE_FIRMWARE
                                                 : -1;
}

void applyObject(const json &line, UnitReport *report)
{
    const std::string name = line.at("event").get<std::string>();
    UnitState &state = report->state;
    if (name == events::VERSION) {
        VersionReply version;
        if (!readVersionJson(line.at("version"), &version)) {
            return;
        }
        const bool after = line.at("when").get<std::string>() == "after";
        (after ? report->after : report->before) = version;
        (after ? report->versionAfterRead : report->versionRead) = true;
    } else if (name == events::SIDE) {
        report->identity = identityNamed(line.at("identity").get<std::string>());
    } else if (name == events::IMAGE) {
        const int stage = stageNamed(line.at("stage").get<std::string>());
        if (stage < 0) {
            return;
        }
        StageReport &image = report->stages[stage];
        image.announced = true;
        image.entry = line.at("entry").get<int>();
        image.length = line.at("length").get<int>();
        image.checksum = line.at("checksum").get<uint32_t>();
        state.phase = stage == IMAGE_FPGA ? UnitPhase::PreparingFpga : UnitPhase::PreparingFirmware;
    } else if (name == events::PROGRESS) {
        const int stage = stageNamed(line.at("stage").get<std::string>());
        if (stage < 0) {
            return;
        }
        state.phase = stage == IMAGE_FPGA ? UnitPhase::Fpga : UnitPhase::Firmware;
        state.figure = line.at("percent").get<int>();
    } else if (name == events::STAGE_END) {
        const int stage = stageNamed(line.at("stage").get<std::string>());
        const std::string outcome = line.at("outcome").get<std::string>();
        if (stage >= 0 && (outcome == "ok" || outcome == "failed" || outcome == "interrupted")) {
            report->stages[stage].outcome = outcome;
        }
    } else if (name == events::REBOOT) {
        state.phase = UnitPhase::Rebooting;
        state.figure = line.at("seconds").get<int>();
    } else if (name == events::CHECKING) {
        state.phase = UnitPhase::Checking;
    } else if (name == events::OUTCOME) {
        const std::string reason = line.at("reason").get<std::string>();
        // The first word stands: an interrupt's line cannot replace an outcome already given.
        if (report->reason.empty() && reasonOf(reason) != nullptr) {
            report->reason = reason;
        }
    }
}

} // namespace

bool readProbeEvent(const std::string &channel, const std::string &port, PortFinding *finding)
{
    const size_t end = channel.rfind('\n');
    const size_t start = end == std::string::npos ? std::string::npos : channel.rfind('\n', end - 1);
    if (end == std::string::npos) {
        return false;
    }
    const json line = json::parse(channel.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
    try {
        if (!line.is_object() || line.at("event").get<std::string>() != events::PROBE ||
            line.at("port").get<std::string>() != port) {
            return false;
        }
        PortFinding read;
        read.port = port;
        read.held = line.at("held").get<bool>();
        read.answered = line.at("answered").get<bool>();
        read.talks = line.at("talks").get<bool>();
        if (read.answered) {
            read.rate = line.at("rate").get<int>();
            read.identity = identityNamed(line.at("identity").get<std::string>());
            read.versionRead = line.contains("version") && readVersionJson(line.at("version"), &read.version);
        }
        *finding = read;
        return true;
    } catch (const json::exception &) {
        return false;
    }
}

void applyEvent(const std::string &text, UnitReport *report)
{
    const json line = json::parse(text, nullptr, false);
    if (!line.is_object()) {
        return;
    }
    try {
        applyObject(line, report);
    } catch (const json::exception &) {
        // Not an event of the contract: it says nothing.
    }
}

void concludeReport(UnitReport *report, bool started)
{
    if (report->reason.empty()) {
        const bool anyImage = report->stages[IMAGE_FPGA].announced;
        const bool bothTaken = report->stages[IMAGE_FIRMWARE].outcome == "ok";
        report->reason = !started    ? reasons::WORKER_NOT_STARTED
                         : bothTaken ? reasons::ENDED_AFTER_BOTH_IMAGES
                         : anyImage  ? reasons::ENDED_IN_MID_IMAGE
                                     : reasons::ENDED_BEFORE_ANY_IMAGE;
    }
    // A stage under way when the worker ended did not get its image.
    for (StageReport &stage : report->stages) {
        if (stage.announced && stage.outcome == "not reached") {
            stage.outcome = verdictOf(*report) == Verdict::Interrupted ? "interrupted" : "failed";
        }
    }
    report->state.phase = UnitPhase::Ended;
    report->state.verdict = verdictOf(*report);
    report->state.outcome = outcomeText(*report);
}

Verdict verdictOf(const UnitReport &report)
{
    const Reason *reason = reasonOf(report.reason);
    return reason != nullptr ? reason->verdict : Verdict::Failed;
}

std::string outcomeText(const UnitReport &report)
{
    const Reason *reason = reasonOf(report.reason);
    if (reason == nullptr) {
        return "working";
    }
    const std::string release = FIRMWARE_VERSION_TO_UPLOAD;
    switch (reason->verdict) {
    case Verdict::Updated: return "updated, now runs " + firmwareVersionText(report.after);
    case Verdict::Interrupted: return std::string("INTERRUPTED ") + reason->text;
    case Verdict::Failed: return std::string("FAILED: ") + reason->text;
    default: break;
    }
    if (report.reason == reasons::NOT_THE_RELEASE) {
        return "WARNING: now runs " + firmwareVersionText(report.after) + ", not " + release;
    }
    return std::string("WARNING: ") + reason->text;
}
