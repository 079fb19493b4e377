// What a probe worker found on its port, as the one JSON line it hands to the site program.
#pragma once

#include <string>

#include "LumivaneFwSite.h"

std::string findingLine(const PortFinding &finding);
// The last JSON line of a probe worker's output; false when there is none or it is not a
// finding of `port`, so that a garbled output can never name another unit.
bool readFindingLine(const std::string &output, int port, PortFinding *finding);
