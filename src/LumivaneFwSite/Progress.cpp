// What a unit's one-unit transcript says: the stage it has reached and how it ended. The
// transcript's labels and percentages are the update's own console text, byte for byte.
#include <cstdio>
#include <cstring>

#include "LumivaneFwSite.h"

const char AFTER_THE_UPDATE[] = "\r\nAfter the update:\r\n";

namespace {

const char FPGA_PREPARING[] = "Preparing to Upload Programmable Logic";
const char FPGA_SENDING[] = "Sending Programmable Logic data";
const char FIRMWARE_PREPARING[] = "Preparing to Upload Firmware";
const char FIRMWARE_SENDING[] = "Sending data ....";
const char REBOOTING[] = "Please wait while the unit is rebooting";
const char BOTH_IMAGES_TAKEN[] = " OK\n\r\n\r";
const char INTERRUPTED[] = "\r\nINTERRUPTED: ";

bool has(const std::string &text, const char *piece)
{
    return text.find(piece) != std::string::npos;
}

// The number shown before the last percent sign after `from`, or 0.
int lastPercentage(const std::string &text, size_t from)
{
    size_t sign = text.rfind('%');
    if (sign == std::string::npos || sign < from) {
        return 0;
    }
    size_t start = sign;
    while (start > from && text[start - 1] >= '0' && text[start - 1] <= '9') {
        start--;
    }
    return start == sign ? 0 : atoi(text.c_str() + start);
}

// Versions as the update shows them: "Checking firmware version ..." and "Checking fpga
// version ..." lines, from `from` on.
bool readShownVersion(const std::string &text, size_t from, VersionReply *version)
{
    const size_t firmware = text.find("Checking firmware version", from);
    const size_t fpga = text.find("Checking fpga version", from);
    if (firmware == std::string::npos || fpga == std::string::npos) {
        return false;
    }
    VersionReply read;
    bool whole = sscanf(text.c_str() + firmware, "Checking firmware version ..............  %d.%d.%d",
                        &read.fw_ver, &read.fw_rev, &read.fw_sub) == 3 &&
                 sscanf(text.c_str() + fpga, "Checking fpga version ..................  %7s %d.%d  device:%d",
                        read.model, &read.fpga_ver, &read.fpga_rev, &read.fpga_type) == 4;
    if (whole) {
        *version = read;
    }
    return whole;
}

bool runsTheRelease(const VersionReply &version)
{
    int major = 0, minor = 0, sub = 0;
    sscanf(FIRMWARE_VERSION_TO_UPLOAD, "%d.%d.%d", &major, &minor, &sub);
    return version.fw_ver == major && version.fw_rev == minor && version.fw_sub == sub;
}

std::string stageOutcome(const std::string &text, const char *preparing, bool taken)
{
    if (taken) {
        return "ok";
    }
    if (!has(text, preparing)) {
        return "not reached";
    }
    return has(text, INTERRUPTED) ? "interrupted" : "failed";
}

// Why the update stopped, from the line the update wrote where it stopped.
std::string failure(const std::string &text)
{
    static const struct {
        const char *line;
        const char *why;
    } reasons[] = {
        {"FAILED [Unit not ready]", "unit not ready"},
        {"FAILED, Unknown product", "unknown product"},
        {"it only updates the simulated unit", "stand-in images, not the simulated unit"},
        {"Expected response did  not matched", "image not accepted"},
        {"data is not valid", "image data not valid"},
        {"Opening COM", "port could not be opened"},
        {"configuration failed", "port could not be configured"},
    };
    for (const auto &reason : reasons) {
        if (has(text, reason.line)) {
            return std::string("FAILED: ") + reason.why;
        }
    }
    // A transfer's own failure has no message: the unit stopped taking bytes, or left the line.
    if (has(text, FPGA_SENDING) || has(text, FIRMWARE_SENDING)) {
        return "FAILED: image transfer cut short";
    }
    // The identification's: "FAILED" right after the product check.
    return has(text, "FAILED\r\n") ? "FAILED: no identity" : "FAILED: the update ended without its outcome";
}

} // namespace

std::string versionText(int major, int minor, int sub)
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(sub);
}

std::string progressOf(const std::string &text)
{
    const size_t reboot = text.rfind(REBOOTING);
    if (reboot != std::string::npos) {
        if (text.find("100%", reboot) != std::string::npos) {
            return "checking";
        }
        // Each step of the counter shows a percentage of its own: the step, and so the time left.
        const int shown = lastPercentage(text, reboot);
        int step = 0;
        while (step < REBOOT_STEPS && step * 100 / REBOOT_STEPS < shown) {
            step++;
        }
        return "rebooting " + std::to_string((REBOOT_STEPS - step) * REBOOT_STEP_MS / 1000) + " s";
    }
    const size_t firmware = text.rfind(FIRMWARE_SENDING);
    if (firmware != std::string::npos) {
        return "firmware " + std::to_string(lastPercentage(text, firmware)) + "%";
    }
    if (has(text, FIRMWARE_PREPARING)) {
        return "preparing firmware";
    }
    const size_t fpga = text.rfind(FPGA_SENDING);
    if (fpga != std::string::npos) {
        return "FPGA " + std::to_string(lastPercentage(text, fpga)) + "%";
    }
    return has(text, FPGA_PREPARING) ? "preparing FPGA" : "identifying";
}

UnitOutcome outcomeOf(const std::string &text, int exitStatus)
{
    UnitOutcome outcome;
    const bool fpgaTaken = has(text, FIRMWARE_PREPARING);
    const bool firmwareTaken = has(text, BOTH_IMAGES_TAKEN);
    outcome.stageOutcome[0] = stageOutcome(text, FPGA_PREPARING, fpgaTaken);
    outcome.stageOutcome[1] = stageOutcome(text, FIRMWARE_PREPARING, firmwareTaken);
    const size_t after = text.find(AFTER_THE_UPDATE);
    if (after != std::string::npos) {
        outcome.versionAfterRead = readShownVersion(text, after, &outcome.versionAfter);
    }
    const size_t interrupted = text.find(INTERRUPTED);
    if (interrupted != std::string::npos) {
        outcome.verdict = Verdict::Interrupted;
        outcome.text = has(text, "the upload was cut short") ? "INTERRUPTED in mid-image: update it again"
                       : has(text, "the reboot wait was cut")
                           ? "INTERRUPTED in the reboot wait: check the unit"
                           : "INTERRUPTED before any image: the unit is unchanged";
        return outcome;
    }
    if (exitStatus == UPDATE_PROMPT_MISSING) {
        outcome.verdict = Verdict::Warning;
        outcome.text = "WARNING: no prompt after the reboot";
    } else if (exitStatus != UPDATE_COMPLETED) {
        outcome.text = failure(text);
    } else if (!outcome.versionAfterRead) {
        outcome.verdict = Verdict::Warning;
        outcome.text = "WARNING: no version reported after the update";
    } else {
        const VersionReply &now = outcome.versionAfter;
        const std::string runs = versionText(now.fw_ver, now.fw_rev, now.fw_sub);
        outcome.verdict = runsTheRelease(now) ? Verdict::Updated : Verdict::Warning;
        outcome.text = outcome.verdict == Verdict::Updated
                           ? "updated, now runs " + runs
                           : "WARNING: now runs " + runs + ", not " + FIRMWARE_VERSION_TO_UPLOAD;
    }
    return outcome;
}
