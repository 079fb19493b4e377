// What the operator sees of the units before and after their update: the listing, and the
// summary with its counts. Unit text is shown escaped: it never drives the console.
#pragma once

#include <string>
#include <vector>

#include "SiteRecord.h"

// "COM3   RX (2nd gen)   ": the port and side a line starts with.
std::string unitLabel(const std::string &port, UnitIdentity identity);

void showListing(const std::vector<PortFinding> &findings, bool again);

// Every unit listed: updated ones with their outcome, the others with why they were left alone.
// runFolder "" when no unit was updated.
void showSummary(const std::vector<PortFinding> &listed, const std::vector<UnitRun> &updated, bool again,
                 const std::string &runFolder);
// The run's exit status from what each unit listed came to.
int siteStatus(const std::vector<PortFinding> &listed, const std::vector<UnitRun> &updated, bool again);
