// Paces bytes at the real line rate: ten bits a byte (start, eight data, stop).
#pragma once
#include <cstddef>
#include <cstdint>

class LinePacer {
public:
    void setRate(unsigned rate) { byteUs_ = rate ? 10e6 / rate : 0; }
    // How many bytes the line has carried by `now` and not yet been taken.
    size_t allowance(uint64_t now);
    void consumed(size_t bytes, uint64_t now);
    // When the next byte will have crossed the line.
    uint64_t nextByteAt(uint64_t now) const;

private:
    double base(uint64_t now) const;

    double byteUs_ = 0;
    double busyUntil_ = 0; // when the last byte taken finished crossing the line
};
