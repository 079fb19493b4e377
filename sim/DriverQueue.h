// The tool's serial driver as the unit models it on a paced line: the bytes the tool has
// handed over that the line has not carried yet.
//
// A real driver holds at most the transmit queue that the tool asks for (8192 bytes), so a
// write returns once its last byte is queued, at most 8192 byte times before the line has
// carried it. The pseudo-terminal alone would hold about 22 KiB, so the tool's last write
// would return too early for its reply to arrive within the tool's reading time-out. The
// paced unit therefore reads every byte as soon as it is handed over, keeps it here, and
// never lets more than CAPACITY wait: bytes beyond it are those a real driver would still
// have kept the tool's write waiting for while the line carried them. The unit takes them
// at once and reports their line time apart, instead of making the tool wait for them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class DriverQueue {
public:
    static constexpr size_t CAPACITY = 8192;

    void append(const uint8_t *bytes, size_t count) { bytes_.insert(bytes_.end(), bytes, bytes + count); }
    size_t size() const { return bytes_.size() - head_; }
    // Bytes beyond the capacity: a real driver would not yet have returned the write that
    // handed them over.
    size_t overflow() const { return size() > CAPACITY ? size() - CAPACITY : 0; }
    const uint8_t *front() const { return bytes_.data() + head_; }
    void pop(size_t count);
    void clear();

private:
    std::vector<uint8_t> bytes_;
    size_t head_ = 0; // bytes before it have crossed the line
};
