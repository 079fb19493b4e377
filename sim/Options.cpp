#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

const char HELP_TEXT[] =
    "Usage: unitsim [OPTIONS]\n"
    "A simulated extender unit on a pseudo-terminal: it answers the unit's serial console\n"
    "(probe, \"%fw -v\", \"%fw -p\", the two upload commands), receives and checks the images,\n"
    "reboots and shows its prompt. Runs until SIGTERM or SIGINT (Ctrl-C).\n"
    "\n"
    "Where it appears\n"
    "  --ports-dir DIR       link the port as DIR/comN (DIR is created when missing); the tool\n"
    "                        names its ports from $XDG_CONFIG_HOME/LumivaneFwUpgrade/ports\n"
    "  --com N               the port number N for --ports-dir (the tool looks at 1..32)\n"
    "                        Without --ports-dir the device path alone is printed.\n"
    "                        Either way the device path is printed as the first line of output\n"
    "                        once the unit is ready.\n"
    "  --report FILE         write a JSON report of everything that happened to FILE, replaced\n"
    "                        whole (temporary file + rename) after every event\n"
    "\n"
    "The line\n"
    "  --baud RATE           the unit's console rate (default 115200); at any other rate its\n"
    "                        answers arrive as garbage. After \"Ready\" it runs at 115200 until\n"
    "                        it reboots.\n"
    "  --pace                carry bytes in both directions at the real line rate (10 bits a\n"
    "                        byte): what it sends, and how fast it takes bytes off the line.\n"
    "                        The writer's side is modelled as a serial driver with an 8192-byte\n"
    "                        transmit queue: the unit reads what the writer hands over at once\n"
    "                        and carries it at the line rate, but never lets more than 8192\n"
    "                        bytes wait. Bytes beyond that are those for which a real driver\n"
    "                        would still keep the writer's write waiting while the line carried\n"
    "                        them: the unit takes them at once and counts their line time in\n"
    "                        the image's write_wait_us, so an image took last_byte_us -\n"
    "                        first_byte_us + write_wait_us of line time. The writer's last\n"
    "                        write thus returns at most 8192 byte times (0.71 s at 115200)\n"
    "                        before the unit has the last byte, as on a real line, and the\n"
    "                        time it would have waited in its writes is not spent. While the\n"
    "                        unit stalls it reads nothing: the pseudo-terminal (about 22 KiB)\n"
    "                        holds the writer back instead.\n"
    "\n"
    "What it is\n"
    "  --role ROLE           identity reply to \"%fw -p\": tx, tx2, rx, rx2 (default tx)\n"
    "                          tx  \"Norvex 6G SDI EXTENDER TX\\r\\n>>\"\n"
    "                          tx2 \"Norvex 6G SDI EXT PELLIMORA-B TX\\r\\n>>\"\n"
    "                          rx  \"Norvex 6G SDI EXTENDER RX\\r\\n>>\"\n"
    "                          rx2 \"Norvex 6G SDI EXT PELLIMORA-B RX\\r\\n>>\"\n"
    "  --fw-version X.Y.Z    firmware version in the \"%fw -v\" reply (default 2.1.5)\n"
    "  --model WORD          model word in the \"%fw -v\" reply (default SIMUNIT)\n"
    "  --fpga-version X.Y    FPGA version in the \"%fw -v\" reply (default 3.4)\n"
    "  --device-code N       FPGA device code in the \"%fw -v\" reply (default 1; 4 is the\n"
    "                        engineering sample); any signed decimal, also beyond 32 bits\n"
    "\n"
    "Replies (KIND is one of probe, version, identity, fpga-upload, fw-upload, fpga-image,\n"
    "fw-image, unknown; TEXT takes the escapes \\r \\n \\t \\\\ \\xHH)\n"
    "  --reply KIND=TEXT     answer KIND with TEXT instead of the normal reply. For the upload\n"
    "                        commands this replaces \"Ready\" (e.g. --reply 'fpga-upload=Ready\\r\\n'\n"
    "                        or 'fw-upload=BUSY'); the unit still takes the image. For the\n"
    "                        images it replaces \"SUCCESS\" of a good image (a bad one still gets\n"
    "                        \"CHECKSUM ERROR\"), and a firmware image then does not reboot.\n"
    "  --huge-reply KIND=BYTES\n"
    "                        answer KIND with BYTES bytes of text (e.g. identity=6000000)\n"
    "  --trailing TEXT       append TEXT to every reply\n"
    "  --silent              answer nothing at all\n"
    "  --silent-to KIND      answer nothing to KIND (repeatable)\n"
    "  --garbage-to KIND     answer KIND with garbage even at the right rate; KIND may be all\n"
    "                        (repeatable)\n"
    "  --split-reply K,MS    pause MS milliseconds after the first K bytes of every reply\n"
    "  --probe-answer-nth N  ignore the first N-1 probes that arrive at the unit's rate;\n"
    "                        answer from the Nth on (default 1)\n"
    "  --chatter             be a device that never falls silent: a position line every\n"
    "                        100 ms whatever the rate, and no answer to anything\n"
    "\n"
    "Image transfer (STAGE is fpga or fw; without it the first image to get there)\n"
    "  --stall [STAGE:]K,MS  stop reading for MS milliseconds after K bytes of the image\n"
    "                        (MS may be forever)\n"
    "  --disconnect [STAGE:]K\n"
    "                        close the line after K bytes of the image and exit\n"
    "  The image is checked against the announced length and checksum (0 minus the 32-bit\n"
    "  sum of its bytes); it must come at 115200 baud with CTS flow control (CRTSCTS) on.\n"
    "\n"
    "Reboot (after the firmware image's \"SUCCESS\"; times count from it)\n"
    "  --banner TEXT         boot banner (default: two lines of boot loader text)\n"
    "  --banner-after MS     when the banner comes (default 5000)\n"
    "  --prompt TEXT         the prompt (default \"[SIMUNIT]>>\"); give another text for a\n"
    "                        malformed prompt\n"
    "  --prompt-after MS     when the prompt comes (default 145000; the tool reads it about\n"
    "                        140 to 151 s after \"SUCCESS\")\n"
    "  --no-prompt           reboot without showing the prompt\n"
    "  --exit-after-prompt [MS]\n"
    "                        end once the prompt is out and the port is closed, or MS\n"
    "                        milliseconds after the prompt (default 15000)\n"
    "  Until the prompt time the unit ignores everything it receives.\n"
    "\n"
    "  --help                show this text\n"
    "\n"
    "Example: rehearse an update of an RX unit found at 9600 baud as COM3\n"
    "  unitsim --ports-dir ~/.config/LumivaneFwUpgrade/ports --com 3 --role rx --baud 9600\n";

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

} // namespace

