// The main module: main flow, update procedure, web package writer, command exchange,
// port discovery and flat image builder. Each concern lives in its own .cpp file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform.h"
#include "ReleaseManifest.h"

#define FIRMWARE_VERSION_TO_UPLOAD RELEASE_FIRMWARE_VERSION
#define DATA_BUFFER_SIZE (1024 * 1000)
#define CONCAT_BUFFER_SIZE (4 * 1024 * 1024)

// FPGA device codes that the unit reports; images exist for 1 and 4 only.
#define DEVICE_NONE 0x00
#define DEVICE_XC7A35_484 0x01
#define DEVICE_XC7A50_484 0x02
#define DEVICE_XC7A75_484 0x03
#define DEVICE_XC7A100_484 0x04
#define DEVICE_XC7A200_S484 0x05
#define DEVICE_XC7A200_F484 0x06
#define DEVICE_XC7A75_676 0x07
#define DEVICE_XC7A100_676 0x08
#define DEVICE_XC7A15_484 0x09

// The unit's whole answer to the identity query, prompt included.
#define VALIDATE_TX_PRODUCT_ID_STRING "Norvex 6G SDI EXTENDER TX\r\n>>"
#define VALIDATE_TX2_PRODUCT_ID_STRING "Norvex 6G SDI EXT PELLIMORA-B TX\r\n>>"
#define VALIDATE_RX_PRODUCT_ID_STRING "Norvex 6G SDI EXTENDER RX\r\n>>"
#define VALIDATE_RX2_PRODUCT_ID_STRING "Norvex 6G SDI EXT PELLIMORA-B RX\r\n>>"

// Long-lived buffers, owned by the main flow.
extern char *gHexFirmware;
extern char *gHexFPGA_Code;
extern char *gDataBuffer;

// Flat image and what is announced of it.
extern uint8_t *gDataConcatenated;
extern int gDataConcatenatedLenght;
extern uint32_t gDataConcatenatedCheckSum;

// Port selection, by discovery or by the operator.
extern int gComPortNumber;
extern int gBaudRate;

// Command exchange.
BOOL sendCommand(char *commandToSend, BOOL isEchoON, BOOL validateResponse, char *expectedResponse);
BOOL sendData(uint8_t *dataToSend, int dataToSendLength, BOOL validateResponse, char *expectedResponse);
// TRUE when the last exchange failed in its write: the line stopped taking bytes, or went away.
BOOL lastExchangeSendFailed(void);
// How many replies since the start ended by the exchange's bound on a line that never fell silent.
int repliesThatNeverEnded(void);

// Port and baud-rate discovery: every port in turn, or one port (*opened FALSE when it is
// absent or held); the port that answered stays open at gBaudRate.
BOOL detectComPortAndBaudrate(void);
BOOL detectBaudrateOnPort(int port, BOOL *opened);
// The same on a port named "COMn" or "rfc2217://HOST:PORT"; gComPortNumber is left alone.
BOOL detectBaudrateOnNamedPort(const char *name, BOOL *opened);

// Flat image builder.
BOOL ValidateFwAndConcatenateData(char *gHexData);
void ComputeConcatenatedDataCheckSum(void);

// The unit's answer to the version query.
struct VersionReply {
    int fw_ver = 0;
    int fw_rev = 0;
    int fw_sub = 0;
    char model[8] = "";     // one word of at most seven characters (a NUL among them)
    size_t modelLength = 0; // its characters
    int fpga_ver = 0;
    int fpga_rev = 0;
    int fpga_type = -1; // nothing reported
};

enum VersionReplyVerdict {
    VERSION_READ,       // all seven fields, the device code whole
    VERSION_UNREADABLE, // the version as it starts (no type)
    VERSION_MAY_GO_ON,  // the text ends right after the device code: more digits may follow
};
// Reads the `length` bytes of the reply: the seven fields, each number within an int, the model
// word within its field, and the device code followed by a blank, ">>" or the end of the reply.
// With `replyMayGoOn` that end (or a lone ">" there) is VERSION_MAY_GO_ON instead: only the
// unit's next bytes show where the device code ends.
VersionReplyVerdict parseVersionReply(const char *reply, size_t length, BOOL replyMayGoOn,
                                      VersionReply *version);

// Shows text that came from the unit without letting it drive the terminal: printable characters,
// CR, LF and TAB as they are, any other byte as \xHH, and only the start of a long text.
void showUnitText(const char *text, size_t length);
// The same rule as a text, without any cut; with oneLine, CR, LF and TAB are escaped too.
std::string escapedUnitText(const char *text, size_t length, BOOL oneLine);
// The unit's prompt after the reboot: the text read begins with "[" and ends with ">>".
BOOL isUnitPrompt(const char *text, size_t length);

// The version query as the update makes it: the reply's two lines shown when it parsed.
BOOL queryVersion(VersionReply *version);

// The identity texts the unit may answer, in the order they are tried.
enum UnitIdentity { IDENTITY_NONE = -1, IDENTITY_TX, IDENTITY_TX2, IDENTITY_RX, IDENTITY_RX2 };
UnitIdentity queryIdentity(void);

