#include "LinePacer.h"

#include <algorithm>
#include <cmath>

namespace {
// Bytes are taken in batches of about this much line time: close enough to the line for
// timing, without waking for every byte.
constexpr double BATCH_US = 1000;
} // namespace

void LinePacer::start(uint64_t now)
{
    busyUntil_ = double(now);
    running_ = true;
}

size_t LinePacer::allowance(uint64_t now) const
{
    if (!running_ || byteUs_ <= 0) {
        return running_ ? SIZE_MAX : 0;
    }
    const double slack = double(now) - busyUntil_;
    return slack <= 0 ? 0 : size_t(std::floor(slack / byteUs_));
}

uint64_t LinePacer::nextByteAt() const
{
    return uint64_t(std::ceil(busyUntil_ + std::max(byteUs_, BATCH_US)));
}
