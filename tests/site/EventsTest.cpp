// A unit's events read into its verdict, its summary words and its stages: every reason a worker
// gives, a worker that gave none, and lines that are no events.
#include <gtest/gtest.h>

#include "UnitReport.h"

namespace {

const std::string VERSION_BEFORE =
    R"({"event":"version","when":"before","version":{"fw":[2,1,5],"model":"SIMUNIT","fpga":[3,4],"device":1}})";
const std::string FPGA_ANNOUNCED =
    R"({"event":"image","stage":"fpga","entry":3,"length":775760,"checksum":42})";
const std::string FPGA_TAKEN = R"({"event":"stage-end","stage":"fpga","outcome":"ok"})";
const std::string FIRMWARE_ANNOUNCED =
    R"({"event":"image","stage":"firmware","entry":0,"length":9,"checksum":7})";
const std::string FIRMWARE_TAKEN = R"({"event":"stage-end","stage":"firmware","outcome":"ok"})";
const std::string BOTH_TAKEN =
    FPGA_ANNOUNCED + "\n" + FPGA_TAKEN + "\n" + FIRMWARE_ANNOUNCED + "\n" + FIRMWARE_TAKEN;

std::string outcome(const std::string &reason)
{
    return R"({"event":"outcome","reason":")" + reason + "\"}";
}

std::string after(const std::string &firmware)
{
    return R"({"event":"version","when":"after","version":{"fw":[)" + firmware +
           R"(],"model":"SIMUNIT","fpga":[3,4],"device":1}})";
}

UnitReport reportOf(const std::string &lines, bool started = true)
{
    UnitReport report;
    size_t at = 0;
    for (size_t end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
        applyEvent(lines.substr(at, end - at), &report);
    }
    applyEvent(lines.substr(at), &report);
    concludeReport(&report, started);
    return report;
}

TEST(SiteEvents, EveryOutcomeAndReason)
{
    const struct {
        std::string events;
        bool started;
        Verdict verdict;
        std::string text, stages;
    } rows[] = {
        {BOTH_TAKEN + "\n" + after("1,0,8") + "\n" + outcome("updated"), true, Verdict::Updated,
         "updated, now runs 1.0.8", "ok ok"},
        {BOTH_TAKEN + "\n" + after("2,1,5") + "\n" + outcome("not-the-release"), true, Verdict::Warning,
         "WARNING: now runs 2.1.5, not 1.0.8", "ok ok"},
        {BOTH_TAKEN + "\n" + outcome("no-prompt"), true, Verdict::Warning,
         "WARNING: no prompt after the reboot", "ok ok"},
        {BOTH_TAKEN + "\n" + outcome("no-version-after"), true, Verdict::Warning,
         "WARNING: no version reported after the update", "ok ok"},
        {BOTH_TAKEN, true, Verdict::Warning, "WARNING: ended after both images were taken: check the unit",
         "ok ok"},
        {outcome("port-absent"), true, Verdict::Failed, "FAILED: port could not be opened",
         "not reached not reached"},
        {outcome("port-held"), true, Verdict::Failed, "FAILED: port held by another program",
         "not reached not reached"},
        {outcome("port-settings"), true, Verdict::Failed, "FAILED: port could not be configured",
         "not reached not reached"},
        {outcome("no-memory"), true, Verdict::Failed, "FAILED: not enough memory", "not reached not reached"},
        {outcome("no-version"), true, Verdict::Failed, "FAILED: no version reply", "not reached not reached"},
        {VERSION_BEFORE + "\n" + outcome("unknown-product"), true, Verdict::Failed, "FAILED: unknown product",
         "not reached not reached"},
        {outcome("no-identity"), true, Verdict::Failed, "FAILED: no identity", "not reached not reached"},
        {outcome("stand-in-images"), true, Verdict::Failed, "FAILED: stand-in images, not the simulated unit",
         "not reached not reached"},
        {outcome("image-not-valid"), true, Verdict::Failed, "FAILED: image data not valid",
         "not reached not reached"},
        {FPGA_ANNOUNCED + "\n" + outcome("not-ready"), true, Verdict::Failed, "FAILED: unit not ready",
         "failed not reached"},
        {FPGA_ANNOUNCED + "\n" + outcome("send-failed"), true, Verdict::Failed,
         "FAILED: line stopped taking bytes / send failed", "failed not reached"},
        {FPGA_ANNOUNCED + "\n" + FPGA_TAKEN + "\n" + FIRMWARE_ANNOUNCED + "\n" + outcome("image-refused"),
         true, Verdict::Failed, "FAILED: image not accepted", "ok failed"},
        {"", true, Verdict::Failed, "FAILED: ended before any image, the unit is unchanged",
         "not reached not reached"},
        {FPGA_ANNOUNCED, true, Verdict::Failed, "FAILED: ended in mid-image: update it again",
         "failed not reached"},
        {"", false, Verdict::Failed, "FAILED: worker could not be started", "not reached not reached"},
        {outcome("interrupted-before-any-image"), true, Verdict::Interrupted,
         "INTERRUPTED before any image: the unit is unchanged", "not reached not reached"},
        {FPGA_ANNOUNCED + "\n" + outcome("interrupted-in-mid-image"), true, Verdict::Interrupted,
         "INTERRUPTED in mid-image: update it again", "interrupted not reached"},
        {BOTH_TAKEN + "\n" + outcome("interrupted-in-the-reboot-wait"), true, Verdict::Interrupted,
         "INTERRUPTED in the reboot wait: check the unit", "ok ok"},
        {BOTH_TAKEN + "\n" + outcome("interrupted-in-the-version-check"), true, Verdict::Interrupted,
         "INTERRUPTED in the version check: check the unit", "ok ok"},
        // The first word stands; what is no event of the contract says nothing.
        {outcome("not-ready") + "\n" + outcome("interrupted-before-any-image"), true, Verdict::Failed,
         "FAILED: unit not ready", "not reached not reached"},
        {"FAILED [Unit not ready]\n" + outcome("no-such-reason") +
             "\n{\"event\":\"outcome\",\"reason\":7}\n{",
         true, Verdict::Failed, "FAILED: ended before any image, the unit is unchanged",
         "not reached not reached"},
    };
    for (const auto &row : rows) {
        const UnitReport report = reportOf(row.events, row.started);
        EXPECT_EQ(verdictOf(report), row.verdict) << row.text;
        EXPECT_EQ(outcomeText(report), row.text);
        EXPECT_EQ(report.stages[0].outcome + " " + report.stages[1].outcome, row.stages) << row.text;
    }
    // Every reason the table names has its row.
    EXPECT_EQ(REASON_COUNT, 24u);
}

} // namespace
