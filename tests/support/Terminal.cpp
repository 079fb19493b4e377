#include "Terminal.h"

#include <algorithm>
#include <cstdlib>

namespace testsupport {

Terminal::Terminal(int rows, int columns)
    : screen_((size_t)rows, std::string((size_t)columns, ' ')), columns_(columns)
{
}

void Terminal::lineFeed()
{
    if (row_ + 1 < (int)screen_.size()) {
        row_++;
        return;
    }
    screen_.erase(screen_.begin());
    screen_.push_back(std::string((size_t)columns_, ' '));
    scrolled_++;
}

void Terminal::control(char final, int count)
{
    std::string &line = screen_[(size_t)row_];
    if (final == 'A') {
        row_ = std::max(0, row_ - std::max(count, 1));
    } else if (final == 'K' && (count == 0 || count == 2)) {
        const size_t from = count == 2 ? 0 : (size_t)column_;
        line.replace(from, std::string::npos, (size_t)columns_ - from, ' ');
    } else if (final == 'J' && count == 0) {
        line.replace((size_t)column_, std::string::npos, (size_t)(columns_ - column_), ' ');
        for (size_t below = (size_t)row_ + 1; below < screen_.size(); below++) {
            screen_[below].assign((size_t)columns_, ' ');
        }
    }
}

void Terminal::feed(const std::string &bytes)
{
    for (const char c : bytes) {
        if (!sequence_.empty()) {
            sequence_ += c;
            // ESC and one other character, or ESC [ parameters and a final byte.
            if (sequence_.size() == 2 ? c != '[' : (c >= 0x40 && c <= 0x7e)) {
                if (sequence_.size() > 2) {
                    control(c, atoi(sequence_.c_str() + 2));
                }
                sequence_.clear();
            }
        } else if (c == '\x1b') {
            sequence_ = c;
        } else if (c == '\r') {
            column_ = 0;
        } else if (c == '\n') {
            lineFeed();
        } else if (c == '\b') {
            column_ = std::max(0, column_ - 1);
        } else if (c >= 0x20 && c < 0x7f) {
            screen_[(size_t)row_][(size_t)column_] = c;
            if (++column_ == columns_) {
                column_ = 0;
                wrapped_++;
                lineFeed();
            }
        }
    }
}

} // namespace testsupport
