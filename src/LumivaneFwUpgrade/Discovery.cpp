#include <cstdio>
#include <cstring>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"

#define FIRST_PORT_NUMBER 1
#define LAST_PORT_NUMBER 32

int gComPortNumber = 0;
int gBaudRate = 0;

namespace {

char ResponseExpected[100];

char probeCommand[] = "%help -c version";

// The order decides ties: the first rate that answers wins.
const int baudRateOrder[] = {115200, 9600, 57600, 4800, 2400, 1200};

BOOL probeAnswered(void)
{
    return sendCommand(probeCommand, 0, 1, ResponseExpected);
}

// The rates in their order on the port of that name, which exists: TRUE with it open at the
// rate that answered.
BOOL detectBaudrateOnNamed(const char *name)
{
    strcpy(ResponseExpected,
           "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>");
    for (int baudRate : baudRateOrder) {
        // No port is open: this only records the rate for the open below.
        ComPortAPI_SetBaudRate(baudRate);
        if (!ComPortAPI_OpenNamed(name)) {
            continue;
        }
        gBaudRate = baudRate;
        // The unit may miss the first probe while it wakes up.
        if (probeAnswered() || probeAnswered()) {
            return TRUE;
        }
        ComPortAPI_CloseCOM();
    }
    return FALSE;
}

} // namespace

BOOL detectBaudrateOnPort(int i, BOOL *opened)
{
    // A port that is absent or held by another program is skipped without a word.
    *opened = ComPortAPI_DeviceExists(i);
    if (!*opened) {
        gComPortNumber = 0;
        gBaudRate = 0;
        return FALSE;
    }
    gComPortNumber = i;
    char name[COM_DEVICE_PATH_SIZE];
    snprintf(name, sizeof name, "COM%d", i);
    return detectBaudrateOnNamed(name);
}

BOOL detectBaudrateOnNamedPort(const char *name, BOOL *opened)
{
    *opened = ComPortAPI_NamedDeviceExists(name);
    gBaudRate = 0;
    return *opened && detectBaudrateOnNamed(name);
}

BOOL detectComPortAndBaudrate(void)
{
    for (int i = FIRST_PORT_NUMBER; i <= LAST_PORT_NUMBER; ++i) {
        BOOL opened;
        if (detectBaudrateOnPort(i, &opened)) {
            return TRUE;
        }
    }
    return FALSE;
}
