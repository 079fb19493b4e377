#include "Transcript.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"

namespace transcript {

namespace {

std::string format(const char *pattern, ...)
{
    char text[256];
    va_list args;
    va_start(args, pattern);
    vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// Runs the tool's builder on a working copy of the entry, in a flat image of our own.
ImageFacts buildFacts(int index)
{
    std::vector<uint8_t> flat(CONCAT_BUFFER_SIZE + 16, 0);
    std::fill(flat.begin(), flat.begin() + CONCAT_BUFFER_SIZE, 0xFF);
    uint8_t *const toolImage = gDataConcatenated;
    gDataConcatenated = flat.data();
    char *text = copyCatalogueText(index);
    ImageFacts facts;
    if (text != nullptr && ValidateFwAndConcatenateData(text)) {
        ComputeConcatenatedDataCheckSum();
        uint64_t hash = 0xcbf29ce484222325ull;
        for (int i = 0; i < gDataConcatenatedLenght; i++) {
            hash = (hash ^ flat[i]) * 0x100000001b3ull;
        }
        facts = {gDataConcatenatedLenght, gDataConcatenatedCheckSum,
                 std::string(flat.begin(), flat.begin() + gDataConcatenatedLenght),
                 format("%016llx", (unsigned long long)hash)};
    }
    free(text);
    gDataConcatenated = toolImage;
    return facts;
}

std::string standInWarning()
{
    return standInBuild() ? "WARNING: this build carries stand-in firmware images, made for the simulated "
                            "unit only !\r\n"
                          : "";
}

const char CUT_MARK = '\x01';

std::string upload(Stage stage, int length)
{
    return preparing(stage) + OK_LINE +
           (stage == Stage::ProgrammableLogic ? "Sending Programmable Logic data ................... "
                                              : "Sending data ...................................... ") +
           percentages(length) + (stage == Stage::ProgrammableLogic ? OK_LINE : "");
}

} // namespace

const ImageFacts &catalogueImage(int index)
{
    static std::vector<ImageFacts> facts = {buildFacts(0), buildFacts(1), buildFacts(2), buildFacts(3),
                                            buildFacts(4)};
    return facts.at(index);
}

bool standInBuild()
{
#ifdef LUMIVANE_STANDIN_IMAGES
    return true;
#else
    return false;
#endif
}

std::string announcement()
{
    return standInWarning() + "\n\rYou are about to upload the firmware version 1.0.8" +
           "\n\r\n\rDetecting COM port and Baud Rate..................";
}

std::string discoveryFound(int com, int rate)
{
    return format("OK\r\nCOM PORT Number : %d\r\nBaud rate       : %d \r\n\r\n", com, rate);
}

std::string openingPort(int com)
{
    return format("\r\nOpening COM%d....................", com);
}

std::string openFailed(int com)
{
    return format("ERROR: Opening COM%d failed !", com);
}

std::string versionLines(int deviceCode, const std::string &model, const std::string &firmware)
{
    return "Checking firmware version ..............  " + firmware + " \r\n" +
           format("Checking fpga version ..................  %s 3.04  device:%d\r\n", model.c_str(),
                  deviceCode);
}

std::string identified(Side side)
{
    return side == Side::TX ? "TX OK\r\nNorvex 6G SDI EXTENDER TX\r\n>>\r\n"
                            : "RX OK\r\nNorvex 6G SDI EXTENDER RX\r\n>>\r\n";
}

std::string preparing(Stage stage)
{
    return stage == Stage::ProgrammableLogic ? "Preparing to Upload Programmable Logic ............ "
                                             : "Preparing to Upload Firmware ...................... ";
}

std::string percentages(int length)
{
    // One update per 10,240-byte write; the last write, of 1 to 10,240 bytes, shows 100%.
    std::string text = "1%";
    for (long long sent = 10240, shown = 0;; sent += 10240) {
        text += shown <= 9 ? "\b\b" : "\b\b\b";
        shown = sent >= length ? 100 : sent * 100 / length;
        text += format("%lld%%", shown);
        if (shown == 100) {
            return text;
        }
    }
}

std::string cutTransfer(int length)
{
    return CUT_MARK + std::to_string(length) + CUT_MARK;
}

std::string resolveCutTransfers(const std::string &expected, const std::string &actual)
{
    const size_t open = expected.find(CUT_MARK), close = expected.find(CUT_MARK, open + 1);
    if (open == std::string::npos) {
        return expected;
    }
    const std::string before = expected.substr(0, open), after = expected.substr(close + 1);
    const std::string whole = percentages(std::atoi(expected.c_str() + open + 1));
    const size_t end = actual.size() - std::min(actual.size(), after.size());
    const std::string shown = actual.substr(0, end).substr(std::min(before.size(), end));
    if (before + shown + after == actual && whole.compare(0, shown.size() + 1, shown + "\b") == 0) {
        return actual;
    }
    return before + "<percentages of a cut transfer>" + after;
}

std::string completeUpdate(int deviceCode, Side side, bool promptRecognised)
{
    std::string text = PRODUCT_ACCEPTED +
                       (deviceCode == DEVICE_XC7A100_484 ? "ENG. SAMPLE detected\r\n" : "") +
                       identified(side) +
                       upload(Stage::ProgrammableLogic,
                              catalogueImage((deviceCode == DEVICE_XC7A100_484 ? 1 : 3) + (int)side).length) +
                       upload(Stage::Firmware, catalogueImage(0).length) +
                       " OK\n\r\n\rPlease wait while the unit is rebooting ........... ";
    for (int i = 0; i < 46; i++) {
        text += format("%3d%%\b\b\b\b", i * 100 / 46);
    }
    return text + "100%\b\b\b\b100%" +
           (promptRecognised ? "\n\r\n\rThe update was successful, the unit is now operational\r\n"
                             : "\n\r\n\rWARNING: The unit did not show its prompt after the reboot, check it "
                               "before use !\r\n");
}

std::string closing(bool updated)
{
    return (updated ? "" : "\n\rERROR: The update was not successful.\r\n") + PRESS_ANY_KEY;
}

std::string webPackageConsole(const ImageFacts &image, bool written)
{
    return standInWarning() + "\r\n Firmware data is valid !\r\n" +
           format("\r\n Firmware CheckSum = %u !\r\n", (unsigned)image.checksum) +
           format("\r\n Firmware CheckSum u = %u !\r\n", (unsigned)image.checksum) +
           format("\r\n Firmware data length = %d !\r\n", image.length) +
           (written ? ""
                    : "ERROR: File does not exists\n\r\nERROR: FwToUpload.bin could not be written !\r\n") +
           PRESS_ANY_KEY;
}

std::string webPackage(const ImageFacts &image)
{
    std::string text =
        format("NorVex\r\n418263\r\n1.0.8\r\n%u\r\n%d\r\n", (unsigned)image.checksum, image.length);
    for (char c : testsupport::runToEnd({"/usr/bin/base64", "-w", "928"}, image.bytes).out) {
        text += c == '\n' ? "\r\n" : c == '=' ? "A" : std::string(1, c);
    }
    return text.substr(0, text.size() - 2);
}

} // namespace transcript