const char *helpText()
{
    return HELP_TEXT;
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

        // Flags without a value.
        if (name == "--pace") {
            o.pace = true;
            continue;
        }
        if (name == "--silent") {
            o.silentTo.fill(true);
            continue;
        }
        if (name == "--no-prompt") {
            o.noPrompt = true;
            continue;
        }
        if (name == "--chatter") {
            o.chatter = true;
            continue;
        }
        if (name == "--exit-after-prompt") {
            o.exitAfterPrompt = true;
            if (i + 1 < argc && argv[i + 1][0] >= '0' && argv[i + 1][0] <= '9' &&
                !parseUnsigned(argv[++i], 86400000, o.exitLingerMs)) {
                error = "--exit-after-prompt: bad time";
                return ParseResult::Error;
            }
            continue;
        }

        static const char *const VALUED_OPTIONS[] = {
            "--ports-dir",        "--com",         "--report",       "--baud",        "--role",
            "--fw-version",       "--model",       "--fpga-version", "--device-code", "--reply",
            "--huge-reply",       "--trailing",    "--silent-to",    "--garbage-to",  "--split-reply",
            "--probe-answer-nth", "--stall",       "--disconnect",   "--banner",      "--banner-after",
            "--prompt",           "--prompt-after"};
        bool valued = false;
        for (const char *known : VALUED_OPTIONS) {
            valued = valued || name == known;
        }
        if (!valued) {
            error = "unknown option " + name + " (see --help)";
            return ParseResult::Error;
        }
        if (i + 1 >= argc) {
            error = name + ": missing value (see --help)";
            return ParseResult::Error;
        }
        const std::string arg = argv[++i];
        uint64_t number = 0;
        CommandKind kind{};
        std::string value;
        bool ok = true;

        if (name == "--ports-dir") {
            o.portsDir = arg;
        } else if (name == "--com") {
            ok = parseUnsigned(arg, 999, number) && number >= 1;
            o.com = int(number);
        } else if (name == "--report") {
            o.reportPath = arg;
        } else if (name == "--baud") {
            ok = parseUnsigned(arg, 4000000, number) && number > 0;
            o.baud = unsigned(number);
        } else if (name == "--role") {
            ok = arg == "tx" || arg == "tx2" || arg == "rx" || arg == "rx2";
            o.role = arg;
        } else if (name == "--fw-version") {
            o.fwVersion = arg;
        } else if (name == "--model") {
            o.model = arg;
        } else if (name == "--fpga-version") {
            o.fpgaVersion = arg;
        } else if (name == "--device-code") {
            ok = arg.size() <= 30 && parseUnsigned(arg[0] == '-' ? arg.substr(1) : arg, UINT64_MAX, number);
            o.deviceCode = arg;
        } else if (name == "--reply") {
            std::string bytes;
            ok = splitKindValue(arg, kind, value) && unescapeText(value, bytes);
            if (ok) {
                o.reply[size_t(kind)] = bytes;
            }
        } else if (name == "--huge-reply") {
            ok = splitKindValue(arg, kind, value) && parseUnsigned(value, uint64_t(1) << 30, number);
            if (ok) {
                o.hugeReply[size_t(kind)] = number;
            }
        } else if (name == "--trailing") {
            ok = unescapeText(arg, o.trailing);
        } else if (name == "--silent-to") {
            ok = commandKindFromName(arg, kind);
            if (ok) {
                o.silentTo[size_t(kind)] = true;
            }
        } else if (name == "--garbage-to") {
            if (arg == "all") {
                o.garbageTo.fill(true);
            } else {
                ok = commandKindFromName(arg, kind);
                if (ok) {
                    o.garbageTo[size_t(kind)] = true;
                }
            }
        } else if (name == "--split-reply") {
            size_t comma = arg.find(',');
            ok = comma != std::string::npos &&
                 parseUnsigned(arg.substr(0, comma), UINT32_MAX, o.splitAfterBytes) &&
                 parseUnsigned(arg.substr(comma + 1), 86400000, o.splitPauseMs);
        } else if (name == "--probe-answer-nth") {
            ok = parseUnsigned(arg, 1000, number) && number >= 1;
            o.probeAnswerNth = unsigned(number);
        } else if (name == "--stall") {
            ok = parseTransferPoint(arg, true, o.stall);
        } else if (name == "--disconnect") {
            ok = parseTransferPoint(arg, false, o.disconnect);
        } else if (name == "--banner") {
            ok = unescapeText(arg, o.banner);
        } else if (name == "--banner-after") {
            ok = parseUnsigned(arg, 86400000, o.bannerAfterMs);
        } else if (name == "--prompt") {
            ok = unescapeText(arg, o.prompt);
        } else if (name == "--prompt-after") {
            ok = parseUnsigned(arg, 86400000, o.promptAfterMs);
        }
        if (!ok) {
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
