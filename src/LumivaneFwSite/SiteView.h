// What the operator sees of a site update's ports: the listing, and each unit's label.
#pragma once

#include <string>
#include <vector>

#include "LumivaneFwSite.h"

void showListing(const std::vector<PortFinding> &findings);

// "COM3   RX (2nd gen)   ": the port and side a line starts with.
std::string unitLabel(const PortFinding &finding);
