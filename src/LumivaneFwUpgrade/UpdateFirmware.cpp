// The update of one unit: version query, product check, identification, the two upload
// stages, the reboot wait and the prompt check.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ComPortAPI.h"
#include "LongWait.h"
#include "LumivaneFwUpgrade.h"

namespace {

const int IDENTIFICATION_TIMEOUT_MS = 1000;
const int DATA_TIMEOUT_MS = 1000;
const int PROMPT_TIMEOUT_MS = LONG_WAIT_MS(11000);
const int IMAGE_BAUD_RATE = 115200;

// The update stops here, for this reason.
BOOL failWith(UpdateFailure failure)
{
    updateListener().updateFailed(failure);
    return FALSE;
}

struct UploadStage {
    ImageStage stage;
    const char *invalidDataMessage;
    const char *preparingLabel;
    const char *commandPrefix;
    int commandTimeoutMs;
    const char *sendingLabel;
    const char *successLine; // none for the firmware stage: the reboot step reports it
};

const UploadStage PROGRAMMABLE_LOGIC_STAGE = {
    IMAGE_FPGA,
    "\r\nERROR: Programmable Logic data is not valid !\r",
    "Preparing to Upload Programmable Logic ............ ",
    "%fw -l ",
    LONG_WAIT_MS(10000),
    "Sending Programmable Logic data ................... ",
    "OK\r",
};

const UploadStage FIRMWARE_STAGE = {
    IMAGE_FIRMWARE,
    "\r\nERROR: uC Firmware data is not valid !\r",
    "Preparing to Upload Firmware ...................... ",
    "%fw -h ",
    LONG_WAIT_MS(5000),
    "Sending data ...................................... ",
    NULL,
};

// One read of whatever the unit sent into gDataBuffer behind the `kept` bytes already there,
// terminated; returns the length of the text there now.
int readReplyIntoDataBuffer(int kept)
{
    const int room = DATA_BUFFER_SIZE - 1 - kept;
    int bytesRead = 0;
    ComPortAPI_ReadCOM(gDataBuffer + kept, room, &bytesRead);
    if (bytesRead < 0 || bytesRead > room) {
        bytesRead = 0;
    }
    gDataBuffer[kept + bytesRead] = '\0';
    return kept + bytesRead;
}

} // namespace

BOOL queryVersion(VersionReply *version)
{
    ComPortAPI_SetReadingTimeoutInMs(IDENTIFICATION_TIMEOUT_MS);
    sendCommand((char *)"%fw -v", 0, 0, NULL);
    int length = readReplyIntoDataBuffer(0);
    VersionReplyVerdict verdict = parseVersionReply(gDataBuffer, (size_t)length, TRUE, version);
    if (verdict == VERSION_MAY_GO_ON && length < DATA_BUFFER_SIZE - 1) {
        // The text read ends right after the device code: one more read shows whether it goes on.
        length = readReplyIntoDataBuffer(length);
        verdict = parseVersionReply(gDataBuffer, (size_t)length, FALSE, version);
    }
    if (verdict == VERSION_READ) {
        printf("Checking firmware version ..............  %d.%02d.%02d \r\n", version->fw_ver,
               version->fw_rev, version->fw_sub);
        fputs("Checking fpga version ..................  ", stdout);
        showUnitText(version->model, version->modelLength);
        printf(" %d.%02d  device:%d\r\n", version->fpga_ver, version->fpga_rev, version->fpga_type);
    }
    return verdict == VERSION_READ ? TRUE : FALSE;
}

