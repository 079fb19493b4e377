#include "Options.h"

#include "ReleaseManifest.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool parseUnsigned(const std::string &text, uint64_t max, uint64_t &value)
{
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

bool splitKindValue(const std::string &arg, CommandKind &kind, std::string &value)
{
    size_t eq = arg.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    value = arg.substr(eq + 1);
    return commandKindFromName(arg.substr(0, eq), kind);
}

// "[STAGE:]K" or "[STAGE:]K,MS"
bool parseTransferPoint(std::string arg, bool withMs, TransferPoint &point)
{
    size_t colon = arg.find(':');
    if (colon != std::string::npos) {
        std::string stage = arg.substr(0, colon);
        if (stage == "fpga") {
            point.stage = 0;
        } else if (stage == "fw") {
            point.stage = 1;
        } else {
            return false;
        }
        arg = arg.substr(colon + 1);
    }
    std::string bytes = arg;
    if (withMs) {
        size_t comma = arg.find(',');
        const std::string ms = arg.substr(comma == std::string::npos ? arg.size() : comma + 1);
        if (ms == "forever") {
            point.ms = FOREVER;
        } else if (comma == std::string::npos || !parseUnsigned(ms, 86400000, point.ms)) {
            return false;
        }
        bytes = arg.substr(0, comma);
    }
    point.enabled = parseUnsigned(bytes, UINT32_MAX, point.afterBytes);
    return point.enabled;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// "KIND=VALUE": sets the value for that kind.
template <class T>
bool setPerKind(const std::string &arg, std::array<std::optional<T>, COMMAND_KIND_COUNT> &perKind,
                bool (*value)(const std::string &, T &))
{
    CommandKind kind{};
    std::string text;
    T parsed{};
    if (!splitKindValue(arg, kind, text) || !value(text, parsed)) {
        return false;
    }
    perKind[size_t(kind)] = parsed;
    return true;
}

bool setKindFlag(const std::string &arg, std::array<bool, COMMAND_KIND_COUNT> &flags)
{
    CommandKind kind{};
    if (!commandKindFromName(arg, kind)) {
        return false;
    }
    flags[size_t(kind)] = true;
    return true;
}

bool setMs(const std::string &arg, uint64_t &ms)
{
    return parseUnsigned(arg, 86400000, ms);
}

bool setHugeLength(const std::string &arg, uint64_t &bytes)
{
    return parseUnsigned(arg, uint64_t(1) << 30, bytes);
}

template <std::string Options::*FIELD> bool setText(Options &o, const std::string &arg)
{
    o.*FIELD = arg;
    return true;
}

template <std::string Options::*FIELD> bool setEscaped(Options &o, const std::string &arg)
{
    return unescapeText(arg, o.*FIELD);
}

template <bool Options::*FIELD> bool setFlag(Options &o, const std::string &)
{
    o.*FIELD = true;
    return true;
}

template <uint64_t Options::*FIELD> bool setMsField(Options &o, const std::string &arg)
{
    return setMs(arg, o.*FIELD);
}

// A whole number from 1 to MAX.
template <auto FIELD, uint64_t MAX> bool setCount(Options &o, const std::string &arg)
{
    uint64_t number = 0;
    if (!parseUnsigned(arg, MAX, number) || number < 1) {
        return false;
    }
    o.*FIELD = decltype(+(o.*FIELD))(number);
    return true;
}

enum class Takes { NOTHING, VALUE, NUMBER_OR_NOTHING };

// One option, described once: the parser and the help text both read it. A row without a
// name is a heading of the help text or, indented, a note under its group.
struct OptionRow {
    const char *name;
    Takes takes;
    const char *form; // the value as the help names it
    const char *help; // its lines, separated by '\n'
    bool (*set)(Options &o, const std::string &arg);
};

const OptionRow OPTION_ROWS[] = {
    {nullptr, Takes::NOTHING, nullptr, "Where it appears", nullptr},
    {"--ports-dir", Takes::VALUE, "DIR",
     "link the port as DIR/comN (DIR is created when missing); the tool\n"
     "names its ports from $XDG_CONFIG_HOME/LumivaneFwUpgrade/ports",
     setText<&Options::portsDir>},
    {"--com", Takes::VALUE, "N",
     "the port number N for --ports-dir (the tool looks at 1..32)\n"
     "Without --ports-dir the device path alone is printed.\n"
     "Either way the device path is printed as the first line of output\n"
     "once the unit is ready.",
     setCount<&Options::com, 999>},
    {"--report", Takes::VALUE, "FILE",
     "write a JSON report of everything that happened to FILE, replaced\n"
     "whole (temporary file + rename) after every event, once the replies\n"
     "to it are out: the line never waits for the file",
     setText<&Options::reportPath>},
    {nullptr, Takes::NOTHING, nullptr, "The line", nullptr},
    {"--baud", Takes::VALUE, "RATE",
     "the unit's console rate (default 115200); at any other rate its\n"
     "answers arrive as garbage. After \"Ready\" it runs at 115200 until\n"
     "it reboots.",
     setCount<&Options::baud, 4000000>},
    {"--pace", Takes::NOTHING, nullptr,
     "carry bytes in both directions at the real line rate (10 bits a\n"
     "byte): what it sends, and how fast it takes bytes off the line.\n"
     "The writer's side is modelled as a serial driver with an 8192-byte\n"
     "transmit queue: the unit reads what the writer hands over at once\n"
     "and carries it at the line rate, but never lets more than 8192\n"
     "bytes wait. Bytes beyond that are those for which a real driver\n"
     "would still keep the writer's write waiting while the line carried\n"
     "them: the unit takes them at once and counts their line time in\n"
     "the image's write_wait_us, so an image took last_byte_us -\n"
     "first_byte_us + write_wait_us of line time. The writer's last\n"
     "write thus returns at most 8192 byte times (0.71 s at 115200)\n"
     "before the unit has the last byte, as on a real line, and the\n"
     "time it would have waited in its writes is not spent. While the\n"
     "unit stalls it reads nothing: the pseudo-terminal (about 22 KiB)\n"
     "holds the writer back instead.",
     setFlag<&Options::pace>},
    {nullptr, Takes::NOTHING, nullptr, "What it is", nullptr},
    {"--role", Takes::VALUE, "ROLE",
     "identity reply to \"%fw -p\": tx, tx2, rx, rx2 (default tx)\n"
     "  tx  \"Norvex 6G SDI EXTENDER TX\\r\\n>>\"\n"
     "  tx2 \"Norvex 6G SDI EXT PELLIMORA-B TX\\r\\n>>\"\n"
     "  rx  \"Norvex 6G SDI EXTENDER RX\\r\\n>>\"\n"
     "  rx2 \"Norvex 6G SDI EXT PELLIMORA-B RX\\r\\n>>\"",
     [](Options &o, const std::string &arg) {
         o.role = arg;
         return arg == "tx" || arg == "tx2" || arg == "rx" || arg == "rx2";
     }},
    {"--fw-version", Takes::VALUE, "X.Y.Z", "firmware version in the \"%fw -v\" reply (default 2.1.5)",
     setText<&Options::fwVersion>},
    {"--keep-version", Takes::NOTHING, nullptr,
     "keep reporting the --fw-version after a whole, good firmware image\n"
     "(without it the unit then reports the release's version, " RELEASE_FIRMWARE_VERSION ")",
     setFlag<&Options::keepVersion>},
    {"--model", Takes::VALUE, "WORD",
     "model word in the \"%fw -v\" reply, with the escapes of --reply (default\n"
     "SIMUNIT)",
     setEscaped<&Options::model>},
    {"--fpga-version", Takes::VALUE, "X.Y", "FPGA version in the \"%fw -v\" reply (default 3.4)",
     setText<&Options::fpgaVersion>},
    {"--device-code", Takes::VALUE, "N",
     "FPGA device code in the \"%fw -v\" reply (default 1; 4 is the\n"
     "engineering sample); any signed decimal, also beyond 32 bits",
     [](Options &o, const std::string &arg) {
         uint64_t number = 0;
         o.deviceCode = arg;
         return arg.size() <= 30 && parseUnsigned(arg[0] == '-' ? arg.substr(1) : arg, UINT64_MAX, number);
     }},
    {nullptr, Takes::NOTHING, nullptr,
     "Replies (KIND is one of probe, version, identity, fpga-upload, fw-upload, fpga-image,\n"
     "fw-image, unknown; TEXT takes the escapes \\r \\n \\t \\\\ \\xHH)",
     nullptr},
    {"--reply", Takes::VALUE, "KIND=TEXT",
     "answer KIND with TEXT instead of the normal reply. For the upload\n"
     "commands this replaces \"Ready\" (e.g. --reply 'fpga-upload=Ready\\r\\n'\n"
     "or 'fw-upload=BUSY'); the unit still takes the image. For the\n"
     "images it replaces \"SUCCESS\" of a good image (a bad one still gets\n"
     "\"CHECKSUM ERROR\"), and a firmware image then does not reboot.",
     [](Options &o, const std::string &arg) { return setPerKind<std::string>(arg, o.reply, unescapeText); }},
    {"--huge-reply", Takes::VALUE, "KIND=BYTES",
     "answer KIND with BYTES bytes of text (e.g. identity=6000000)",
     [](Options &o, const std::string &arg) {
         return setPerKind<uint64_t>(arg, o.hugeReply, setHugeLength);
     }},
    {"--trailing", Takes::VALUE, "TEXT", "append TEXT to every reply", setEscaped<&Options::trailing>},
    {"--silent", Takes::NOTHING, nullptr, "answer nothing at all",
     [](Options &o, const std::string &) {
         o.silentTo.fill(true);
         return true;
     }},
    {"--silent-to", Takes::VALUE, "KIND", "answer nothing to KIND (repeatable)",
     [](Options &o, const std::string &arg) { return setKindFlag(arg, o.silentTo); }},
    {"--garbage-to", Takes::VALUE, "KIND",
     "answer KIND with garbage even at the right rate; KIND may be all\n"
     "(repeatable)",
     [](Options &o, const std::string &arg) {
         if (arg == "all") {
             o.garbageTo.fill(true);
             return true;
         }
         return setKindFlag(arg, o.garbageTo);
     }},
    {"--split-reply", Takes::VALUE, "[KIND:]K,MS",
     "pause MS milliseconds after the first K bytes of every reply, or\n"
     "of every reply to KIND",
     [](Options &o, const std::string &arg) {
         const size_t colon = arg.find(':');
         const std::string numbers = colon == std::string::npos ? arg : arg.substr(colon + 1);
         const size_t comma = numbers.find(',');
         CommandKind kind{};
         if (colon != std::string::npos) {
             o.splitKind =
                 commandKindFromName(arg.substr(0, colon), kind) ? std::optional(kind) : std::nullopt;
         }
         return (colon == std::string::npos || o.splitKind) && comma != std::string::npos &&
                parseUnsigned(numbers.substr(0, comma), UINT32_MAX, o.splitAfterBytes) &&
                setMs(numbers.substr(comma + 1), o.splitPauseMs);
     }},
    {"--probe-answer-nth", Takes::VALUE, "N",
     "ignore the first N-1 probes that arrive at the unit's rate;\n"
     "answer from the Nth on (default 1)",
     setCount<&Options::probeAnswerNth, 1000>},
    {"--chatter", Takes::NOTHING, nullptr,
     "be a device that never falls silent: a position line every\n"
     "100 ms whatever the rate, and no answer to anything",
     setFlag<&Options::chatter>},
    {nullptr, Takes::NOTHING, nullptr,
     "Image transfer (STAGE is fpga or fw; without it the first image to get there)", nullptr},
    {"--stall", Takes::VALUE, "[STAGE:]K,MS",
     "stop reading for MS milliseconds after K bytes of the image\n"
     "(MS may be forever)",
     [](Options &o, const std::string &arg) { return parseTransferPoint(arg, true, o.stall); }},
    {"--disconnect", Takes::VALUE, "[STAGE:]K", "close the line after K bytes of the image and exit",
     [](Options &o, const std::string &arg) { return parseTransferPoint(arg, false, o.disconnect); }},
    {"--stop-taking-after", Takes::VALUE, "KIND",
     "once it has answered the first KIND command, take no byte more, for\n"
     "good: the line is stopped, so the writer's next write waits until its\n"
     "deadline. The unit holds the port's device open from its start for\n"
     "this (so it does not see the writer close the port).",
     [](Options &o, const std::string &arg) {
         CommandKind kind{};
         if (!commandKindFromName(arg, kind)) {
             return false;
         }
         o.stopTakingAfter = kind;
         return true;
     }},
    {nullptr, Takes::NOTHING, nullptr,
     "  The image is checked against the announced length and checksum (0 minus the 32-bit\n"
     "  sum of its bytes); it must come at 115200 baud with CTS flow control (CRTSCTS) on.",
     nullptr},
    {nullptr, Takes::NOTHING, nullptr, "Reboot (after the firmware image's \"SUCCESS\"; times count from it)",
     nullptr},
    {"--banner", Takes::VALUE, "TEXT", "boot banner (default: two lines of boot loader text)",
     setEscaped<&Options::banner>},
    {"--banner-after", Takes::VALUE, "MS", "when the banner comes (default 5000)",
     setMsField<&Options::bannerAfterMs>},
    {"--prompt", Takes::VALUE, "TEXT",
     "the prompt (default \"[SIMUNIT]>>\"); give another text for a\n"
     "malformed prompt",
     setEscaped<&Options::prompt>},
    {"--prompt-after", Takes::VALUE, "MS",
     "when the prompt comes (default 145000; the tool reads it about\n"
     "140 to 151 s after \"SUCCESS\")",
     setMsField<&Options::promptAfterMs>},
    {"--no-prompt", Takes::NOTHING, nullptr, "reboot without showing the prompt",
     setFlag<&Options::noPrompt>},
    {"--exit-after-prompt", Takes::NUMBER_OR_NOTHING, "[MS]",
     "end once the prompt is out and the port is closed, or MS\n"
     "milliseconds after the prompt (default 15000)",
     [](Options &o, const std::string &arg) {
         o.exitAfterPrompt = true;
         return arg.empty() || setMs(arg, o.exitLingerMs);
     }},
    {nullptr, Takes::NOTHING, nullptr, "  Until the prompt time the unit ignores everything it receives.\n",
     nullptr},
    {"--help", Takes::NOTHING, nullptr, "show this text", nullptr},
};

const char HELP_HEAD[] =
    "Usage: unitsim [OPTIONS]\n"
    "A simulated extender unit on a pseudo-terminal: it answers the unit's serial console\n"
    "(probe, \"%fw -v\", \"%fw -p\", the two upload commands), receives and checks the images,\n"
    "reboots and shows its prompt. Runs until SIGTERM or SIGINT (Ctrl-C).\n";

const char HELP_TAIL[] =
    "\n"
    "Example: rehearse an update of an RX unit found at 9600 baud as COM3\n"
    "  unitsim --ports-dir ~/.config/LumivaneFwUpgrade/ports --com 3 --role rx --baud 9600\n";

// Where an option's help begins, and the lines that go on under it.
constexpr size_t HELP_COLUMN = 24;

std::string makeHelpText()
{
    std::string out = HELP_HEAD;
    for (const OptionRow &row : OPTION_ROWS) {
        if (!row.name) {
            // A heading starts a group after a blank line; a note goes on in its group.
            out += (row.help[0] == ' ' ? "" : "\n") + std::string(row.help) + "\n";
            continue;
        }
        std::string left = "  " + std::string(row.name) + (row.form ? " " + std::string(row.form) : "");
        left += left.size() + 2 <= HELP_COLUMN ? std::string(HELP_COLUMN - left.size(), ' ')
                                               : "\n" + std::string(HELP_COLUMN, ' ');
        out += left;
        for (const char *line = row.help; *line;) {
            const char *end = std::strchr(line, '\n');
            const size_t length = end ? size_t(end - line) : std::strlen(line);
            out.append(line, length).append("\n");
            line += length + (end ? 1 : 0);
            if (*line) {
                out += std::string(HELP_COLUMN, ' ');
            }
        }
    }
    return out + HELP_TAIL;
}

const OptionRow *findOption(const std::string &name)
{
    for (const OptionRow &row : OPTION_ROWS) {
        if (row.name && name == row.name) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

const char *helpText()
{
    static const std::string TEXT = makeHelpText();
    return TEXT.c_str();
}

bool unescapeText(const std::string &text, std::string &bytes)
{
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
        case 'r': bytes += '\r'; break;
        case 'n': bytes += '\n'; break;
        case 't': bytes += '\t'; break;
        case '\\': bytes += '\\'; break;
        case 'x': {
            if (i + 2 >= text.size()) {
                return false;
            }
            int high = hexDigit(text[i + 1]);
            int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) {
                return false;
            }
            bytes += char(high * 16 + low);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

ParseResult parseOptions(int argc, char **argv, Options &o, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            return ParseResult::Help;
        }
        const OptionRow *row = findOption(name);
        if (!row) {
            error = "unknown option " + name + " (see --help)";
            return ParseResult::Error;
        }
        std::string arg;
        if (row->takes == Takes::VALUE) {
            if (i + 1 >= argc) {
                error = name + ": missing value (see --help)";
                return ParseResult::Error;
            }
            arg = argv[++i];
        } else if (row->takes == Takes::NUMBER_OR_NOTHING && i + 1 < argc && argv[i + 1][0] >= '0' &&
                   argv[i + 1][0] <= '9') {
            arg = argv[++i];
        }
        if (!row->set(o, arg)) {
            error = name + ": bad value '" + arg + "' (see --help)";
            return ParseResult::Error;
        }
    }
    if (!o.portsDir.empty() && o.com == 0) {
        error = "--ports-dir needs --com N";
        return ParseResult::Error;
    }
    return ParseResult::Run;
}
