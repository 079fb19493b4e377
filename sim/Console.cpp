#include "Console.h"

#include "Clock.h"
#include "ReleaseManifest.h"

namespace {

constexpr uint64_t MAX_IMAGE_LENGTH = 64ull << 20;

const char PROBE_REPLY[] = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";

std::string identityText(const std::string &role)
{
    if (role == "tx2") {
        return "Norvex 6G SDI EXT PELLIMORA-B TX\r\n>>";
    }
    if (role == "rx") {
        return "Norvex 6G SDI EXTENDER RX\r\n>>";
    }
    if (role == "rx2") {
        return "Norvex 6G SDI EXT PELLIMORA-B RX\r\n>>";
    }
    return "Norvex 6G SDI EXTENDER TX\r\n>>";
}

bool parseDecimal(const std::string &text, uint64_t max, uint64_t &value)
{
    if (text.empty() || text.size() > 20) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + uint64_t(c - '0');
        if (value > max) {
            return false;
        }
    }
    return true;
}

} // namespace

Console::Console(const Options &options, Report &report, Outbox &outbox)
    : options_(options), report_(report), replies_(options, report, outbox), images_(options, report),
      reboot_(options, report, replies_), firmwareVersion_(options.fwVersion)
{
}

void Console::onInput(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                      bool carriedAhead)
{
    while (count > 0) {
        if (reboot_.rebooting() || options_.chatter || stoppedTaking_) {
            report_.ignoredBytes += count;
            return;
        }
        if (images_.receiving()) {
            const size_t taken = images_.take(bytes, count, now, line, carriedAhead);
            if (images_.complete()) {
                finishImage(now, line);
            }
            bytes += taken;
            count -= taken;
            continue;
        }
        Frame frame;
        const bool complete = parser_.feed(*bytes, frame);
        ++bytes;
        --count;
        if (complete) {
            handleFrame(frame, now, line);
        }
    }
}

bool Console::parseUpload(const std::string &text, uint32_t &checksum, uint64_t &length) const
{
    const std::string args = text.substr(7);
    const size_t blank = args.find(' ');
    uint64_t sum = 0;
    if (blank == std::string::npos || !parseDecimal(args.substr(0, blank), UINT32_MAX, sum) ||
        !parseDecimal(args.substr(blank + 1), MAX_IMAGE_LENGTH, length)) {
        return false;
    }
    checksum = uint32_t(sum);
    return true;
}

void Console::handleFrame(const Frame &frame, uint64_t now, const LineSettings &line)
{
    const CommandKind kind = frame.framed ? classifyCommand(frame.text) : CommandKind::Unknown;
    CommandRecord record{now,          frame.text, commandKindName(kind), frame.framed, line.rate,
                         line.crtscts, "ignored"};
    uint32_t checksum = 0;
    uint64_t length = 0;
    if (frame.framed && options_.stopTakingAfter == kind && !stoppedTaking_) {
        // Stopped before the answer goes out: the writer cannot get a byte in after it.
        stoppedTaking_ = true;
        report_.faults.push_back(FaultRecord{now, "stop-taking", commandKindName(kind)});
    }
    if (!frame.framed) {
        // Not a console command: the console has nothing to say to it.
    } else if (kind == CommandKind::Probe && line.rate == replies_.rate() &&
               ++probesAtRate_ < options_.probeAnswerNth) {
        record.answer = "silent";
        report_.faults.push_back(FaultRecord{now, "probe-ignored", std::to_string(probesAtRate_)});
    } else if (kind == CommandKind::Probe) {
        record.answer = replies_.send(kind, PROBE_REPLY, now, line);
    } else if (kind == CommandKind::Version) {
        const std::string fields = firmwareVersion_ + " " + options_.model + " " + options_.fpgaVersion +
                                   " " + options_.deviceCode + "\r\n>>";
        record.answer = replies_.send(kind, fields, now, line);
    } else if (kind == CommandKind::Identity) {
        record.answer = replies_.send(kind, identityText(options_.role), now, line);
    } else if ((kind == CommandKind::FpgaUpload || kind == CommandKind::FwUpload) &&
               parseUpload(frame.text, checksum, length)) {
        record.answer = replies_.send(kind, "Ready", now, line);
        // From "Ready" on the unit listens at the image rate, until it reboots.
        replies_.setRate(IMAGE_RATE);
        report_.commands.push_back(record);
        images_.start(kind, checksum, length, now);
        if (images_.complete()) {
            finishImage(now, line);
        } else {
            report_.changed(now);
        }
        return;
    } else {
        // Unknown, or an upload command whose checksum or length does not read as a number.
        record.answer = replies_.send(CommandKind::Unknown, "ERROR: invalid command\r\n>>", now, line);
    }
    report_.commands.push_back(record);
    report_.changed(now);
}

void Console::finishImage(uint64_t now, const LineSettings &line)
{
    const CommandKind kind =
        report_.images.back().stage == "fpga" ? CommandKind::FpgaImage : CommandKind::FwImage;
    const bool good = images_.finish();
    const bool overridden = options_.reply[size_t(kind)].has_value();
    if (good) {
        replies_.send(kind, "SUCCESS", now, line);
    } else {
        replies_.send(kind, "CHECKSUM ERROR", false, now, line);
    }
    if (kind == CommandKind::FwImage && good && !overridden) {
        reboot_.start(now);
        if (!options_.keepVersion) {
            firmwareVersion_ = RELEASE_FIRMWARE_VERSION;
        }
    }
    report_.changed(now);
}

void Console::onPortClosed()
{
    parser_.reset();
    reboot_.onPortClosed();
}

void Console::onTime(uint64_t now, const LineSettings &line)
{
    images_.onTime(now);
    replies_.onTime(now);
    reboot_.onTime(now, line);
}

uint64_t Console::nextWake() const
{
    return earliestWake({images_.nextWake(), replies_.nextWake(), reboot_.nextWake()});
}
