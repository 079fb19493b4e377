// The site update: every unit on the machine's ports (or the operator's, network ports among them) listed,
// then updated at once, each by a worker process of its own pinned to its port and rate, checked afterwards
// and recorded. The one-unit modules keep their state per process, so a worker runs them unchanged.
#pragma once

#include <string>
#include <vector>

#include "LumivaneFwUpgrade.h"

// Ports the listing probes whatever the machine names, as discovery does.
const int SITE_FIRST_PORT = 1;
const int SITE_LAST_PORT = 32;

// The site program's exit statuses.
const int SITE_ALL_UPDATED = 0; // every listed unit updated, or on the release already
const int SITE_FAILED = 1;      // a unit failed or was interrupted, or the run was
const int SITE_WARNING = 2;     // a unit skipped or held, no prompt, not the release's version
const int SITE_NOTHING_TO_UPDATE = 3;
const int SITE_BAD_OPTION = -1;

// What the listing learnt of one port.
struct PortFinding {
    std::string port;      // "COM3", "rfc2217://rack4:4001"
    bool held = false;     // another program holds it
    bool answered = false; // the probe was answered at `rate`
    bool talks = false;    // not answered, and the line never fell silent
    std::string notProbed; // why no probe reported on the port, when none did
    int rate = 0;
    bool versionRead = false;
    VersionReply version;
    UnitIdentity identity = IDENTITY_NONE;
};

// What the listing plans for a port.
enum class Plan { Update, OnTheRelease, UnknownProduct, NoIdentity, Held, Talks, NotProbed, Nothing };
// With again, a unit on the release is updated all the same.
Plan planOf(const PortFinding &finding, bool again);
// "update", "skip: runs 1.0.8", "skip: unknown product", ...
std::string planText(Plan plan);

std::string sideOf(UnitIdentity identity); // "TX (1st gen)", "RX (2nd gen)", ... or "?"
// Versions as the site program shows and records them all: "2.1.5", "3.4", as the release's own
// version is written.
std::string firmwareVersionText(const VersionReply &version);
std::string fpgaVersionText(const VersionReply &version);
bool runsTheRelease(const VersionReply &version);

// How a unit's update ended.
enum class Verdict { Updated, Warning, Failed, Interrupted };
