#include "Transcript.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "LumivaneFwUpgrade.h"

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

// A text the tool writes "as a line": followed by one line feed.
std::string line(const std::string &text)
{
    return text + "\n";
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
        facts.length = gDataConcatenatedLenght;
        facts.checksum = gDataConcatenatedCheckSum;
        facts.fnv1a64 = fnv1a64(flat.data(), (size_t)facts.length);
    }
    free(text);
    gDataConcatenated = toolImage;
    return facts;
}

const char *stageLabel(Stage stage, const char *programmableLogic, const char *firmware)
{
    return stage == Stage::ProgrammableLogic ? programmableLogic : firmware;
}

} // namespace

std::string fnv1a64(const uint8_t *bytes, size_t count)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < count; i++) {
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    }
    return format("%016llx", (unsigned long long)hash);
}

const ImageFacts &catalogueImage(int index)
{
    static ImageFacts facts[5];
    static bool built[5];
    if (!built[index]) {
        facts[index] = buildFacts(index);
        built[index] = true;
    }
    return facts[index];
}

int fpgaImageIndex(int deviceCode, Side side)
{
    if (deviceCode == DEVICE_XC7A100_484)
        return side == Side::TX ? 1 : 2;
    return side == Side::TX ? 3 : 4;
}

bool standInBuild()
{
#ifdef LUMIVANE_STANDIN_IMAGES
    return true;
#else
    return false;
#endif
}

std::string standInWarning()
{
    return standInBuild() ? "WARNING: this build carries stand-in firmware images, made for the simulated "
                            "unit only !\r\n"
                          : "";
}

std::string announcement()
{
    return standInWarning() + "\n\rYou are about to upload the firmware version 1.0.8" +
           "\n\r\n\rDetecting COM port and Baud Rate..................";
}

std::string discoveryFound(int com, int rate)
{
    return line("OK\r") + format("COM PORT Number : %d", com) +
           format("\r\nBaud rate       : %d \r\n\r\n", rate);
}

std::string discoveryFailed()
{
    return std::string("FAILED") + "\n\r\n\rEnter the COM port number : ";
}
std::string openingPort(int com)
{
    return format("\r\nOpening COM%d....................", com);
}
std::string portOpened()
{
    return line("OK\r") + "\n\r\n\rEnter the BAUD RATE       : ";
}
std::string openFailed(int com)
{
    return format("ERROR: Opening COM%d failed !", com);
}
std::string configurationFailed(int com)
{
    return format("ERROR: COM%d configuration failed !", com);
}
std::string settingRate(int rate)
{
    return format("\r\nSetting baud rate at %d..........", rate);
}
std::string rateSet()
{
    return line("OK\r");
}
std::string notANumber()
{
    return "\r\nERROR: A decimal number was expected !";
}
std::string numberOutOfRange()
{
    return "\r\nERROR: The number is out of range !";
}

std::string versionLines(int fwVer, int fwRev, int fwSub, const std::string &model, int fpgaVer, int fpgaRev,
                         int deviceCode)
{
    return format("Checking firmware version ..............  %d.%02d.%02d \r\n", fwVer, fwRev, fwSub) +
           format("Checking fpga version ..................  %s %d.%02d  device:%d\r\n", model.c_str(),
                  fpgaVer, fpgaRev, deviceCode);
}

std::string productAccepted(int deviceCode)
{
    return std::string("Checking product .......... ") +
           (deviceCode == DEVICE_XC7A100_484 ? line("ENG. SAMPLE detected\r") : "");
}

std::string productUnknown()
{
    return "Checking product .......... " + line("FAILED, Unknown product\r");
}

std::string identified(Side side)
{
    // Whichever text matched, the first-generation identity of that side is shown.
    return side == Side::TX ? line("TX OK\r") + "Norvex 6G SDI EXTENDER TX\r\n>>" + line("\r")
                            : line("RX OK\r") + "Norvex 6G SDI EXTENDER RX\r\n>>" + line("\r");
}

std::string notIdentified()
{
    return line("FAILED\r");
}

std::string standInRefusal()
{
    return line("\r\nERROR: This build carries stand-in images: it only updates the simulated unit (model "
                "SIMUNIT) !\r");
}

std::string preparing(Stage stage)
{
    return stageLabel(stage, "Preparing to Upload Programmable Logic ............ ",
                      "Preparing to Upload Firmware ...................... ");
}

std::string unitReady()
{
    return line("OK\r");
}
std::string unitNotReady()
{
    return line("FAILED [Unit not ready]\r");
}

std::string sending(Stage stage)
{
    return stageLabel(stage, "Sending Programmable Logic data ................... ",
                      "Sending data ...................................... ");
}

namespace {

const long long DATA_BLOCK = 10240;

std::string erasePercentage(long long shown)
{
    return shown <= 9 ? "\b\b" : "\b\b\b";
}

// "1%", then the value shown after each of the first `writes` whole writes; `shown` is
// left at the last value shown ("1%" counts as 0).
std::string percentagesAfterWrites(int length, long long writes, long long &shown)
{
    std::string text = "1%";
    shown = 0;
    for (long long sent = DATA_BLOCK; sent <= writes * DATA_BLOCK; sent += DATA_BLOCK) {
        text += erasePercentage(shown);
        shown = sent * 100 / length;
        text += format("%lld%%", shown);
    }
    return text;
}

} // namespace

