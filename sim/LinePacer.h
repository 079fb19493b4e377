// Paces bytes at the real line rate: ten bits a byte (start, eight data, stop). While the line
// runs, bytes follow each other back to back; an idle line starts again from the moment the
// next byte is there, so time spent idle is never credited to later bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// How long one byte takes to cross a line at `rate` baud, in microseconds (0 at rate 0).
inline double byteTimeUs(unsigned rate)
{
    return rate ? 10e6 / rate : 0;
}

class LinePacer {
public:
    void setRate(unsigned rate) { byteUs_ = byteTimeUs(rate); }
    bool running() const { return running_; }
    void start(uint64_t now);
    void stop() { running_ = false; }
    // How many bytes the running line has carried by `now` and not yet been taken.
    size_t allowance(uint64_t now) const;
    void consumed(size_t bytes) { busyUntil_ += double(bytes) * byteUs_; }
    // When the next batch of bytes (at least one) will have crossed the line.
    uint64_t nextByteAt() const;

private:
    double byteUs_ = 0;
    double busyUntil_ = 0; // when the last byte taken finished crossing the line
    bool running_ = false;
};
