#include "Console.h"

#include "LinePacer.h"

#include <algorithm>

namespace {

constexpr uint64_t MAX_IMAGE_LENGTH = 64ull << 20;
constexpr uint64_t REPORT_INTERVAL_US = 250000;
constexpr uint64_t CHATTER_INTERVAL_US = 100000;
const char CHATTER_LINE[] = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

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

// What a UART set to another rate makes of the reply: the same number of wrong bytes,
// the same every time for the same reply and rates.
std::string garble(const std::string &reply, unsigned toolRate, unsigned unitRate)
{
    uint32_t state = toolRate * 2654435761u ^ unitRate;
    std::string out = reply;
    for (char &c : out) {
        state = state * 1103515245u + 12345u;
        char g = char(uint8_t(c) ^ uint8_t(state >> 16) ^ 0x80);
        c = g == c ? char(g ^ 0x55) : g;
    }
    return out;
}

std::string hugeText(uint64_t size)
{
    static const std::string DUMP_LINE = "Norvex 6G SDI EXTENDER TX diagnostic dump 0123456789ABCDEF\r\n";
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        out.append(DUMP_LINE, 0, std::min<uint64_t>(DUMP_LINE.size(), size - out.size()));
    }
    return out;
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

bool stageMatches(const TransferPoint &point, const std::string &stage)
{
    return point.enabled && (point.stage < 0 || (point.stage == 0) == (stage == "fpga"));
}

} // namespace

Console::Console(const Options &options, Report &report, Outbox &outbox)
    : options_(options), report_(report), outbox_(outbox), rate_(options.baud)
{
}

void Console::changed(uint64_t now)
{
    lastWriteUs_ = now;
    report_.write();
}

void Console::fault(uint64_t now, const std::string &name, const std::string &detail)
{
    report_.faults.push_back(FaultRecord{now, name, detail});
    changed(now);
}

std::string Console::answer(CommandKind kind, std::string reply, bool overridden, uint64_t now,
                            const LineSettings &line)
{
    const size_t k = size_t(kind);
    const std::string name = commandKindName(kind);
    if (options_.silentTo[k]) {
        report_.faults.push_back(FaultRecord{now, "silent", name});
        return "silent";
    }
    if (overridden) {
        report_.faults.push_back(FaultRecord{now, "reply", name});
    }
    if (options_.hugeReply[k]) {
        reply = hugeText(*options_.hugeReply[k]);
        report_.faults.push_back(
            FaultRecord{now, "huge-reply", name + " " + std::to_string(reply.size()) + " bytes"});
    }
    if (!options_.trailing.empty()) {
        reply += options_.trailing;
        report_.faults.push_back(FaultRecord{now, "trailing", name});
    }
    std::string how = "reply";
    if (options_.garbageTo[k] || line.rate != rate_) {
        // At another rate this is no fault of the unit: it is what the line makes of its reply.
        if (options_.garbageTo[k]) {
            report_.faults.push_back(FaultRecord{now, "garbage", name});
        }
        reply = garble(reply, line.rate, rate_);
        how = "garbage";
    }
    if (options_.splitPauseMs && reply.size() > options_.splitAfterBytes) {
        report_.faults.push_back(FaultRecord{now, "split", name});
        outbox_.send(reply.substr(0, options_.splitAfterBytes));
        outbox_.pause(options_.splitPauseMs * 1000);
        outbox_.send(reply.substr(options_.splitAfterBytes));
    } else {
        outbox_.send(std::move(reply));
    }
    return how;
}

std::string Console::answer(CommandKind kind, const std::string &normal, uint64_t now,
                            const LineSettings &line)
{
    const std::optional<std::string> &override = options_.reply[size_t(kind)];
    return answer(kind, override.value_or(normal), override.has_value(), now, line);
}

std::string Console::garbledUnlessAt(const std::string &text, const LineSettings &line) const
{
    return line.rate == rate_ ? text : garble(text, line.rate, rate_);
}

