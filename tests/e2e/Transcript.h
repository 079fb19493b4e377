// The update tool's console transcript, built from the pieces the tool writes.
#pragma once
#include <cstdint>
#include <string>

namespace transcript {

// The tool's flat image of a catalogue entry (0: microcontroller, 1..4: FPGA).
struct ImageFacts {
    int length = 0;
    uint32_t checksum = 0;
    std::string bytes, fnv1a64;
};
const ImageFacts &catalogueImage(int index);

enum class Side { TX, RX }; // the FPGA catalogue entry of a side follows that of TX
enum class Stage { ProgrammableLogic, Firmware };
bool standInBuild();

inline const std::string OK_LINE = "OK\r\n", FAILED_LINE = "FAILED\r\n";
inline const std::string DISCOVERY_FAILED = "FAILED\n\r\n\rEnter the COM port number : ";
inline const std::string PORT_OPENED = "OK\r\n\n\r\n\rEnter the BAUD RATE       : ";
inline const std::string NOT_A_NUMBER = "\r\nERROR: A decimal number was expected !";
inline const std::string PRESS_ANY_KEY = "\r\nPress any key to exit";

std::string announcement();
std::string discoveryFound(int com, int rate);
std::string openingPort(int com);
std::string openFailed(int com);

// A unit at 2.1.5 (as shown) with FPGA 3.4.
std::string versionLines(int deviceCode, const std::string &model = "SIMUNIT",
                         const std::string &firmware = "2.01.05");
inline const std::string PRODUCT_ACCEPTED = "Checking product .......... ";
std::string identified(Side side);
std::string preparing(Stage stage);
std::string percentages(int length);
// Stands for the percentages of a transfer cut short after any number of whole writes (the
// scheduler's business): resolveCutTransfers puts in what `actual` shows there if it fits.
std::string cutTransfer(int length);
std::string resolveCutTransfers(const std::string &expected, const std::string &actual);

// From the product check to the end of the reboot wait.
std::string completeUpdate(int deviceCode, Side side, bool promptRecognised);
std::string closing(bool updated);

std::string webPackageConsole(const ImageFacts &image, bool written);
std::string webPackage(const ImageFacts &image);

} // namespace transcript
