// The unit's answer to the version query, read field by field with range checks: a number
// that does not fit an int makes the reply unreadable, never another number.
#include <climits>
#include <cstring>

#include "LumivaneFwUpgrade.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skipBlanks(const char *&text)
{
    while (isBlank(*text)) {
        ++text;
    }
}

// Optional blanks, an optional sign and every digit that follows; false when there is no
// digit or the value lies outside an int.
bool readInt(const char *&text, int *value)
{
    skipBlanks(text);
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    if (*text < '0' || *text > '9') {
        return false;
    }
    // Magnitude up to |INT_MIN|; beyond it the digits are still consumed, then refused.
    const long long limit = negative ? -(long long)INT_MIN : INT_MAX;
    long long magnitude = 0;
    bool inRange = true;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) {
            inRange = false;
            magnitude = limit;
        }
    }
    *value = (int)(negative ? -magnitude : magnitude);
    return inRange;
}

bool readDot(const char *&text)
{
    if (*text != '.') {
        return false;
    }
    ++text;
    return true;
}

// Optional blanks, then one word of 1 to 7 characters; a longer word is refused, not cut.
bool readModel(const char *&text, char (&model)[8])
{
    skipBlanks(text);
    size_t length = 0;
    while (text[length] != '\0' && !isBlank(text[length])) {
        ++length;
    }
    if (length == 0 || length >= sizeof model) {
        return false;
    }
    memcpy(model, text, length);
    model[length] = '\0';
    text += length;
    return true;
}

} // namespace

BOOL parseVersionReply(const char *reply, VersionReply *version)
{
    VersionReply read;
    const char *text = reply;
    bool whole = readInt(text, &read.fw_ver) && readDot(text) && readInt(text, &read.fw_rev) &&
                 readDot(text) && readInt(text, &read.fw_sub) && readModel(text, read.model) &&
                 readInt(text, &read.fpga_ver) && readDot(text) && readInt(text, &read.fpga_rev) &&
                 readInt(text, &read.fpga_type);
    // Anything after the seventh field is not looked at.
    *version = whole ? read : VersionReply();
    return whole ? TRUE : FALSE;
}
