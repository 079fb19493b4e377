#include "LiveView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SitePorts.h"

#ifdef _WIN32
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Refreshes in place at most this often.
const long long REFRESH_MS = 250;
// A console that tells no size is taken as the classic one.
const int DEFAULT_ROWS = 24;
const int DEFAULT_COLUMNS = 80;
const char CUT_MARK[] = "...";

// In UnitPhase's order, Ended aside: it shows the outcome.
const char *const PHASE_NAMES[] = {"identifying", "preparing FPGA", "FPGA",    "preparing firmware",
                                   "firmware",    "rebooting",      "checking"};
// In Verdict's order: the compact form's groups of ended units.
const char *const VERDICT_NAMES[] = {"updated", "warning", "failed", "interrupted"};
const size_t VERDICT_COUNT = sizeof VERDICT_NAMES / sizeof *VERDICT_NAMES;
// The compact form's groups: one per running phase but the two preparing ones, whose units
// count in the stage they prepare (at 0%), then one per verdict. Slots by phase, then verdict.
const size_t GROUP_SLOTS = (size_t)UnitPhase::Ended + VERDICT_COUNT;
const int GROUP_COUNT = 5 + (int)VERDICT_COUNT; // identifying, FPGA, firmware, rebooting, checking

// The unit of a phase's figure, or nullptr for a phase without one.
const char *figureUnit(UnitPhase phase)
{
    switch (phase) {
    case UnitPhase::Fpga:
    case UnitPhase::Firmware: return "%";
    case UnitPhase::Rebooting: return " s";
    default: return nullptr;
    }
}

// The stage without its figure: "FPGA 42%" and "FPGA 43%" are one stage, as are
// "rebooting 97 s" and "rebooting 94 s".
std::string stageName(const UnitState &state)
{
    return state.phase == UnitPhase::Ended ? state.outcome : PHASE_NAMES[(int)state.phase];
}

size_t groupOf(const UnitState &state)
{
    switch (state.phase) {
    case UnitPhase::PreparingFpga: return (size_t)UnitPhase::Fpga;
    case UnitPhase::PreparingFirmware: return (size_t)UnitPhase::Firmware;
    case UnitPhase::Ended: return (size_t)UnitPhase::Ended + (size_t)state.verdict;
    default: return (size_t)state.phase;
    }
}

// Labels start with the port, "COM3" or "rfc2217://rack4:4001" (unitLabel).
std::string portOf(const std::string &label)
{
    return label.substr(0, label.find(' '));
}

// "COM1-8,11 rfc2217://rack4:4001": the COM ports in increasing order, each run of consecutive
// ones as a range, then the others as they are.
std::string portRanges(const std::vector<std::string> &names)
{
    std::vector<int> ports;
    std::string others;
    for (const std::string &name : names) {
        const int number = comNumber(name);
        if (number > 0) {
            ports.push_back(number);
        } else {
            others += " " + name;
        }
    }
    std::sort(ports.begin(), ports.end());
    std::string text = ports.empty() ? "" : "COM";
    for (size_t first = 0, last = 0; first < ports.size(); first = ++last) {
        while (last + 1 < ports.size() && ports[last + 1] == ports[last] + 1) {
            last++;
        }
        text += (first == 0 ? "" : ",") + std::to_string(ports[first]) +
                (last > first ? "-" + std::to_string(ports[last]) : "");
    }
    return ports.empty() ? others.substr(1) : text + others;
}

// A line of counts, then a line per group that has units: "FPGA 12-40%: COM1-8,11".
std::vector<std::string> compactLines(const std::vector<std::string> &labels,
                                      const std::vector<UnitState> &states)
{
    std::vector<std::string> ports[GROUP_SLOTS];
    int lowest[GROUP_SLOTS] = {}, highest[GROUP_SLOTS] = {};
    for (size_t i = 0; i < labels.size(); i++) {
        const size_t group = groupOf(states[i]);
        const int figure = figureUnit(states[i].phase) != nullptr ? states[i].figure : 0;
        lowest[group] = ports[group].empty() ? figure : std::min(lowest[group], figure);
        highest[group] = ports[group].empty() ? figure : std::max(highest[group], figure);
        ports[group].push_back(portOf(labels[i]));
    }
    size_t ended[VERDICT_COUNT], working = labels.size();
    for (size_t v = 0; v < VERDICT_COUNT; v++) {
        ended[v] = ports[(size_t)UnitPhase::Ended + v].size();
        working -= ended[v];
    }
    char counts[160];
    snprintf(counts, sizeof counts,
             "%d units: %d working, %d updated, %d with a warning, %d failed, %d interrupted",
             (int)labels.size(), (int)working, (int)ended[0], (int)ended[1], (int)ended[2], (int)ended[3]);
    std::vector<std::string> lines = {counts};
    for (size_t group = 0; group < GROUP_SLOTS; group++) {
        if (ports[group].empty()) {
            continue;
        }
        const bool running = group < (size_t)UnitPhase::Ended;
        std::string line = running ? PHASE_NAMES[group] : VERDICT_NAMES[group - (size_t)UnitPhase::Ended];
        const char *unit = running ? figureUnit((UnitPhase)group) : nullptr;
        if (unit != nullptr) {
            line += " " + std::to_string(lowest[group]) +
                    (highest[group] > lowest[group] ? "-" + std::to_string(highest[group]) : "") + unit;
        }
        lines.push_back(line + ": " + portRanges(ports[group]));
    }
    return lines;
}

