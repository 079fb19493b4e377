// The update tool's console transcript, built from the same small pieces that the tool
// writes, so that each scenario's expected bytes read as the story of its run.
#pragma once
#include <cstdint>
#include <string>

namespace transcript {

// What the tool's own builder makes of a catalogue entry (0: microcontroller, 1..4: FPGA), and
// the FNV-1a 64 of its bytes as the simulated unit reports it.
struct ImageFacts {
    int length = 0;
    uint32_t checksum = 0;
    std::string bytes, fnv1a64;
};
const ImageFacts &catalogueImage(int index);

enum class Side { TX, RX };
enum class Stage { ProgrammableLogic, Firmware };
int fpgaImageIndex(int deviceCode, Side side);
bool standInBuild();

inline const std::string OK_LINE = "OK\r\n", FAILED_LINE = "FAILED\r\n";
inline const std::string DISCOVERY_FAILED = "FAILED\n\r\n\rEnter the COM port number : ";
inline const std::string PORT_OPENED = "OK\r\n\n\r\n\rEnter the BAUD RATE       : ";
inline const std::string NOT_A_NUMBER = "\r\nERROR: A decimal number was expected !";
inline const std::string OUT_OF_RANGE = "\r\nERROR: The number is out of range !";
inline const std::string PRODUCT_UNKNOWN = "Checking product .......... FAILED, Unknown product\r\n";
inline const std::string PRESS_ANY_KEY = "\r\nPress any key to exit";

// Start of every run: the stand-in warning, the version announcement, the detection label.
std::string announcement();
std::string discoveryFound(int com, int rate);
std::string openingPort(int com);
std::string openFailed(int com);
std::string configurationFailed(int com);

// The version lines of a unit at 2.1.5 with FPGA 3.4; the product label (and the sample line of code 4).
std::string versionLines(int deviceCode, const std::string &model = "SIMUNIT");
std::string productAccepted(int deviceCode);
std::string identified(Side side);
std::string preparing(Stage stage);
std::string sending(Stage stage);
// The running percentage of one transfer of `length` bytes, "1%" to "100%" with its backspaces.
std::string percentages(int length);
// Stands for the percentages of a transfer that a failed write cut short after any number of
// whole writes (how many got through is the scheduler's business). resolveCutTransfers puts in
// the run that `actual` shows there when a cut transfer can show it, else a text no run shows.
std::string cutTransfer(int length);
std::string resolveCutTransfers(const std::string &expected, const std::string &actual);

// Everything from the product check to the end of the reboot wait, for a unit taking both images.
std::string completeUpdate(int deviceCode, Side side, bool promptRecognised);
// End of every run that reached the update.
std::string closing(bool updated);

// LumivaneFwWebPackage's console when it wrote the package, or could not create its part file;
// the package it writes.
std::string webPackageConsole(const ImageFacts &image, bool written);
std::string webPackage(const ImageFacts &image);

// The text with its control bytes spelled out, one line per text line, for readable failures.
std::string visible(const std::string &bytes);

} // namespace transcript
