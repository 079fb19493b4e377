// A minimal terminal for the tests: a screen of rows x columns fed a program's output, that counts
// the lines pushed off its top into the scrollback and the lines it wrapped. It knows printable
// characters (a line wraps as soon as its last column is written, as the least forgiving consoles
// do), "\r", "\n", "\b", ESC[nA, ESC[2K, ESC[K and ESC[J; anything else is ignored.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

class Terminal {
public:
    Terminal(int rows, int columns);
    void feed(const std::string &bytes);
    // Lines pushed into the scrollback so far.
    int scrolled() const { return scrolled_; }
    // Lines written up to the last column, which went on to the next row, so far.
    int wrapped() const { return wrapped_; }
    const std::vector<std::string> &screen() const { return screen_; }

private:
    void lineFeed();
    void control(char final, int count);

    std::vector<std::string> screen_;
    int columns_;
    int row_ = 0, column_ = 0;
    int scrolled_ = 0;
    int wrapped_ = 0;
    std::string sequence_; // an escape sequence read so far, from ESC on
};

} // namespace testsupport
