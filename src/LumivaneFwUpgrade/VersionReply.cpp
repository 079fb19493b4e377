// The unit's answer to the version query, read field by field with range checks: a number
// that does not fit an int makes the reply unreadable, never another number. The reply is
// judged by its length: a NUL byte is a character like any other, not its end.
#include <climits>
#include <cstring>

#include "LumivaneFwUpgrade.h"

namespace {

// What is left of the reply: [at, end).
struct Cursor {
    const char *at;
    const char *end;

    bool atEnd() const { return at == end; }
    bool next(char c) const { return at != end && *at == c; }
    bool nextIsDigit() const { return at != end && *at >= '0' && *at <= '9'; }
};

// CR and LF count as blanks: the reply's lines are read as one.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skipBlanks(Cursor &text)
{
    while (!text.atEnd() && isBlank(*text.at)) {
        ++text.at;
    }
}

// Optional blanks, an optional sign and every digit that follows; false when there is no
// digit or the value lies outside an int.
bool readInt(Cursor &text, int *value)
{
    skipBlanks(text);
    bool negative = text.next('-');
    if (text.next('-') || text.next('+')) {
        ++text.at;
    }
    if (!text.nextIsDigit()) {
        return false;
    }
    // Magnitude up to |INT_MIN|; beyond it the digits are still consumed, then refused.
    const long long limit = negative ? -(long long)INT_MIN : INT_MAX;
    long long magnitude = 0;
    bool inRange = true;
    for (; text.nextIsDigit(); ++text.at) {
        magnitude = magnitude * 10 + (*text.at - '0');
        if (magnitude > limit) {
            inRange = false;
            magnitude = limit;
        }
    }
    *value = (int)(negative ? -magnitude : magnitude);
    return inRange;
}

bool readDot(Cursor &text)
{
    if (!text.next('.')) {
        return false;
    }
    ++text.at;
    return true;
}

// Optional blanks, then one word of 1 to 7 characters; a longer word is refused, not cut.
bool readModel(Cursor &text, VersionReply &version)
{
    skipBlanks(text);
    size_t length = 0;
    while (text.at + length != text.end && !isBlank(text.at[length])) {
        ++length;
    }
    if (length == 0 || length >= sizeof version.model) {
        return false;
    }
    memcpy(version.model, text.at, length);
    version.model[length] = '\0';
    version.modelLength = length;
    text.at += length;
    return true;
}

// What may follow the device code: a blank (a line end among them) or the prompt ">>".
// Anything after that is not looked at.
VersionReplyVerdict judgeDeviceCodeEnd(const Cursor &text, BOOL replyMayGoOn)
{
    const size_t left = (size_t)(text.end - text.at);
    if (left > 0 && isBlank(*text.at)) {
        return VERSION_READ;
    }
    if (left >= 2 && memcmp(text.at, ">>", 2) == 0) {
        return VERSION_READ;
    }
    // The text ends within the field, or within its prompt: the next bytes decide.
    if (replyMayGoOn && (left == 0 || (left == 1 && *text.at == '>'))) {
        return VERSION_MAY_GO_ON;
    }
    return left == 0 ? VERSION_READ : VERSION_UNREADABLE;
}

} // namespace

VersionReplyVerdict parseVersionReply(const char *reply, size_t length, BOOL replyMayGoOn,
                                      VersionReply *version)
{
    VersionReply read;
    Cursor text = {reply, reply + length};
    bool fields = readInt(text, &read.fw_ver) && readDot(text) && readInt(text, &read.fw_rev) &&
                  readDot(text) && readInt(text, &read.fw_sub) && readModel(text, read) &&
                  readInt(text, &read.fpga_ver) && readDot(text) && readInt(text, &read.fpga_rev) &&
                  readInt(text, &read.fpga_type);
    const VersionReplyVerdict verdict = fields ? judgeDeviceCodeEnd(text, replyMayGoOn) : VERSION_UNREADABLE;
    *version = verdict == VERSION_READ ? read : VersionReply();
    return verdict;
}
