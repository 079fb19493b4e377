#include "LinePacer.h"

#include <algorithm>
#include <cmath>

namespace {
// An idle line gives no credit beyond this: a UART has no store of past time.
constexpr double kBurstUs = 2000;
} // namespace

double LinePacer::base(uint64_t now) const { return std::max(busyUntil_, double(now) - kBurstUs); }

size_t LinePacer::allowance(uint64_t now)
{
    if (byteUs_ <= 0) return SIZE_MAX;
    double slack = double(now) - base(now);
    return slack <= 0 ? 0 : size_t(std::floor(slack / byteUs_));
}

void LinePacer::consumed(size_t bytes, uint64_t now)
{
    if (byteUs_ <= 0) return;
    busyUntil_ = base(now) + double(bytes) * byteUs_;
}

uint64_t LinePacer::nextByteAt(uint64_t now) const { return uint64_t(std::ceil(base(now) + byteUs_)); }
