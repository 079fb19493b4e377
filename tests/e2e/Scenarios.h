// The end-to-end scenarios of the update tool as one table: the simulated units on their ports,
// what the operator types, the transcript byte for byte, the exit status, and what each unit
// saw. Any ToolRunner (native, or the Windows build under Wine) plays the same rows.
#pragma once
#include <string>
#include <vector>

#include "Json.h"
#include "ToolRunner.h"

namespace e2e {

// How the unit comes back after the firmware image.
enum class Reboot {
    NotReached, // the update stops before the reboot
    Prompt,     // boot text that the tool must drop, then the prompt: the success line
    NoPrompt,   // a "[...]>>" too early to count, then a prompt that does not start with "[": the warning
};

struct Scenario {
    std::string name;
    // The simulated units, "; " between them: "COM: unitsim options", or "COM held" for a unit
    // whose port another program holds. Every other port is absent.
    std::string units;
    std::string typed; // the operator's keyboard input
    Reboot reboot;
    std::string transcript; // standard output, byte for byte
    int exitStatus;         // -1 shows as 255
    // What units saw, "; " between them: "COM: " and its unitSummary. A unit left out is not checked.
    std::string seen;
    bool standInOnly = false; // only a build with stand-in images behaves so
};

const std::vector<Scenario> &scenarios();
const Scenario &scenario(const std::string &name);
std::vector<std::string> scenarioNames(bool reachingTheReboot);
// The road of one update, run with the real reboot wait.
extern const char FULL_UPDATE_SCENARIO[];

// Starts the units, names their ports, runs the update program and checks its transcript,
// exit status and standard error, then what the units report.
void runScenario(ToolRunner &runner, const Scenario &scenario);

// The text cut at each separator.
std::vector<std::string> split(const std::string &text, const std::string &separator);

// A unit's report in one line: every command as "kind@rate[+cts] answer" (+cts: CTS flow
// control on; "*N": N times in a row), then every image: "fpga=K" when it arrived whole and is
// catalogue entry K as the tool's builder makes it, at 115200 with flow control; otherwise
// "fpga:<bytes received>". E.g. "probe@115200 reply, version@115200+cts reply | fpga=1 fw=0".
std::string unitSummary(const testsupport::Json &report);

// The web package writer run beside an older package, with nothing or something already at the
// part file's name: a link to a victim file, a link to nowhere, a FIFO, a directory. Links and
// FIFOs are removed, never followed; a directory stops the run with the failure line and the
// key wait, the older package untouched.
std::vector<std::string> plantedPartKinds();
void runWithPlantedPart(ToolRunner &runner, const std::string &kind);

} // namespace e2e
