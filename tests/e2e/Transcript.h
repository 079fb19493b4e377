// The update tool's console transcript, built from the same small pieces that the tool
// writes, so that each scenario's expected bytes read as the story of its run. Shared by
// every runner of the end-to-end scenarios (native, and the Windows build under Wine).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace transcript {

// What the tool's own flat image builder makes of a catalogue entry (0: microcontroller,
// 1..4: the FPGA images), and the FNV-1a 64 of the bytes sent, as the simulated unit
// reports it (16 lower-case hex digits).
struct ImageFacts {
    int length = 0;
    uint32_t checksum = 0;
    std::string fnv1a64;
};
const ImageFacts &catalogueImage(int index);
std::string fnv1a64(const uint8_t *bytes, size_t count);

enum class Side { TX, RX };
enum class Stage { ProgrammableLogic, Firmware };

// The catalogue entry chosen for a unit's device code (1 or 4) and side.
int fpgaImageIndex(int deviceCode, Side side);

// The warning line of a build that carries stand-in images ("" in a release build).
std::string standInWarning();
bool standInBuild();

// Start of every run: warning, version announcement, the detection label.
std::string announcement();
// Detection line completed by a unit found at `com`, `rate`.
std::string discoveryFound(int com, int rate);

// Manual entry after discovery found nothing.
std::string discoveryFailed();            // completes the detection line, asks for the port
std::string openingPort(int com);         // after the operator typed the port
std::string portOpened();                 // ... and asks for the rate
std::string openFailed(int com);          // the serial layer's complaint
std::string configurationFailed(int com); // ... about a port that refuses its settings
std::string settingRate(int rate);        // after the operator typed the rate
std::string rateSet();
std::string notANumber();       // input that is not a decimal number
std::string numberOutOfRange(); // a decimal number beyond the range of an int

// The update procedure.
std::string versionLines(int fwVer, int fwRev, int fwSub, const std::string &model, int fpgaVer, int fpgaRev,
                         int deviceCode);
std::string productAccepted(int deviceCode); // label and, for code 4, the sample line
std::string productUnknown();
std::string identified(Side side);
std::string notIdentified();
std::string standInRefusal();

std::string preparing(Stage stage);
std::string unitReady();
std::string unitNotReady();
std::string sending(Stage stage);
// The running percentage of one transfer of `length` bytes, "1%" to "100%" with its backspaces.
std::string percentages(int length);
// The same for a transfer whose write after the first `writes` whole 10,240-byte writes failed.
std::string percentagesUntilFailedWrite(int length, int writes);
// Stands for the percentages of a transfer of `length` bytes that a failed write cut short
// after any number of whole writes: how many got through is the scheduler's and the
// pseudo-terminal's business, not the operator's. Resolved by `resolveCutTransfers`.
std::string cutTransfer(int length);
// `expected` with its one cutTransfer replaced by the run of percentages that `actual` shows
// there, when that run is one a cut transfer can show; otherwise by a text no run shows.
std::string resolveCutTransfers(const std::string &expected, const std::string &actual);
std::string replyRefused(const std::string &received); // a reply other than "SUCCESS"
std::string transferFailed();
// A whole stage that went well (the firmware stage's "OK" comes with the reboot wait).
std::string upload(Stage stage, int length);

// The reboot wait with its counter, the final "100%", and the success line when the
// prompt was recognised, the warning line when not.
std::string rebootWait(bool promptRecognised);

// End of every run that reached the update, and of a failed manual entry.
std::string closing(bool updated);
std::string closingAfterManualEntry();

// Everything from the product check to the reboot wait, for a unit that takes both images.
std::string completeUpdate(int deviceCode, Side side, bool promptRecognised);

// What LumivaneFwWebPackage writes on the console for a package of this image, and when the
// package cannot be written (its part file cannot be created).
std::string webPackageConsole(const ImageFacts &image);
std::string webPackageFailedConsole(const ImageFacts &image);

// The line of an interrupted run, by what the interrupt cut short.
enum class CutShort { BeforeUpload, Upload, RebootWait, EndedRun, Package };
std::string interrupted(CutShort what);

// The text with its control bytes spelled out, one transcript line per text line, for
// readable test failures.
std::string visible(const std::string &bytes);

} // namespace transcript
