#include "ImageReceiver.h"

#include "LinePacer.h"

#include <algorithm>

namespace {

constexpr uint64_t REPORT_INTERVAL_US = 250000;

bool stageMatches(const TransferPoint &point, const std::string &stage)
{
    return point.enabled && (point.stage < 0 || (point.stage == 0) == (stage == "fpga"));
}

} // namespace

ImageReceiver::ImageReceiver(const Options &options, Report &report) : options_(options), report_(report) {}

void ImageReceiver::start(CommandKind kind, uint32_t checksum, uint64_t length, uint64_t now)
{
    ImageRecord image;
    image.stage = kind == CommandKind::FpgaUpload ? "fpga" : "fw";
    image.announcedChecksum = checksum;
    image.announcedLength = length;
    report_.images.push_back(image);
    report_.state = "receiving";
    receiving_ = true;
    stallDone_ = false;
    stallUntil_ = 0;
    checkTransferPoints(now);
}

size_t ImageReceiver::take(const uint8_t *bytes, size_t count, uint64_t now, const LineSettings &line,
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
    if (!complete() && now - report_.lastChangeUs >= REPORT_INTERVAL_US) {
        report_.changed(now);
    }
    return taken;
}

bool ImageReceiver::complete() const
{
    const ImageRecord &image = report_.images.back();
    return image.bytesReceived == image.announcedLength;
}

void ImageReceiver::checkTransferPoints(uint64_t now)
{
    const ImageRecord &image = report_.images.back();
    if (!stallDone_ && stageMatches(options_.stall, image.stage) &&
        image.bytesReceived == options_.stall.afterBytes) {
        stallDone_ = true;
        const bool forever = options_.stall.ms == FOREVER;
        stallUntil_ = forever ? UINT64_MAX : now + options_.stall.ms * 1000;
        report_.fault(
            now, "stall",
            image.stage + " after " + std::to_string(image.bytesReceived) + " bytes " +
                (forever ? std::string("for ever") : "for " + std::to_string(options_.stall.ms) + " ms"));
    }
    if (stageMatches(options_.disconnect, image.stage) &&
        image.bytesReceived == options_.disconnect.afterBytes) {
        disconnect_ = true;
        report_.fault(now, "disconnect",
                      image.stage + " after " + std::to_string(image.bytesReceived) + " bytes");
    }
}

bool ImageReceiver::finish()
{
    ImageRecord &image = report_.images.back();
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
    receiving_ = false;
    report_.state = "ready";
    // Bytes that crossed a line at the wrong rate are not the bytes that were sent.
    return checksumOk && image.rateOk;
}

void ImageReceiver::onTime(uint64_t now)
{
    if (stallUntil_ && now >= stallUntil_) {
        stallUntil_ = 0;
    }
}

size_t ImageReceiver::inputLimit(uint64_t now) const
{
    if (!receiving_) {
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
