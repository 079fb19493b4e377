// Command-line options of unitsim: where it appears, what it answers, which faults it plays.
#pragma once
#include "CommandKind.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// A point inside an image transfer: after `afterBytes` bytes of the chosen stage's image
// (`stage` -1 = whichever image gets there first), optionally for `ms` milliseconds.
struct TransferPoint {
    bool enabled = false;
    int stage = -1; // -1 any, 0 programmable logic, 1 firmware
    uint64_t afterBytes = 0;
    uint64_t ms = 0; // FOREVER: the stall never ends
};
constexpr uint64_t FOREVER = UINT64_MAX;

struct Options {
    std::string portsDir;
    int com = 0;
    std::string reportPath;
    unsigned baud = 115200;
    bool pace = false;

    std::string role = "tx";
    std::string fwVersion = "2.1.5";
    bool keepVersion = false; // after a good firmware image, still report fwVersion
    std::string model = "SIMUNIT";
    std::string fpgaVersion = "3.4";
    std::string deviceCode = "1"; // any signed decimal, in range or not

    std::array<std::optional<std::string>, COMMAND_KIND_COUNT> reply{};
    std::array<std::optional<uint64_t>, COMMAND_KIND_COUNT> hugeReply{};
    std::array<bool, COMMAND_KIND_COUNT> silentTo{};
    std::array<bool, COMMAND_KIND_COUNT> garbageTo{};
    std::string trailing;
    uint64_t splitAfterBytes = 0;
    uint64_t splitPauseMs = 0;
    std::optional<CommandKind> splitKind; // none: every reply
    bool chatter = false;
    unsigned probeAnswerNth = 1;
    TransferPoint stall;
    TransferPoint disconnect;
    std::optional<CommandKind> stopTakingAfter;

    std::string banner = "\r\nSIMUNIT boot loader 1.0\r\nStarting application...\r\n";
    uint64_t bannerAfterMs = 5000;
    std::string prompt = "[SIMUNIT]>>";
    uint64_t promptAfterMs = 145000;
    bool noPrompt = false;
    bool exitAfterPrompt = false;
    uint64_t exitLingerMs = 15000;
};

enum class ParseResult { Run, Help, Error };

ParseResult parseOptions(int argc, char **argv, Options &options, std::string &error);
const char *helpText();

// Turns the escapes \r \n \t \\ \xHH of an option text into their bytes.
bool unescapeText(const std::string &text, std::string &bytes);
