// The site program's command line: the operator's options, or a worker's mode.
#pragma once

#include <string>
#include <vector>

struct SiteOptions {
    bool list = false;  // the listing alone
    bool yes = false;   // no question
    bool again = false; // a unit already on the release is updated too
    bool help = false;
    std::string record;             // "" for the default place
    std::string logs;               // the folder for the run folders; "" for beside the record
    std::string portList;           // as given with --ports
    std::vector<std::string> ports; // the operator's, each once; empty for the machine's
    // A worker: the mode's option, its port (and rate) and its channel's name.
    const char *worker = nullptr;
    std::string port;
    int rate = 0;
    const char *channel = nullptr;
};

extern const char PROBE_WORKER[];
extern const char UPDATE_WORKER[];
extern const char USAGE[];

// False, with the error said, for an option it does not know, a value missing or itself an
// option, or a worker mode without its port, rate or channel.
bool parseSiteOptions(int argc, char **argv, SiteOptions *options);
