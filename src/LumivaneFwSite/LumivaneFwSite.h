// The site update: every unit on COM1 to COM32 listed, then updated at once, each by a worker
// process of its own pinned to its port and rate, checked afterwards and recorded. The one-unit
// modules keep their state per process, so a worker runs them unchanged.
#pragma once

#include <string>
#include <vector>

#include "LumivaneFwUpgrade.h"

// Ports the listing probes, as discovery does.
const int SITE_FIRST_PORT = 1;
const int SITE_LAST_PORT = 32;

// The site program's exit statuses.
const int SITE_ALL_UPDATED = 0;
const int SITE_FAILED = 1;
const int SITE_WARNING = 2;
const int SITE_NOTHING_TO_UPDATE = 3;
const int SITE_BAD_OPTION = -1;

// What the listing learnt of one port.
struct PortFinding {
    int port = 0;
    bool held = false;     // another program holds it
    bool answered = false; // the probe was answered at `rate`
    int rate = 0;
    bool versionRead = false;
    VersionReply version;
    UnitIdentity identity = IDENTITY_NONE;
};

// "update", or why the unit is left alone.
std::string plannedAction(const PortFinding &finding);
bool isTx(UnitIdentity identity);
std::string sideOf(UnitIdentity identity); // "TX", "RX (2nd gen)", ...
std::string versionText(int major, int minor, int sub);

// Worker modes: the site program started on one port. Their standard output is what the
// parent reads: one JSON line for a probe, the one-unit transcript for an update.
int runProbeWorker(int port);
int runUpdateWorker(int port, int rate);
// Between the one-unit transcript and the version reported after the update.
extern const char AFTER_THE_UPDATE[];

// The stage a unit's transcript has reached so far: "preparing FPGA", "FPGA 42%",
// "rebooting 97 s", "checking", ...
std::string progressOf(const std::string &transcript);

// How a unit's update ended.
enum class Verdict { Updated, Warning, Failed, Interrupted };
struct UnitOutcome {
    Verdict verdict = Verdict::Failed;
    std::string text; // "updated, now runs 1.0.8", "FAILED: unit not ready", ...
    bool versionAfterRead = false;
    VersionReply versionAfter;
    // Per stage (FPGA, firmware): "ok", "failed", "interrupted" or "not reached".
    std::string stageOutcome[2];
};
// exitStatus: the worker's, or -1 when it did not end by itself.
UnitOutcome outcomeOf(const std::string &transcript, int exitStatus);
