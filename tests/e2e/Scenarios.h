// The end-to-end scenarios of the update tool, and how they reach the programs under test: native,
// or under Wine.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "RunProgram.h"
#include "SimUnit.h"

namespace e2e {

enum class Program { Update, WebPackage, Site }; // Site: the site program's test build

class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    // COMn opens the terminal at devicePath; ports never named are absent.
    virtual void namePort(int com, const std::string &devicePath) = 0;
    // COMn names the terminal at devicePath, which another program holds while the runner lasts.
    virtual void holdPort(int com, const std::string &devicePath) = 0;
    // What run() runs, for a caller to add a signal or a closed output to.
    virtual testsupport::RunOptions runOptions(Program program, const std::string &typed, int timeoutMs,
                                               const std::string &workDir = "",
                                               const std::vector<std::string> &args = {}) const = 0;
    testsupport::RunResult run(Program program, const std::string &typed, int timeoutMs,
                               const std::string &workDir = "", const std::vector<std::string> &args = {})
    {
        return testsupport::runProgram(runOptions(program, typed, timeoutMs, workDir, args));
    }
    // False for the test build: its Sleep returns at once, writing "Sleep <ms>" on standard error.
    virtual bool realRebootWait() const = 0;
    // False where the program's line settings (a DCB) give a port back its rate, character format and
    // flow control but not the terminal's other flags.
    virtual bool restoresTerminalFlags() const { return true; }
};

class NativeToolRunner : public ToolRunner {
public:
    explicit NativeToolRunner(bool realRebootWait) : realRebootWait_(realRebootWait) {}
    void namePort(int com, const std::string &devicePath) override { ports_.name(com, devicePath); }
    void holdPort(int com, const std::string &devicePath) override
    {
        namePort(com, devicePath);
        held_.push_back(std::make_unique<testsupport::HeldPort>(devicePath));
    }
    bool realRebootWait() const override { return realRebootWait_; }
    testsupport::RunOptions runOptions(Program program, const std::string &typed, int timeoutMs,
                                       const std::string &workDir = "",
                                       const std::vector<std::string> &args = {}) const override;

private:
    bool realRebootWait_;
    testsupport::PortsDir ports_;
    std::vector<std::unique_ptr<testsupport::HeldPort>> held_;
};

enum class Reboot {
    NotReached,
    Prompt,         // boot text that the tool must drop, then the prompt
    NoPrompt,       // a "[...]>>" too early to count, then a prompt that does not start with "["
    PromptInPieces, // "[SIMUNIT" and, 600 ms later within the same read, "]", a NUL byte and ">>"
};

struct Scenario {
    std::string name;
    // "COM: unitsim options", "COM held" (another program holds it) or "COM /device", "; " between;
    // others absent.
    std::string units;
    std::string typed;
    Reboot reboot;
    std::string transcript;
    int exitStatus;
    std::string seen;         // "COM: " and its unitSummary, "; " between; a unit left out is not checked
    bool standInOnly = false; // only a build with stand-in images behaves so
    // Sent once the output is the transcript but its last line and, when signalAfter names one, a
    // unit has taken that command ("key": the console waits for a key; with no signal, a key is
    // typed then). The console is then a terminal; it and each unit's port must get back their
    // settings, and the port be free.
    int signal = 0;
    std::string signalAfter = "";
    // Standard output is piped into `head -c closeOutputAfter`, which closes it then (the status is
    // the program's); the port must get back its settings and be free.
    size_t closeOutputAfter = 0;
};

const Scenario &scenario(const std::string &name);
std::vector<std::string> scenarioNames(bool reachingTheReboot);
extern const char FULL_UPDATE_SCENARIO[];

void runScenario(ToolRunner &runner, const Scenario &scenario);

// unitsim's options for a reboot of this kind, in a run that spends the real reboot wait or not.
std::vector<std::string> rebootOptions(Reboot reboot, bool realRebootWait);
std::vector<std::string> split(const std::string &text, const std::string &separator);
// Every command as "kind@rate[+cts] answer" ("*N": N times in a row), then every image: "fpga=K"
// when it arrived whole as catalogue entry K at 115200 with flow control, else "fpga:<bytes>".
std::string unitSummary(const nlohmann::json &report);

// The web package writer beside an older package, with something at the part file's name: links
// and FIFOs are removed, never followed; a directory stops the run, the older package untouched.
// Natively, interrupts too: before the rename (the part goes), at the key wait (status 0 kept).
inline const std::vector<std::string> PLANTED_PART_KINDS = {
    "Nothing", "LinkToAVictim", "Fifo", "Directory", "SigintBeforeTheRename", "SigtermAtTheKeyWait"};
void runWithPlantedPart(ToolRunner &runner, const std::string &kind);

} // namespace e2e
