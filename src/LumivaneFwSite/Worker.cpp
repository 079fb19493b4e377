// The site program's worker modes. A worker owns one port for its whole life and runs the
// one-unit modules on it unchanged, with their per-process state. What it finds and does goes to
// the site program as events on its channel; its standard output is the unit's transcript.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "ComPortAPI.h"
#include "WorkerEvents.h"
#include "Worker.h"

using nlohmann::json;

namespace {

EventChannel gChannel;

json event(const char *name)
{
    return {{"event", name}};
}

// Forgets any earlier failure, so that a failed open's reason is its own.
void clearLastError(void)
{
#ifdef _WIN32
    SetLastError(0);
#else
    errno = 0;
#endif
}

// What the update does, as events; and, for an interrupt, the lines it would end on, made
// beforehand so that a signal handler only writes them.
class Reporter : public UpdateListener {
public:
    Reporter()
    {
        for (int stage = 0; stage < 2; stage++) {
            stageCut_[stage] = "\n" + stageEnd((ImageStage)stage, "interrupted").dump() + "\n";
        }
        const char *const CUT[] = {reasons::INTERRUPTED_BEFORE_ANY_IMAGE, reasons::INTERRUPTED_IN_MID_IMAGE,
                                   reasons::INTERRUPTED_IN_THE_REBOOT_WAIT,
                                   reasons::INTERRUPTED_IN_THE_VERSION_CHECK};
        for (int i = 0; i < 4; i++) {
            outcomeCut_[i] = "\n" + outcome(CUT[i]).dump() + "\n";
        }
    }

    static json outcome(const char *reason)
    {
        json line = event(events::OUTCOME);
        line["reason"] = reason;
        return line;
    }

    void versionRead(const VersionReply &version) override { sendVersion("before", version); }
    void sendVersion(const char *when, const VersionReply &version)
    {
        json line = event(events::VERSION);
        line["when"] = when;
        line["version"] = versionJson(version);
        gChannel.send(line);
    }
    void identified(UnitIdentity identity) override
    {
        json line = event(events::SIDE);
        line["identity"] = identityName(identity);
        gChannel.send(line);
    }
    void imageAnnounced(ImageStage stage, int entry, int length, uint32_t checksum) override
    {
        json line = event(events::IMAGE);
        line["stage"] = STAGE_NAMES[stage];
        line["entry"] = entry;
        line["length"] = length;
        line["checksum"] = checksum;
        stage_ = stage;
        underWay_ = 1;
        gChannel.send(line);
    }
    void imageProgress(int percent) override
    {
        json line = event(events::PROGRESS);
        line["stage"] = STAGE_NAMES[stage_];
        line["percent"] = percent;
        gChannel.send(line);
    }
    void imageTaken(ImageStage stage) override
    {
        underWay_ = 0;
        gChannel.send(stageEnd(stage, "ok"));
    }
    void rebootSecondsLeft(int seconds) override
    {
        json line = event(events::REBOOT);
        line["seconds"] = seconds;
        gChannel.send(line);
    }
    void promptCheck() override { gChannel.send(event(events::CHECKING)); }
    void updateFailed(UpdateFailure failure) override
    {
        if (underWay_) {
            underWay_ = 0;
            gChannel.send(stageEnd((ImageStage)stage_, "failed"));
        }
        failure_ = reasonOfFailure(failure);
    }
    const char *failure() const { return failure_; }
    void checkingVersion() { checkingVersion_ = 1; }

    // Async-signal-safe: only writes lines made beforehand.
    void interrupted(RunStage stage) const
    {
        if (underWay_) {
            gChannel.sendRaw(stageCut_[stage_]);
        }
        const int cut = checkingVersion_           ? 3
                        : stage == STAGE_UPLOADING ? 1
                        : stage == STAGE_REBOOTING ? 2
                                                   : 0;
        gChannel.sendRaw(outcomeCut_[cut]);
    }

private:
    static json stageEnd(ImageStage stage, const char *outcome)
    {
        json line = event(events::STAGE_END);
        line["stage"] = STAGE_NAMES[stage];
        line["outcome"] = outcome;
        return line;
    }

