#include "FrameParser.h"

bool FrameParser::complete(Frame &frame)
{
    frame.framed = line_.size() >= 2 && line_[0] == '%' && line_[1] == '%' && line_.size() <= MAX_LINE_LENGTH;
    frame.text = frame.framed ? line_.substr(2) : line_;
    line_.clear();
    afterLf_ = false;
    return true;
}

bool FrameParser::feed(uint8_t byte, Frame &frame)
{
    if (afterLf_) {
        if (byte == '\r') {
            return complete(frame);
        }
        // The line ended with LF alone: finish it and let this byte begin the next one.
        complete(frame);
        take(byte, frame);
        return true;
    }
    return take(byte, frame);
}

bool FrameParser::take(uint8_t byte, Frame &frame)
{
    if (byte == '\n') {
        afterLf_ = true;
        return false;
    }
    // Stray CR between frames carries no command.
    if (line_.empty() && byte == '\r') {
        return false;
    }
    line_ += char(byte);
    // An endless line (noise, an image nobody announced) is cut so it cannot grow without bound.
    if (line_.size() > MAX_LINE_LENGTH) {
        return complete(frame);
    }
    return false;
}

void FrameParser::reset()
{
    line_.clear();
    afterLf_ = false;
}
