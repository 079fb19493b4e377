// Cuts the byte stream from the tool into console command frames: "%%", the command text,
// then LF CR. Bytes may arrive in any pieces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Frame {
    std::string text;   // the command text without "%%" and the line end
    bool framed = true; // false: the line did not begin with "%%", or it overran the limit
};

class FrameParser {
public:
    static constexpr size_t MAX_LINE_LENGTH = 4096;

    // Takes one byte; returns true when it completed a frame, stored in `frame`. A frame is
    // complete at the CR after its LF; a line that ends in LF alone completes at the next byte.
    bool feed(uint8_t byte, Frame &frame);
    void reset();

private:
    bool take(uint8_t byte, Frame &frame);
    bool complete(Frame &frame);

    std::string line_;
    bool afterLf_ = false;
};
