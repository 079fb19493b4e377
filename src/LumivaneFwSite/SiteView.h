// What the operator sees of a site update: the listing, the live view of the units and the
// summary.
#pragma once

#include <string>
#include <vector>

#include "LumivaneFwSite.h"

void showListing(const std::vector<PortFinding> &findings);

// One line per unit: refreshed in place on a terminal (a few times a second at most), else one
// plain line per stage change, so that a log reads in order.
class LiveView {
public:
    explicit LiveView(std::vector<std::string> units);
    // The stage (or outcome) of each unit, in the order given at construction.
    void show(const std::vector<std::string> &stages, bool final);

private:
    std::vector<std::string> units_;
    std::vector<std::string> shown_;
    bool inPlace_;
    bool drawn_ = false;
    long long lastDrawMs_ = 0;
};

// "COM3   RX (2nd gen)   ": the port and side a line starts with.
std::string unitLabel(const PortFinding &finding);
