// The update record: one JSON line per unit and run, appended whole and flushed when the unit
// ends, so that an interrupted run keeps the lines of the units that ended.
#pragma once

#include <string>

#include "LumivaneFwSite.h"

// $XDG_STATE_HOME/LumivaneFwUpgrade/updates.jsonl (default ~/.local/state/...), on Windows
// %LOCALAPPDATA%\LumivaneFwUpgrade\updates.jsonl; "" when neither place is known.
std::string defaultRecordPath(void);

// What an image stage announces: the flat image's length and checksum.
struct AnnouncedImage {
    int length = 0;
    uint32_t checksum = 0;
};

struct UnitRun {
    PortFinding finding;
    std::string start, end;   // UTC, ISO 8601
    AnnouncedImage images[2]; // FPGA, firmware
    UnitOutcome outcome;
    std::string logPath;
};

std::string recordLine(const UnitRun &run, const std::string &host);
// Appends the line and a line feed, creating the folders on the way; false when it could not.
bool appendRecordLine(const std::string &path, const std::string &line);

std::string utcNow(bool compact); // 2026-12-08T03:22:51Z, or 20261208T032251Z for file names
std::string hostName(void);