namespace {

// What the operator is shown for each side, whichever generation of its text matched.
struct UnitSide {
    const char *okLine;
    const char *shownIdentity;
};
const UnitSide TX_SIDE = {"TX OK\r", VALIDATE_TX_PRODUCT_ID_STRING};
const UnitSide RX_SIDE = {"RX OK\r", VALIDATE_RX_PRODUCT_ID_STRING};

// In the order of UnitIdentity.
const char *const IDENTITY_TEXTS[] = {
    VALIDATE_TX_PRODUCT_ID_STRING,
    VALIDATE_TX2_PRODUCT_ID_STRING,
    VALIDATE_RX_PRODUCT_ID_STRING,
    VALIDATE_RX2_PRODUCT_ID_STRING,
};

const UnitSide *identifyUnit(void)
{
    UnitIdentity identity = queryIdentity();
    if (identity == IDENTITY_NONE) {
        return NULL;
    }
    updateListener().identified(identity);
    return identity == IDENTITY_TX || identity == IDENTITY_TX2 ? &TX_SIDE : &RX_SIDE;
}

BOOL uploadImage(const UploadStage &stage, char *sourceText, int entry)
{
    if (!ValidateFwAndConcatenateData(sourceText)) {
        puts(stage.invalidDataMessage);
        return failWith(FAILURE_IMAGE_NOT_VALID);
    }
    fputs(stage.preparingLabel, stdout);
    ComputeConcatenatedDataCheckSum();
    updateListener().imageAnnounced(stage.stage, entry, gDataConcatenatedLenght, gDataConcatenatedCheckSum);

    char commandToSend[100];
    snprintf(commandToSend, sizeof commandToSend, "%s%u %d", stage.commandPrefix,
             (unsigned)gDataConcatenatedCheckSum, gDataConcatenatedLenght);
    ComPortAPI_SetReadingTimeoutInMs(stage.commandTimeoutMs);
    // From here on a stop leaves the unit without a whole image.
    interruptsSetStage(STAGE_UPLOADING);
    if (!sendCommand(commandToSend, 0, 1, (char *)"Ready")) {
        puts("FAILED [Unit not ready]\r");
        return failWith(lastExchangeSendFailed() ? FAILURE_SEND_FAILED : FAILURE_NOT_READY);
    }
    puts("OK\r");

    fputs(stage.sendingLabel, stdout);
    ComPortAPI_SetBaudRate(IMAGE_BAUD_RATE);
    ComPortAPI_SetReadingTimeoutInMs(DATA_TIMEOUT_MS);
    if (!sendData(gDataConcatenated, gDataConcatenatedLenght, 1, (char *)"SUCCESS")) {
        puts("FAILED\r");
        return failWith(lastExchangeSendFailed() ? FAILURE_SEND_FAILED : FAILURE_IMAGE_REFUSED);
    }
    if (stage.successLine != NULL) {
        puts(stage.successLine);
    }
    updateListener().imageTaken(stage.stage);
    return TRUE;
}

BOOL waitForRebootAndCheckPrompt(void)
{
    interruptsSetStage(STAGE_REBOOTING);
    ComPortAPI_SetBaudRate(gBaudRate);
    fputs(" OK\n\r\n\r", stdout);
    fputs("Please wait while the unit is rebooting ........... ", stdout);
    for (int i = 0; i < REBOOT_STEPS; i++) {
        updateListener().rebootSecondsLeft((REBOOT_STEPS - i) * REBOOT_STEP_MS / 1000);
        printf("%3d%%", i * 100 / REBOOT_STEPS);
        Sleep(REBOOT_STEP_MS);
        fputs("\b\b\b\b", stdout);
    }
    printf("%3d%%", REBOOT_STEPS * 100 / REBOOT_STEPS);
    updateListener().promptCheck();

    // Whatever the unit printed while it rebooted is dropped; only the next text counts.
    readReplyIntoDataBuffer(0);
    ComPortAPI_SetReadingTimeoutInMs(PROMPT_TIMEOUT_MS);
    const int length = readReplyIntoDataBuffer(0);
    fputs("\b\b\b\b", stdout);
    fputs("100%", stdout);

    if (isUnitPrompt(gDataBuffer, (size_t)length)) {
        puts("\n\r\n\rThe update was successful, the unit is now operational\r");
        return TRUE;
    }
    puts("\n\r\n\rWARNING: The unit did not show its prompt after the reboot, check it before use !\r");
    return FALSE;
}

#ifdef LUMIVANE_STANDIN_IMAGES
// A stand-in build carries made-up images: it must never program a real unit, only the
// simulated one, which reports this model word.
BOOL imagesMayGoTo(const VersionReply &version)
{
    if (version.modelLength == 7 && memcmp(version.model, "SIMUNIT", 7) == 0) {
        return TRUE;
    }
    puts("\r\nERROR: This build carries stand-in images: it only updates the simulated unit "
         "(model SIMUNIT) !\r");
    return failWith(FAILURE_STAND_IN_IMAGES);
}
#else
BOOL imagesMayGoTo(const VersionReply &)
{
    return TRUE;
}
#endif

} // namespace

BOOL isUnitPrompt(const char *text, size_t length)
{
    return length >= 2 && text[0] == '[' && text[length - 2] == '>' && text[length - 1] == '>' ? TRUE : FALSE;
}

// Asks for the identity with each known text in turn; each try is a fresh exchange.
UnitIdentity queryIdentity(void)
{
    for (int identity = IDENTITY_TX; identity <= IDENTITY_RX2; identity++) {
        if (sendCommand((char *)"%fw -p", 0, 1, (char *)IDENTITY_TEXTS[identity])) {
            return (UnitIdentity)identity;
        }
    }
    return IDENTITY_NONE;
}

UpdateOutcome updateFirmware(void)
{
    VersionReply version;
    const BOOL versionRead = queryVersion(&version);
    if (versionRead) {
        updateListener().versionRead(version);
    }

    fputs("Checking product .......... ", stdout);
    if (fpgaImageEntry(version.fpga_type, TRUE) < 0) {
        puts("FAILED, Unknown product\r");
        failWith(!versionRead ? (lastExchangeSendFailed() ? FAILURE_SEND_FAILED : FAILURE_NO_VERSION)
                              : FAILURE_UNKNOWN_PRODUCT);
        return UPDATE_FAILED;
    }
    if (version.fpga_type == DEVICE_XC7A100_484) {
        puts("ENG. SAMPLE detected\r");
    }

    const UnitSide *side = identifyUnit();
    if (side == NULL) {
        puts("FAILED\r");
        failWith(lastExchangeSendFailed() ? FAILURE_SEND_FAILED : FAILURE_NO_IDENTITY);
        return UPDATE_FAILED;
    }
    puts(side->okLine);
    fputs(side->shownIdentity, stdout);
    puts("\r");
    const int fpgaEntry = fpgaImageEntry(version.fpga_type, side == &TX_SIDE);

    gHexFPGA_Code = copyCatalogueText(fpgaEntry);
    if (gHexFPGA_Code == NULL) {
        puts("\r\nERROR: Not enough memory for the Programmable Logic data !\r");
        failWith(FAILURE_NO_MEMORY);
        return UPDATE_FAILED;
    }
    if (!imagesMayGoTo(version)) {
        return UPDATE_FAILED;
    }

    if (!uploadImage(PROGRAMMABLE_LOGIC_STAGE, gHexFPGA_Code, fpgaEntry) ||
        !uploadImage(FIRMWARE_STAGE, gHexFirmware, FIRMWARE_IMAGE_ENTRY)) {
        return UPDATE_FAILED;
    }
    return waitForRebootAndCheckPrompt() ? UPDATE_COMPLETED : UPDATE_PROMPT_MISSING;
}
