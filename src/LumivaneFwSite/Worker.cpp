// The site program's worker modes. A worker owns one port for its whole life and runs the
// one-unit modules on it unchanged, with their per-process state; what it learns goes to its
// standard output, which the site program reads.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "ComPortAPI.h"
#include "LumivaneFwSite.h"
#include "SiteFindings.h"

namespace {

// Forgets any earlier failure, so that a failed open's reason is its own.
void clearLastError(void)
{
#ifdef _WIN32
    SetLastError(0);
#else
    errno = 0;
#endif
}

} // namespace

int runProbeWorker(int port)
{
    prepareConsole();
    // The exchanges need the serial text buffer alone: 32 probes at once need not fill 32 flat
    // images.
    gDataBuffer = (char *)calloc(DATA_BUFFER_SIZE, 1);
    if (gDataBuffer == NULL) {
        return SITE_FAILED;
    }
    PortFinding finding;
    finding.port = port;
    // Probes go out as discovery sends them: without flow control, at each rate in its order.
    ComPortAPI_SetHardwareFlowControl(0);
    clearLastError();
    BOOL opened = FALSE;
    finding.answered = detectBaudrateOnPort(port, &opened) == TRUE;
    finding.held = !opened && ComPortAPI_OpenFoundPortHeld();
    if (finding.answered) {
        finding.rate = gBaudRate;
        ComPortAPI_SetHardwareFlowControl(1);
        finding.versionRead = queryVersion(&finding.version) == TRUE;
        finding.identity = queryIdentity();
        ComPortAPI_CloseCOM();
    }
    releaseRunBuffers();
    printf("\n%s\n", findingLine(finding).c_str());
    return 0;
}

int runUpdateWorker(int port, int rate)
{
    prepareConsole();
    if (!allocateRunBuffers()) {
        return UPDATE_FAILED;
    }
    // The port as discovery leaves it to the update: opened without flow control at the rate
    // found, then flow control on.
    gComPortNumber = port;
    gBaudRate = rate;
    ComPortAPI_SetHardwareFlowControl(0);
    ComPortAPI_SetBaudRate(rate);
    if (!ComPortAPI_OpenCOM(port)) {
        puts("\r");
        releaseRunBuffers();
        return UPDATE_FAILED;
    }
    ComPortAPI_SetHardwareFlowControl(1);
    UpdateOutcome outcome = updateFirmware();
    if (outcome == UPDATE_COMPLETED) {
        // The unit's prompt is back: what does it run now?
        fputs(AFTER_THE_UPDATE, stdout);
        VersionReply after;
        queryVersion(&after);
    }
    ComPortAPI_CloseCOM();
    releaseRunBuffers();
    return outcome;
}
