// The operator's typed answers, one line each.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LumivaneFwUpgrade.h"

namespace {

// The longest answer kept: enough for any number an int can hold, with leading zeros and spaces
// around it, and room to see that a longer one is out of range. A longer line is refused whole:
// judged by a part of it, 70 blanks and "3" would read as an empty line, and 65 zeros and "33"
// as 0.
const size_t ANSWER_ROOM = 64;

// Spaces around the number; CR too, which a Windows console puts before the line feed.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// One line of standard input without its line feed, read to its end whatever its length. False
// at the end of input with nothing read, and for a line longer than room - 1 characters, which is
// refused whole, never cut.
bool readLine(char *line, size_t room)
{
    size_t length = 0;
    bool fits = true;
    int c;
    while ((c = getchar()) != EOF && c != '\n') {
        if (length + 1 < room) {
            // A NUL would end the text early and hide what follows it.
            line[length++] = c == '\0' ? '?' : (char)c;
        } else {
            fits = false;
        }
    }
    line[length] = '\0';
    return fits && (c != EOF || length > 0);
}

// The operator's next line that is not empty (or the next line, empty too, with emptyAnswers),
// without the blanks around it; NULL at the end of input and for a line longer than the room kept
// for an answer.
char *readTypedAnswer(char (&line)[ANSWER_ROOM + 1], bool emptyAnswers)
{
    for (;;) {
        if (!readLine(line, sizeof line)) {
            return NULL;
        }
        char *start = line;
        while (isBlank(*start)) {
            start++;
        }
        char *end = start + strlen(start);
        while (end > start && isBlank(end[-1])) {
            end--;
        }
        if (end != start || emptyAnswers) {
            *end = '\0';
            return start;
        }
        // an empty line is passed over
    }
}

} // namespace

BOOL readTypedNumber(long long *typed)
{
    char line[ANSWER_ROOM + 1];
    const char *start = readTypedAnswer(line, false);
    if (start == NULL) {
        return FALSE;
    }
    const char *digits = start + (*start == '+' || *start == '-' ? 1 : 0);
    if (*digits == '\0' || strspn(digits, "0123456789") != strlen(digits)) {
        return FALSE;
    }
    // A number beyond a long long comes out at its limit, which no caller accepts.
    *typed = strtoll(start, NULL, 10);
    return TRUE;
}

BOOL readTypedYes(void)
{
    char line[ANSWER_ROOM + 1];
    // Enter alone is the question's default: no.
    const char *answer = readTypedAnswer(line, true);
    return answer != NULL && (strcmp(answer, "y") == 0 || strcmp(answer, "Y") == 0 ||
                              strcmp(answer, "yes") == 0 || strcmp(answer, "YES") == 0)
               ? TRUE
               : FALSE;
}
