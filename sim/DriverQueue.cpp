#include "DriverQueue.h"

#include <algorithm>

void DriverQueue::pop(size_t count)
{
    head_ += std::min(count, size());
    // Move the waiting bytes to the front only once as many have gone, so each byte moves
    // about once.
    if (head_ >= bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(head_));
        head_ = 0;
    }
}

void DriverQueue::clear()
{
    bytes_.clear();
    head_ = 0;
}
