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
        facts = {gDataConcatenatedLenght, gDataConcatenatedCheckSum,
                 fnv1a64(flat.data(), gDataConcatenatedLenght)};
    }
    free(text);
    gDataConcatenated = toolImage;
    return facts;
}

// The warning line of a build that carries stand-in images.
std::string standInWarning()
{
    return standInBuild() ? "WARNING: this build carries stand-in firmware images, made for the simulated "
                            "unit only !\r\n"
                          : "";
}

const long long DATA_BLOCK = 10240;
const char CUT_MARK = '\x01';

// "1%", then the value shown after each of the first `writes` whole writes; `shown` is left at
// the last value shown ("1%" counts as 0).
std::string percentagesAfterWrites(int length, long long writes, long long &shown)
{
    std::string text = "1%";
    shown = 0;
    for (long long sent = DATA_BLOCK; sent <= writes * DATA_BLOCK; sent += DATA_BLOCK) {
        text += shown <= 9 ? "\b\b" : "\b\b\b";
        shown = sent * 100 / length;
        text += format("%lld%%", shown);
    }
    return text;
}

std::string upload(Stage stage, int length)
{
    return preparing(stage) + OK_LINE + sending(stage) + percentages(length) +
           (stage == Stage::ProgrammableLogic ? OK_LINE : "");
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
    static std::vector<ImageFacts> facts = {buildFacts(0), buildFacts(1), buildFacts(2), buildFacts(3),
                                            buildFacts(4)};
    return facts.at(index);
}

int fpgaImageIndex(int deviceCode, Side side)
{
    return (deviceCode == DEVICE_XC7A100_484 ? 1 : 3) + (side == Side::TX ? 0 : 1);
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

std::string configurationFailed(int com)
{
    return format("ERROR: COM%d configuration failed !", com);
}

std::string settingRate(int rate)
{
    return format("\r\nSetting baud rate at %d..........", rate);
}

std::string versionLines(int deviceCode, const std::string &model)
{
    return "Checking firmware version ..............  2.01.05 \r\n" +
           format("Checking fpga version ..................  %s 3.04  device:%d\r\n", model.c_str(),
                  deviceCode);
}

std::string productAccepted(int deviceCode)
{
    return std::string("Checking product .......... ") +
           (deviceCode == DEVICE_XC7A100_484 ? "ENG. SAMPLE detected\r\n" : "");
}

std::string identified(Side side)
{
    // Whichever text matched, the first-generation identity of that side is shown.
    return side == Side::TX ? "TX OK\r\nNorvex 6G SDI EXTENDER TX\r\n>>\r\n"
                            : "RX OK\r\nNorvex 6G SDI EXTENDER RX\r\n>>\r\n";
}

std::string preparing(Stage stage)
{
    return stage == Stage::ProgrammableLogic ? "Preparing to Upload Programmable Logic ............ "
                                             : "Preparing to Upload Firmware ...................... ";
}

std::string sending(Stage stage)
{
    return stage == Stage::ProgrammableLogic ? "Sending Programmable Logic data ................... "
                                             : "Sending data ...................................... ";
}

std::string percentages(int length)
{
    // One update per 10,240-byte write; the last write, of 1 to 10,240 bytes, shows 100%.
    long long shown = 0;
    std::string text = percentagesAfterWrites(length, (length - 1) / DATA_BLOCK, shown);
    return text + (shown <= 9 ? "\b\b" : "\b\b\b") + "100%";
}

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
    const std::string before = expected.substr(0, open), after = expected.substr(close + 1);
    std::string run = "<percentages of a cut transfer>";
    if (actual.compare(0, before.size(), before) == 0 && actual.size() >= before.size() + after.size() &&
        actual.compare(actual.size() - after.size(), after.size(), after) == 0) {
        const std::string shown = actual.substr(before.size(), actual.size() - before.size() - after.size());
        long long last = 0;
        for (int writes = 0; writes * DATA_BLOCK < length; writes++) {
            if (shown == percentagesAfterWrites(length, writes, last))
                run = shown;
        }
    }
    return before + run + after;
}

std::string replyRefused(const std::string &received)
{
    return "\r\nExpected : SUCCESS  received : " + received +
           "\r\n\r\nError: Expected response did  not matched !\r\n";
}

std::string completeUpdate(int deviceCode, Side side, bool promptRecognised)
{
    std::string text =
        productAccepted(deviceCode) + identified(side) +
        upload(Stage::ProgrammableLogic, catalogueImage(fpgaImageIndex(deviceCode, side)).length) +
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
        text += c == '\\'               ? "\\\\"
                : c == '\n'             ? "\\n\n"
                : c == '\r'             ? "\\r"
                : c == '\b'             ? "\\b"
                : c < 0x20 || c >= 0x7f ? format("\\x%02x", c)
                                        : std::string(1, (char)c);
    }
    return text;
}

} // namespace transcript
