// The site program's worker modes: the same program started on one port, reporting through the
// channel its command line names.
#pragma once

#include <string>

// False when name is no channel this process holds: a worker never runs without one.
bool workerChannelOpen(const char *name);
// The probe: the port's rate, versions and identity, as one event. Its status is 0 once it has
// reported.
int runProbeWorker(const std::string &port);
// The one-unit update of the unit at port and rate, then its version check; its status is the
// update tool's.
int runUpdateWorker(const std::string &port, int rate);
