#include "Outbox.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

void Outbox::send(std::string bytes)
{
    if (!bytes.empty()) {
        items_.push_back(Item{std::move(bytes), 0, 0, 0});
    }
}

void Outbox::pause(uint64_t us)
{
    if (us) {
        items_.push_back(Item{std::string(), 0, us, 0});
    }
}

Outbox::Progress Outbox::pump(int fd, uint64_t now, LinePacer *pacer)
{
    Progress progress;
    while (!items_.empty()) {
        Item &item = items_.front();
        if (item.pauseUs) {
            if (pacer) {
                pacer->stop(); // the line falls idle during the pause
            }
            if (!item.pauseEnd) {
                item.pauseEnd = now + item.pauseUs;
            }
            if (now < item.pauseEnd) {
                progress.wakeAt = item.pauseEnd;
                return progress;
            }
            items_.pop_front();
            continue;
        }
        size_t count = item.bytes.size() - item.sent;
        if (pacer) {
            if (!pacer->running()) {
                pacer->start(now);
            }
            count = std::min(count, pacer->allowance(now));
            if (count == 0) {
                progress.wakeAt = pacer->nextByteAt();
                return progress;
            }
        }
        ssize_t written = write(fd, item.bytes.data() + item.sent, count);
        if (written < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                progress.wantWritable = true;
            } else {
                progress.lineGone = true;
            }
            if (pacer) {
                pacer->stop(); // held up by the other side: the line waits with it
            }
            return progress;
        }
        if (pacer) {
            pacer->consumed(size_t(written));
        }
        item.sent += size_t(written);
        if (item.sent == item.bytes.size()) {
            items_.pop_front();
        } else if (size_t(written) < count) {
            progress.wantWritable = true;
            if (pacer) {
                pacer->stop();
            }
            return progress;
        }
    }
    if (pacer) {
        pacer->stop();
    }
    return progress;
}