// The catalogue entry of the microcontroller firmware.
const int FIRMWARE_IMAGE_ENTRY = 0;
// The catalogue entry of a unit's FPGA image, by the device code it reports and its side; -1 for a
// device the release has no image for.
int fpgaImageEntry(int deviceCode, BOOL tx);

// The reboot wait: a counter of this many steps of this length.
const int REBOOT_STEPS = 46; // max_cnt
const int REBOOT_STEP_MS = 3000;

// Update procedure and web package. The outcomes are the update tool's exit statuses.
enum UpdateOutcome {
    UPDATE_COMPLETED = 0,      // both images taken and the unit's prompt back
    UPDATE_FAILED = 1,         // the update stopped at a failure, with its error line
    UPDATE_PROMPT_MISSING = 2, // both images taken, but no prompt recognised after the reboot
};
UpdateOutcome updateFirmware(void);

// Why an update stopped (UPDATE_FAILED); its console says the same in its own lines.
enum UpdateFailure {
    FAILURE_NO_VERSION,      // the version query got no readable reply
    FAILURE_UNKNOWN_PRODUCT, // a device code the release has no image for
    FAILURE_NO_IDENTITY,     // no known identity text
    FAILURE_NO_MEMORY,       // the FPGA image's text could not be copied
    FAILURE_STAND_IN_IMAGES, // a stand-in build and a unit that is not the simulated one
    FAILURE_IMAGE_NOT_VALID, // the image's text is no valid Intel HEX
    FAILURE_NOT_READY,       // the unit did not answer "Ready" to the upload command
    FAILURE_SEND_FAILED,     // a write gave up: the line stopped taking bytes, or went away
    FAILURE_IMAGE_REFUSED,   // no "SUCCESS" after the image
};
// The stages that carry an image, in their order.
enum ImageStage { IMAGE_FPGA, IMAGE_FIRMWARE };
// What the update does as it goes, for a program that follows it (the site program's worker); the
// update tool follows nothing, and the console text is the same either way.
class UpdateListener {
public:
    virtual ~UpdateListener() = default;
    virtual void versionRead(const VersionReply &version) = 0; // only when the reply parsed
    virtual void identified(UnitIdentity identity) = 0;
    // Before the upload command: the image's catalogue entry and what the command announces.
    virtual void imageAnnounced(ImageStage stage, int entry, int length, uint32_t checksum) = 0;
    virtual void imageProgress(int percent) = 0; // of the image under way
    virtual void imageTaken(ImageStage stage) = 0;
    virtual void rebootSecondsLeft(int seconds) = 0;
    virtual void promptCheck() = 0;
    virtual void updateFailed(UpdateFailure failure) = 0;
};
// Until the process ends; NULL follows nothing.
void updateFollow(UpdateListener *listener);
// The one that follows, or one that does nothing.
UpdateListener &updateListener(void);
BOOL createFirmwareFileForWeb(void);

// Main flow: the start-up state both programs share, and the one way a run ends.
void prepareConsole(void);
void warnIfStandInBuild(void);
BOOL allocateRunBuffers(void);
char *copyCatalogueText(int index);
void releaseRunBuffers(void);
void dipsplayLastMessageToUserBeforeExit(char *lastMessage);

// Reads the operator's next line that is not empty; TRUE when it holds one decimal number,
// with spaces around it at most, and fits the room kept for an answer (a longer line is refused
// whole).
BOOL readTypedNumber(long long *typed);
// The operator's next line, an empty one too, as a yes or no: TRUE only for "y" or "yes" (either
// case throughout), alone; Enter alone is no.
BOOL readTypedYes(void);

// What an interrupt cuts short; it chooses the line shown before the run ends with status 1
// (at the closing key wait, with the status the run already had).
enum RunStage {
    STAGE_BEFORE_UPLOAD,   // no upload command has gone out
    STAGE_UPLOADING,       // from the first upload command to the last image's "SUCCESS"
    STAGE_REBOOTING,       // the reboot wait and the prompt check
    STAGE_CLOSING,         // the closing message and its key wait
    STAGE_WRITING_PACKAGE, // the web package writer, until its closing message
};
// Ends the run cleanly on an interrupt (prepareConsole installs it).
void interruptsInstall(void);
// Also called on an interrupt, first, with the stage cut short: from a signal handler on POSIX
// systems (async-signal-safe calls only), from the console handler's thread on Windows.
void interruptsAlsoCall(void (*hook)(RunStage stage));
void interruptsSetStage(RunStage stage);
#ifndef _WIN32
// Ctrl-C, Ctrl-\, SIGTERM and SIGHUP go to handler; a closed standard output ends no run.
void interruptsCatch(void (*handler)(int));
#endif
// Ends the run through the closing routine and returns status, the run's exit status, which an
// interrupt at the key wait keeps.
int endRun(const char *lastMessage, int status);
// The part file that an interrupt while the package is written removes; a name prepared
// beforehand, which stays valid to the end of the run.
void interruptsRemoveOnInterrupt(const char *partFile);
