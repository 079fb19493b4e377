// The end-to-end scenarios of the update tool, played by any ToolRunner (native, or Wine).
#pragma once
#include <string>
#include <vector>

#include "ToolRunner.h"

namespace e2e {

enum class Reboot {
    NotReached,
    Prompt,   // boot text that the tool must drop, then the prompt
    NoPrompt, // a "[...]>>" too early to count, then a prompt that does not start with "["
};

struct Scenario {
    std::string name;
    // "COM: unitsim options" or "COM held" (another program holds it), "; " between; others absent.
    std::string units;
    std::string typed;
    Reboot reboot;
    std::string transcript;
    int exitStatus;
    std::string seen;         // "COM: " and its unitSummary, "; " between; a unit left out is not checked
    bool standInOnly = false; // only a build with stand-in images behaves so
    // Sent once the output is the transcript but its last line and, when signalAfter names one, a
    // unit has taken that command ("key": the console waits for a key). The console is then a
    // terminal; it and each unit's port must get back their settings, and the port be free.
    int signal = 0;
    std::string signalAfter = "";
};

const Scenario &scenario(const std::string &name);
std::vector<std::string> scenarioNames(bool reachingTheReboot);
extern const char FULL_UPDATE_SCENARIO[];

void runScenario(ToolRunner &runner, const Scenario &scenario);

std::vector<std::string> split(const std::string &text, const std::string &separator);

// Every command as "kind@rate[+cts] answer" ("*N": N times in a row), then every image: "fpga=K"
// when it arrived whole as catalogue entry K at 115200 with flow control, else "fpga:<bytes>".
std::string unitSummary(const nlohmann::json &report);
inline const std::string TX_TO_THE_IMAGE =
    "probe@115200 reply, version@115200+cts reply, identity@115200+cts reply, fpga-upload@115200+cts reply";

// The web package writer beside an older package, with something at the part file's name: links
// and FIFOs are removed, never followed; a directory stops the run, the older package untouched.
std::vector<std::string> plantedPartKinds();
void runWithPlantedPart(ToolRunner &runner, const std::string &kind);

} // namespace e2e
