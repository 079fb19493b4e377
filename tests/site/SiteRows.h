// The site program's end-to-end rows, played natively and under Wine: several simulated units at
// once; the listing, the answer, the summary, each unit's log byte for byte against the update
// tool's transcript for that unit, the units' own verdicts, the record lines and the exit status.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "Scenarios.h"

namespace site {

struct SiteRow {
    std::string name;
    // "COM: unitsim options" or "COM held", "; " between; others absent. A key above 100 names a
    // network port: "101 net: options" (ser2net in front of the unit; "net-gone": it ends once
    // the unit's FPGA image goes out), "102 silent" (a server that never speaks), "103 nothing".
    std::string units;
    std::string args; // the site program's options, blank-separated
    std::string typed;
    // "COM kind" for each unit, in port order. Updated: updated, old-version (keeps its version),
    // no-prompt, not-ready, send-failed (its line stops taking bytes, or goes), interrupted,
    // stand-in (refused by a stand-in build). Left alone: held, unknown, current (on the release).
    std::string outcomes;
    int exitStatus;           // or the signal that ended it
    std::string listing = ""; // when given: the listing's rows, byte for byte
    // Sent to the site program alone once every unit to update shows its FPGA transfer. After
    // SIGKILL only the ports and the record's started lines are looked at: each port must be free
    // again within 3 s.
    int signal = 0;
    // unitsim options of a unit put in place of the first one's while the question waits.
    std::string swappedFor = "";
};

const std::vector<SiteRow> &siteRows();
void PrintTo(const SiteRow &row, std::ostream *out);
void runSiteRow(e2e::ToolRunner &runner, const SiteRow &row);

} // namespace site
