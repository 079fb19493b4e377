// The update tool: one update per run, no arguments.
#include <climits>
#include <cstdio>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"

namespace {

// Reads one decimal number typed by the operator, alone on its line. Anything else is refused:
// keeping an older value, or the number that starts the line, would open a port, or set a rate,
// that the operator never chose. So is a number beyond an int, which would otherwise come out as
// another one (4294967299 as port 3).
BOOL readNumberFromOperator(int *value)
{
    long long typed = 0;
    if (!readTypedNumber(&typed)) {
        fputs("\r\nERROR: A decimal number was expected !", stdout);
        return FALSE;
    }
    if (typed < INT_MIN || typed > INT_MAX) {
        fputs("\r\nERROR: The number is out of range !", stdout);
        return FALSE;
    }
    *value = (int)typed;
    return TRUE;
}

// Asks the operator for the port and the rate when discovery found nothing; leaves the port
// open at that rate, or closed when either fails.
BOOL openPortChosenByOperator(void)
{
    fputs("FAILED", stdout);
    fputs("\n\r\n\rEnter the COM port number : ", stdout);
    if (!readNumberFromOperator(&gComPortNumber)) {
        return FALSE;
    }
    printf("\r\nOpening COM%d....................", gComPortNumber);
    if (!ComPortAPI_OpenCOM(gComPortNumber)) {
        return FALSE;
    }
    puts("OK\r");

    fputs("\n\r\n\rEnter the BAUD RATE       : ", stdout);
    if (!readNumberFromOperator(&gBaudRate)) {
        ComPortAPI_CloseCOM();
        return FALSE;
    }
    printf("\r\nSetting baud rate at %d..........", gBaudRate);
    if (!ComPortAPI_SetBaudRate(gBaudRate)) {
        ComPortAPI_CloseCOM();
        return FALSE;
    }
    puts("OK\r");
    return TRUE;
}

} // namespace

int main(void)
{
    prepareConsole();
    warnIfStandInBuild();
    if (!allocateRunBuffers()) {
        return endRun("", -1);
    }

    printf("\n\rYou are about to upload the firmware version %s", FIRMWARE_VERSION_TO_UPLOAD);
    fputs("\n\r\n\rDetecting COM port and Baud Rate..................", stdout);
    ComPortAPI_SetHardwareFlowControl(0);
    if (detectComPortAndBaudrate()) {
        puts("OK\r");
        printf("COM PORT Number : %d", gComPortNumber);
        printf("\r\nBaud rate       : %d \r\n\r\n", gBaudRate);
    } else if (!openPortChosenByOperator()) {
        // The memory goes back to the system with the process.
        return endRun("", -1);
    }

    ComPortAPI_SetHardwareFlowControl(1);
    UpdateOutcome outcome = updateFirmware();
    ComPortAPI_CloseCOM();
    int status =
        endRun(outcome != UPDATE_FAILED ? "" : "\n\rERROR: The update was not successful.\r\n", outcome);
    releaseRunBuffers();
    return status;
}