// The line as the console shows it without wrapping: cut to the columns, marked as cut when
// there is room for the mark beside some of the text.
std::string cut(const std::string &line, size_t columns)
{
    if (line.size() <= columns) {
        return line;
    }
    const size_t mark = columns > strlen(CUT_MARK) ? strlen(CUT_MARK) : 0;
    return line.substr(0, columns - mark) + std::string(CUT_MARK, mark);
}

// The lines a frame may take: all rows but the one the cursor rests on below them.
size_t roomFor(int rows)
{
    return (size_t)(rows > 0 ? rows : DEFAULT_ROWS) - 1;
}

// A console that moves the cursor for us: a terminal that takes control sequences, or a Windows
// console that takes them once asked.
bool consoleRedraws(void)
{
#ifdef _WIN32
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) && SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    const char *term = getenv("TERM");
    return isatty(STDOUT_FILENO) != 0 && term != nullptr && term[0] != '\0' && strcmp(term, "dumb") != 0;
#endif
}

// The console window's rows and columns as they are now, or 0 where it tells none.
void windowSize(int *rows, int *columns)
{
    *rows = 0;
    *columns = 0;
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        *rows = info.srWindow.Bottom - info.srWindow.Top + 1;
        *columns = info.srWindow.Right - info.srWindow.Left + 1;
    }
#else
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
        *rows = size.ws_row;
        *columns = size.ws_col;
    }
#endif
}

long long nowMs(void)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string stageText(const UnitState &state)
{
    const char *unit = figureUnit(state.phase);
    return unit == nullptr ? stageName(state) : stageName(state) + " " + std::to_string(state.figure) + unit;
}

int liveFrameHeight(size_t units, int rows)
{
    const size_t room = roomFor(rows);
    return (int)(units <= room ? units : std::min(room, (size_t)GROUP_COUNT + 1));
}

std::vector<std::string> liveFrame(const std::vector<std::string> &labels,
                                   const std::vector<UnitState> &states, int rows, int columns)
{
    const size_t room = roomFor(rows);
    std::vector<std::string> lines;
    if (labels.size() <= room) {
        for (size_t i = 0; i < labels.size(); i++) {
            lines.push_back(labels[i] + stageText(states[i]));
        }
    } else {
        lines = compactLines(labels, states);
        if (room <= 1) {
            // The counts alone still account for every unit.
            lines.resize(room);
        } else if (lines.size() > room) {
            const size_t more = lines.size() - (room - 1);
            lines.resize(room - 1);
            lines.push_back("... and " + std::to_string(more) + " more stages");
        }
    }
    for (std::string &line : lines) {
        line = cut(line, columns > 0 ? (size_t)columns : (size_t)DEFAULT_COLUMNS);
    }
    return lines;
}

LiveView::LiveView(std::vector<std::string> labels)
    : labels_(std::move(labels)), inPlace_(consoleRedraws()), shown_(inPlace_ ? 0 : labels_.size())
{
    fputs("\r\n", stdout);
}

void LiveView::showPlain(const std::vector<UnitState> &states)
{
    for (size_t i = 0; i < labels_.size(); i++) {
        const std::string stage = stageName(states[i]);
        if (stage != shown_[i]) {
            shown_[i] = stage;
            printf("%s%s\r\n", labels_[i].c_str(), stage.c_str());
        }
    }
}

void LiveView::show(const std::vector<UnitState> &states, bool final)
{
    if (!inPlace_) {
        showPlain(states);
        return;
    }
    if (!final && nowMs() - lastDrawMs_ < REFRESH_MS) {
        return;
    }
    int rows = 0, columns = 0;
    windowSize(&rows, &columns);
    // The last column stays empty: a console that wraps as soon as it is written in would move
    // the cursor down a line of its own.
    const std::vector<std::string> frame =
        liveFrame(labels_, states, rows, columns > 1 ? columns - 1 : columns);
    if (frame == shown_) {
        return;
    }
    // The cursor rests below the frame on the console. It first goes down over the lines the
    // tallest frame of this window needs, so that any scrolling happens now, at the first frame,
    // and never later under a taller one; then up to the frame's first line.
    const int drawn = (int)shown_.size();
    const int down = std::max(liveFrameHeight(labels_.size(), rows), drawn) - drawn;
    std::string text((size_t)down, '\n');
    if (drawn + down > 0) {
        text += "\x1b[" + std::to_string(drawn + down) + "A";
    }
    for (const std::string &line : frame) {
        text += "\r\x1b[2K" + line + "\r\n";
    }
    // Below is the view's own: a longer frame's leftovers, or the lines kept for a taller one.
    text += "\x1b[J";
    fwrite(text.data(), 1, text.size(), stdout);
    shown_ = frame;
    lastDrawMs_ = nowMs();
}