void Console::onInput(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                      bool carriedAhead)
{
    while (count > 0) {
        if (mode_ == Mode::Rebooting || options_.chatter) {
            report_.ignoredBytes += count;
            return;
        }
        if (mode_ == Mode::Image) {
            size_t taken = takeImage(bytes, count, now, line, carriedAhead);
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
    if (!frame.framed) {
        // Not a console command: the console has nothing to say to it.
    } else if (kind == CommandKind::Probe && line.rate == rate_ &&
               ++probesAtRate_ < options_.probeAnswerNth) {
        record.answer = "silent";
        report_.faults.push_back(FaultRecord{now, "probe-ignored", std::to_string(probesAtRate_)});
    } else if (kind == CommandKind::Probe) {
        record.answer = answer(kind, PROBE_REPLY, now, line);
    } else if (kind == CommandKind::Version) {
        const std::string fields = options_.fwVersion + " " + options_.model + " " + options_.fpgaVersion +
                                   " " + options_.deviceCode + "\r\n>>";
        record.answer = answer(kind, fields, now, line);
    } else if (kind == CommandKind::Identity) {
        record.answer = answer(kind, identityText(options_.role), now, line);
    } else if ((kind == CommandKind::FpgaUpload || kind == CommandKind::FwUpload) &&
               parseUpload(frame.text, checksum, length)) {
        record.answer = answer(kind, "Ready", now, line);
        // From "Ready" on the unit listens at the image rate, until it reboots.
        rate_ = IMAGE_RATE;
        report_.commands.push_back(record);
        startImage(kind, checksum, length, now, line);
        return;
    } else {
        // Unknown, or an upload command whose checksum or length does not read as a number.
        record.answer = answer(CommandKind::Unknown, "ERROR: invalid command\r\n>>", now, line);
    }
    report_.commands.push_back(record);
    changed(now);
}

void Console::startImage(CommandKind kind, uint32_t checksum, uint64_t length, uint64_t now,
                         const LineSettings &line)
{
    ImageRecord image;
    image.stage = kind == CommandKind::FpgaUpload ? "fpga" : "fw";
    image.announcedChecksum = checksum;
    image.announcedLength = length;
    report_.images.push_back(image);
    report_.state = "receiving";
    mode_ = Mode::Image;
    stallDone_ = false;
    stallUntil_ = 0;
    checkTransferPoints(now);
    if (length == 0) {
        finishImage(now, line);
    } else {
        changed(now);
    }
}

size_t Console::takeImage(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
                          bool carriedAhead)
{
    ImageRecord &image = report_.images.back();
    if (image.bytesReceived == 0) {
        image.firstByteUs = now;
        image.rate = line.rate;
        image.crtscts = line.crtscts;
    }
    image.rateOk = image.rateOk && line.rate == IMAGE_RATE;
    image.flowOk = image.flowOk && line.crtscts;
    const size_t taken = size_t(std::min<uint64_t>(count, image.announcedLength - image.bytesReceived));
    image.take(bytes, taken);
    if (carriedAhead) {
        image.writeWaitUs += double(taken) * byteTimeUs(line.rate);
    }
    image.lastByteUs = now;
    checkTransferPoints(now);
    if (image.bytesReceived == image.announcedLength) {
        finishImage(now, line);
    } else if (now - lastWriteUs_ >= REPORT_INTERVAL_US) {
        changed(now);
    }
    return taken;
}

void Console::checkTransferPoints(uint64_t now)
{
    const ImageRecord &image = report_.images.back();
    if (!stallDone_ && stageMatches(options_.stall, image.stage) &&
        image.bytesReceived == options_.stall.afterBytes) {
        stallDone_ = true;
        const bool forever = options_.stall.ms == FOREVER;
        stallUntil_ = forever ? UINT64_MAX : now + options_.stall.ms * 1000;
        fault(now, "stall",
              image.stage + " after " + std::to_string(image.bytesReceived) + " bytes " +
                  (forever ? std::string("for ever") : "for " + std::to_string(options_.stall.ms) + " ms"));
    }
    if (stageMatches(options_.disconnect, image.stage) &&
        image.bytesReceived == options_.disconnect.afterBytes) {
        disconnect_ = true;
        fault(now, "disconnect", image.stage + " after " + std::to_string(image.bytesReceived) + " bytes");
    }
}

void Console::finishImage(uint64_t now, const LineSettings &line)
{
    ImageRecord &image = report_.images.back();
    const CommandKind kind = image.stage == "fpga" ? CommandKind::FpgaImage : CommandKind::FwImage;
    const bool checksumOk = image.checksum == image.announcedChecksum;
    if (!image.rateOk) {
        image.verdict = "wrong-rate";
    } else if (!checksumOk) {
        image.verdict = "checksum-mismatch";
    } else if (!image.flowOk) {
        image.verdict = "no-flow-control";
    } else {
        image.verdict = "ok";
    }

    // Bytes that crossed a line at the wrong rate are not the bytes that were sent.
    const bool good = checksumOk && image.rateOk;
    const bool overridden = options_.reply[size_t(kind)].has_value();
    if (good) {
        answer(kind, "SUCCESS", now, line);
    } else {
        answer(kind, "CHECKSUM ERROR", false, now, line);
    }

    mode_ = Mode::Commands;
    report_.state = "ready";
    if (kind == CommandKind::FwImage && good && !overridden) {
        mode_ = Mode::Rebooting;
        report_.state = "rebooting";
        report_.rebootUs = now;
        bannerAt_ = now + options_.bannerAfterMs * 1000;
        promptAt_ = now + options_.promptAfterMs * 1000;
    }
    changed(now);
}

void Console::onPortClosed()
{
    parser_.reset();
    if (promptDone_ && options_.exitAfterPrompt) {
        finished_ = true;
    }
}

void Console::onTime(uint64_t now, const LineSettings &line)
{
    if (stallUntil_ && now >= stallUntil_) {
        stallUntil_ = 0;
    }
    if (options_.chatter && now >= chatterAt_) {
        // A device of another kind: it talks at whatever rate the port runs.
        outbox_.send(CHATTER_LINE);
        chatterAt_ = now + CHATTER_INTERVAL_US;
    }
    if (mode_ == Mode::Rebooting && bannerAt_ && now >= bannerAt_) {
        bannerAt_ = 0;
        // The boot loader talks at the console rate.
        rate_ = options_.baud;
        report_.bannerUs = now;
        outbox_.send(garbledUnlessAt(options_.banner, line));
        changed(now);
    }
    if (mode_ == Mode::Rebooting && now >= promptAt_) {
        rate_ = options_.baud;
        mode_ = Mode::Commands;
        report_.state = "ready";
        promptDone_ = true;
        if (!options_.noPrompt) {
            report_.promptUs = now;
            outbox_.send(garbledUnlessAt(options_.prompt, line));
        }
        if (options_.exitAfterPrompt) {
            exitAt_ = now + options_.exitLingerMs * 1000;
        }
        changed(now);
    }
    if (exitAt_ && now >= exitAt_) {
        finished_ = true;
    }
}

size_t Console::inputLimit(uint64_t now) const
{
    if (mode_ != Mode::Image) {
        return SIZE_MAX;
    }
    if (now < stallUntil_) {
        return 0;
    }
    const ImageRecord &image = report_.images.back();
    uint64_t limit = image.announcedLength - image.bytesReceived;
    // Stop exactly at a stall or disconnect point, so the fault happens after K bytes, not later.
    for (const TransferPoint *point : {&options_.stall, &options_.disconnect}) {
        if (stageMatches(*point, image.stage) && point->afterBytes > image.bytesReceived &&
            !(point == &options_.stall && stallDone_)) {
            limit = std::min(limit, point->afterBytes - image.bytesReceived);
        }
    }
    return size_t(limit);
}

uint64_t Console::nextWake() const
{
    uint64_t wake = 0;
    for (uint64_t at : {bannerAt_, mode_ == Mode::Rebooting ? promptAt_ : 0, exitAt_, stallUntil_,
                        options_.chatter ? chatterAt_ : 0}) {
        if (at && (!wake || at < wake)) {
            wake = at;
        }
    }
    return wake;
}
