// The end-to-end scenarios of the update tool as a table: the simulated units on their ports,
// what the operator types, the transcript expected byte for byte, the exit status, and what
// the units must have seen. Any ToolRunner runs the same rows with the same expectations.
//
//   e2e::NativeToolRunner runner(false);
//   e2e::runScenario(runner, e2e::scenario("UnknownDeviceCode"));
#pragma once
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Json.h"
#include "ToolRunner.h"

namespace e2e {

// How the unit comes back after the firmware image, as the tool's two reads after the
// reboot wait see it.
enum class Reboot {
    NotReached,     // the update stops before the reboot
    PromptShown,    // the prompt comes during the second read: success line
    PromptMissing,  // nothing comes
    PromptTooEarly, // the prompt comes before the second read, which then finds nothing
};

// A unitsim on port COMn with its options (role, rate, faults; never ports or report),
// and whether another program holds its port for the whole run.
struct UnitOnPort {
    int com;
    std::vector<std::string> options;
    bool heldByAnotherProgram = false;
};

// The final report of each unit, by port number.
using UnitReports = std::map<int, testsupport::Json>;

struct Scenario {
    std::string name;               // also the test's name
    std::vector<UnitOnPort> units;  // every other port is absent
    std::string typed;              // the operator's keyboard input
    Reboot reboot = Reboot::NotReached;
    std::string transcript;         // standard output, byte for byte
    int exitStatus = 0;             // -1 shows as 255
    int seconds = 0;                // how long a good run takes, the reboot wait apart
    bool standInOnly = false;       // only a stand-in build behaves so
    std::function<void(const UnitReports &)> checkUnits;
};

const std::vector<Scenario> &updateScenarios();
// The bad days: stalls, vanished units, floods, held ports, operator nonsense (label faults).
const std::vector<Scenario> &faultScenarios();
// The road of one update (TX unit at 9600 on COM3, COM1 idle, COM2 absent): the row that
// runs with the real reboot wait.
extern const char FULL_UPDATE_SCENARIO[];
// The row of either table with this name.
const Scenario &scenario(const std::string &name);
std::vector<std::string> scenarioNames(const std::vector<Scenario> &rows);

// Starts the units, names their ports, runs the update program, compares the transcript,
// the exit status and standard error, stops the units and checks their reports.
void runScenario(ToolRunner &runner, const Scenario &scenario);

// The unitsim options that time the unit's return after the reboot for this runner's wait.
std::vector<std::string> rebootOptions(Reboot reboot, bool realRebootWait);

// Every command a unit received, one "kind@rate[+cts] answer" line each (+cts: CTS flow
// control was on), e.g. "probe@115200 garbage", "fw-upload@115200+cts reply".
std::vector<std::string> commandLog(const testsupport::Json &report);

// Checks that the report's image `index` is the catalogue entry, whole, at 115200 with CTS
// flow control, and with the checksum and length that the tool's builder gives.
void expectImageArrivedWhole(const testsupport::Json &report, size_t index, const std::string &stage,
                             int catalogueIndex);

// The web package writer run in a folder where something already has the part file's name:
// a link to a victim file, a link to nowhere, a FIFO, a directory. Links and FIFOs are removed,
// never followed or opened, and the package is written; a directory stops the run with the
// failure line and the key wait. The victim is unchanged and nothing appears where links lead.
std::vector<std::string> plantedPartKinds();
void runWithPlantedPart(ToolRunner &runner, const std::string &kind);

} // namespace e2e
