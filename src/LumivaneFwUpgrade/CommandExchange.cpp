#include <cstring>

#include "LumivaneFwUpgrade.h"

char *gDataBuffer = nullptr;

BOOL StrRemoveNL(char *str, char ch)
{
    // The end is fixed before the walk: with NUL as the replacement the text shortens,
    // yet every later line-break character must still be replaced.
    for (char *end = str + strlen(str); str < end; ++str) {
        if (*str == '\n' || *str == '\r') {
            *str = ch;
        }
    }
    return TRUE;
}
