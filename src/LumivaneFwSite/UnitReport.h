// What the site program knows of a unit: built from its worker's events alone, so that the live
// view, the summary and the record say what the worker found and sent.
#pragma once

#include <string>

#include "LiveView.h"
#include "WorkerEvents.h"

// A probe worker's event on its channel; false when there is none of `port`, so that a garbled
// channel can never name another unit.
bool readProbeEvent(const std::string &channel, const std::string &port, PortFinding *finding);

// One image stage as the worker announced and ended it.
struct StageReport {
    bool announced = false;
    int entry = -1;
    int length = 0;
    uint32_t checksum = 0;
    std::string outcome = "not reached"; // "ok", "failed", "interrupted"
};

struct UnitReport {
    bool versionRead = false;
    VersionReply before;
    UnitIdentity identity = IDENTITY_NONE;
    StageReport stages[2];
    UnitState state; // for the live view
    bool versionAfterRead = false;
    VersionReply after;
    std::string reason; // the worker's last word, or the site program's for a worker that gave none
};

// One line of an update worker's channel; a line that is no event of the contract changes nothing.
void applyEvent(const std::string &line, UnitReport *report);
// Once the worker has ended: when it gave no reason, one read from how far its events got (a
// worker that never started gives workerNotStarted's).
void concludeReport(UnitReport *report, bool started);

Verdict verdictOf(const UnitReport &report);
// The summary's words: "updated, now runs 1.0.8", "FAILED: unit not ready", ...
std::string outcomeText(const UnitReport &report);