std::string percentages(int length)
{
    // One update per 10,240-byte write; the last write, of 1 to 10,240 bytes, shows 100%.
    long long shown = 0;
    if (length <= 0)
        return percentagesAfterWrites(length, 0, shown);
    std::string text = percentagesAfterWrites(length, (length - 1) / DATA_BLOCK, shown);
    return text + erasePercentage(shown) + "100%";
}

std::string percentagesUntilFailedWrite(int length, int writes)
{
    long long shown = 0;
    return percentagesAfterWrites(length, writes, shown);
}

namespace {
const char CUT_MARK = '\x01';
} // namespace

std::string cutTransfer(int length)
{
    return CUT_MARK + std::to_string(length) + CUT_MARK;
}

std::string resolveCutTransfers(const std::string &expected, const std::string &actual)
{
    const size_t open = expected.find(CUT_MARK);
    if (open == std::string::npos)
        return expected;
    const size_t close = expected.find(CUT_MARK, open + 1);
    const int length = std::atoi(expected.substr(open + 1, close - open - 1).c_str());
    const std::string before = expected.substr(0, open);
    const std::string after = expected.substr(close + 1);
    std::string run = "<percentages of a cut transfer>";
    if (actual.compare(0, before.size(), before) == 0 && actual.size() >= before.size() + after.size() &&
        actual.compare(actual.size() - after.size(), after.size(), after) == 0) {
        const std::string shown = actual.substr(before.size(), actual.size() - before.size() - after.size());
        for (int writes = 0; writes * DATA_BLOCK < length; writes++) {
            if (shown == percentagesUntilFailedWrite(length, writes))
                run = shown;
        }
    }
    return before + run + after;
}

std::string replyRefused(const std::string &received)
{
    return "\r\nExpected : SUCCESS  received : " + received + "\r\n" +
           line("\r\nError: Expected response did  not matched !\r");
}

std::string transferFailed()
{
    return line("FAILED\r");
}

std::string upload(Stage stage, int length)
{
    return preparing(stage) + unitReady() + sending(stage) + percentages(length) +
           (stage == Stage::ProgrammableLogic ? line("OK\r") : "");
}

std::string rebootWait(bool promptRecognised)
{
    std::string text = std::string(" OK\n\r\n\r") + "Please wait while the unit is rebooting ........... ";
    for (int i = 0; i < 46; i++) {
        text += format("%3d%%", i * 100 / 46) + "\b\b\b\b";
    }
    text += "100%";
    text += "\b\b\b\b100%";
    text += line(
        promptRecognised
            ? "\n\r\n\rThe update was successful, the unit is now operational\r"
            : "\n\r\n\rWARNING: The unit did not show its prompt after the reboot, check it before use !\r");
    return text;
}

std::string closing(bool updated)
{
    return std::string(updated ? "" : "\n\rERROR: The update was not successful.\r\n") +
           "\r\nPress any key to exit";
}

std::string closingAfterManualEntry()
{
    return "\r\nPress any key to exit";
}

std::string completeUpdate(int deviceCode, Side side, bool promptRecognised)
{
    return productAccepted(deviceCode) + identified(side) +
           upload(Stage::ProgrammableLogic, catalogueImage(fpgaImageIndex(deviceCode, side)).length) +
           upload(Stage::Firmware, catalogueImage(0).length) + rebootWait(promptRecognised);
}

namespace {

std::string webPackageFigures(const ImageFacts &image)
{
    return standInWarning() + line("\r\n Firmware data is valid !\r") +
           format("\r\n Firmware CheckSum = %u !\r\n", (unsigned)image.checksum) +
           format("\r\n Firmware CheckSum u = %u !\r\n", (unsigned)image.checksum) +
           format("\r\n Firmware data length = %d !\r\n", image.length);
}

} // namespace

std::string webPackageConsole(const ImageFacts &image)
{
    return webPackageFigures(image) + "\r\nPress any key to exit";
}

std::string webPackageFailedConsole(const ImageFacts &image)
{
    return webPackageFigures(image) + line("ERROR: File does not exists") +
           line("\r\nERROR: FwToUpload.bin could not be written !\r") + "\r\nPress any key to exit";
}

std::string interrupted(CutShort what)
{
    static const char *const lines[] = {
        "the update was stopped before any image was sent, the unit is unchanged.",
        "the upload was cut short, the unit did not get a whole image and must be updated again !",
        "the reboot wait was cut short, the unit's return was not checked.",
        "the run had already ended.",
        "the package was not written, FwToUpload.bin is unchanged.",
    };
    return std::string("\r\nINTERRUPTED: ") + lines[(int)what] + "\r\n";
}

std::string visible(const std::string &bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\b')
            text += "\\b";
        else if (c < 0x20 || c >= 0x7f)
            text += format("\\x%02x", c);
        else
            text += (char)c;
    }
    return text;
}

} // namespace transcript
