// What the unit has still to send: bytes and pauses in order, written to the line as it
// takes them (and, when paced, no faster than the line rate).
#pragma once
#include "LinePacer.h"

#include <cstdint>
#include <deque>
#include <string>

class Outbox {
public:
    void send(std::string bytes);
    void pause(uint64_t us);
    // Drops everything: the line was closed, so what was on its way is lost.
    void clear() { items_.clear(); }
    bool empty() const { return items_.empty(); }

    struct Progress {
        bool wantWritable = false; // the line is full: wake when it takes more
        uint64_t wakeAt = 0;       // a pause or the pacing ends then (0: nothing to wait for)
        bool lineGone = false;     // the write failed for good
    };
    Progress pump(int fd, uint64_t now, LinePacer *pacer);

private:
    struct Item {
        std::string bytes;
        size_t sent = 0;
        uint64_t pauseUs = 0;
        uint64_t pauseEnd = 0; // set when the pause begins
    };
    std::deque<Item> items_;
};