    std::string stageCut_[2];
    std::string outcomeCut_[4];
    volatile sig_atomic_t stage_ = IMAGE_FPGA;
    volatile sig_atomic_t underWay_ = 0;
    volatile sig_atomic_t checkingVersion_ = 0;
    const char *failure_ = nullptr;
};

Reporter *gReporter = nullptr;

void onInterrupt(RunStage stage)
{
    gReporter->interrupted(stage);
}

int endWith(const char *reason, int status)
{
    gChannel.send(Reporter::outcome(reason));
    return status;
}

} // namespace

bool workerChannelOpen(const char *name)
{
    return gChannel.open(name);
}

int runProbeWorker(const std::string &port)
{
    // The exchanges need the serial text buffer alone: 32 probes at once need not fill 32 flat
    // images.
    gDataBuffer = (char *)calloc(DATA_BUFFER_SIZE, 1);
    if (gDataBuffer == NULL) {
        return SITE_FAILED;
    }
    PortFinding finding;
    // Probes go out as discovery sends them: without flow control, at each rate in its order.
    ComPortAPI_SetHardwareFlowControl(0);
    clearLastError();
    BOOL opened = FALSE;
    finding.answered = detectBaudrateOnNamedPort(port.c_str(), &opened) == TRUE;
    finding.held = !opened && ComPortAPI_OpenFoundPortHeld();
    finding.talks = !finding.answered && repliesThatNeverEnded() > 0;
    json line = event(events::PROBE);
    line["port"] = port;
    line["held"] = finding.held;
    line["answered"] = finding.answered;
    line["talks"] = finding.talks;
    if (finding.answered) {
        ComPortAPI_SetHardwareFlowControl(1);
        line["rate"] = gBaudRate;
        VersionReply version;
        if (queryVersion(&version)) {
            line["version"] = versionJson(version);
        }
        line["identity"] = identityName(queryIdentity());
        ComPortAPI_CloseCOM();
    }
    releaseRunBuffers();
    gChannel.send(line);
    return 0;
}

int runUpdateWorker(const std::string &port, int rate)
{
    Reporter reporter;
    gReporter = &reporter;
    updateFollow(&reporter);
    interruptsAlsoCall(onInterrupt);
    if (!allocateRunBuffers()) {
        return endWith(reasons::NO_MEMORY, UPDATE_FAILED);
    }
    // The port as discovery leaves it to the update: opened without flow control at the rate
    // found, then flow control on.
    gBaudRate = rate;
    ComPortAPI_SetHardwareFlowControl(0);
    ComPortAPI_SetBaudRate(rate);
    if (!ComPortAPI_OpenNamed(port.c_str())) {
        puts("\r");
        // Why: the device opens without its settings, or it is held, or it is gone.
        clearLastError();
        const bool exists = ComPortAPI_NamedDeviceExists(port.c_str());
        return endWith(exists                           ? reasons::PORT_SETTINGS
                       : ComPortAPI_OpenFoundPortHeld() ? reasons::PORT_HELD
                                                        : reasons::PORT_ABSENT,
                       UPDATE_FAILED);
    }
    ComPortAPI_SetHardwareFlowControl(1);
    const UpdateOutcome outcome = updateFirmware();
    const char *reason = reporter.failure() != nullptr ? reporter.failure() : reasons::ENDED_BEFORE_ANY_IMAGE;
    if (outcome == UPDATE_PROMPT_MISSING) {
        reason = reasons::NO_PROMPT;
    } else if (outcome == UPDATE_COMPLETED) {
        // The unit's prompt is back: what does it run now?
        reporter.checkingVersion();
        fputs("\r\nAfter the update:\r\n", stdout);
        VersionReply after;
        reason = reasons::NO_VERSION_AFTER;
        if (queryVersion(&after)) {
            reporter.sendVersion("after", after);
            reason = runsTheRelease(after) ? reasons::UPDATED : reasons::NOT_THE_RELEASE;
        }
    }
    ComPortAPI_CloseCOM();
    releaseRunBuffers();
    return endWith(reason, outcome);
}
