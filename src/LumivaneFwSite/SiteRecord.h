// Where a run leaves its traces: the run folder that holds each unit's log, and the update record,
// one JSON line per unit and event of the run (started, ended, skipped), appended whole and
// flushed at once, so that a run killed outright still names every unit it touched.
#pragma once

#include <string>

#include "UnitReport.h"

// $XDG_STATE_HOME/LumivaneFwUpgrade (default ~/.local/state/...), on Windows
// %LOCALAPPDATA%\LumivaneFwUpgrade; "" when neither place is known.
std::string stateFolder(void);
// The record in the state folder; "" when it is not known.
std::string defaultRecordPath(void);
// The folder that holds the file at path ("." for a bare name).
std::string folderOf(const std::string &path);
// path from the root, whatever the current folder.
std::string absolutePath(const std::string &path);
// Something other than a regular file at path (a FIFO, a device, a folder) is no record: writing
// there could block the run, or lose the lines. Nothing there yet is fine.
bool usableAsRecord(const std::string &path, std::string *why);
// A new folder `name` in root, made with the folders on the way; its absolute path, or "" with
// the system's reason.
std::string makeRunFolder(const std::string &root, const std::string &name, std::string *why);

// What every line of one run shares.
struct RunContext {
    std::string run;  // the run's name, its folder's: "20261208T032251Z"
    std::string host; // this machine
};
// A unit's run as far as the record knows it.
struct UnitRun {
    PortFinding listed;     // what the listing saw
    UnitReport report;      // what the worker reported
    std::string start, end; // UTC, ISO 8601
    std::string log;        // the log's absolute path, "" when it could not be opened
    std::string note;       // what else went wrong: the log, the worker's end
};

std::string startedLine(const RunContext &context, const UnitRun &unit);
std::string endedLine(const RunContext &context, const UnitRun &unit);
std::string skippedLine(const RunContext &context, const PortFinding &finding, Plan plan);
// Appends the line and a line feed, creating the folders on the way; false when it could not.
bool appendRecordLine(const std::string &path, const std::string &line);

std::string utcNow(bool compact); // 2026-12-08T03:22:51Z, or 20261208T032251Z for file names
std::string hostName(void);
