// The stage the live view shows, read from the update tool's transcript as it grows.
#include <gtest/gtest.h>

#include "LumivaneFwSite.h"
#include "Transcript.h"

namespace {

using namespace transcript;

TEST(SiteProgress, StageOfTheTranscriptSoFar)
{
    const std::string identified = versionLines(1) + PRODUCT_ACCEPTED + "TX OK\r\n";
    const std::string fpga = identified + preparing(Stage::ProgrammableLogic) + OK_LINE +
                             "Sending Programmable Logic data ................... ";
    const std::string firmware = fpga + "1%\b\b100%OK\r\n" + preparing(Stage::Firmware) + OK_LINE +
                                 "Sending data ...................................... ";
    const std::string rebooting =
        firmware + "1%\b\b100% OK\n\r\n\rPlease wait while the unit is rebooting ........... ";
    const struct {
        std::string transcript, stage;
    } rows[] = {
        {identified, "identifying"},
        {identified + preparing(Stage::ProgrammableLogic), "preparing FPGA"},
        {fpga + "1%\b\b9%\b\b42%", "FPGA 42%"},
        {firmware.substr(0, firmware.find("Sending data")), "preparing firmware"},
        {firmware + "1%\b\b8%\b\b17%", "firmware 17%"},
        {rebooting + "  0%", "rebooting 138 s"},
        {rebooting + "  0%\b\b\b\b  2%", "rebooting 135 s"},
        {rebooting + " 97%", "rebooting 3 s"},
        {rebooting + " 97%\b\b\b\b100%", "checking"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(progressOf(row.transcript), row.stage) << row.stage;
    }
}

} // namespace
