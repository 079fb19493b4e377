// The site program's live view: its frames for consoles of every size, and the program redrawing
// them in place on a terminal too short for a line per unit, none of it scrolling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "LiveView.h"
#include "Scenarios.h"
#include "Terminal.h"

namespace {

// A unit's state by letter, with the text it shows alone on its line and the group it is named
// in by the compact form.
const struct {
    char letter;
    UnitState state;
    std::string text, group;
} STATES[] = {
    {'i', {UnitPhase::Identifying, 0, Verdict::Failed, ""}, "identifying", "identifying"},
    {'p', {UnitPhase::PreparingFpga, 0, Verdict::Failed, ""}, "preparing FPGA", "FPGA"},
    {'f', {UnitPhase::Fpga, 12, Verdict::Failed, ""}, "FPGA 12%", "FPGA"},
    {'F', {UnitPhase::Fpga, 40, Verdict::Failed, ""}, "FPGA 40%", "FPGA"},
    {'q', {UnitPhase::PreparingFirmware, 0, Verdict::Failed, ""}, "preparing firmware", "firmware"},
    {'w', {UnitPhase::Firmware, 17, Verdict::Failed, ""}, "firmware 17%", "firmware"},
    {'r', {UnitPhase::Rebooting, 97, Verdict::Failed, ""}, "rebooting 97 s", "rebooting"},
    {'c', {UnitPhase::Checking, 0, Verdict::Failed, ""}, "checking", "checking"},
    // An ended unit shows its outcome.
    {'u', {UnitPhase::Ended, 0, Verdict::Updated, "updated, now runs 1.0.8"}, "", "updated"},
    {'W', {UnitPhase::Ended, 0, Verdict::Warning, "WARNING: no prompt after the reboot"}, "", "warning"},
    {'x', {UnitPhase::Ended, 0, Verdict::Failed, "FAILED: unit not ready"}, "", "failed"},
    {'n',
     {UnitPhase::Ended, 0, Verdict::Interrupted, "INTERRUPTED in mid-image: update it again"},
     "",
     "interrupted"},
};
const char EVERY_STATE[] = "ipfFqwrcuWxn";

const auto &stateOf(char letter)
{
    for (const auto &known : STATES) {
        if (known.letter == letter) {
            return known;
        }
    }
    throw std::invalid_argument(std::string("no state ") + letter);
}

enum class Form { PerUnit, Compact };

struct FrameRow {
    const char *name;
    int rows, columns;
    int units;           // on COM1 to COM<units>
    std::string pattern; // each unit's state letter, repeated over the units
    Form form;
    bool everyPort;    // compact, neither folded nor cut: every port named once, in its group
    std::string shows; // a line the frame has, when given
};

const FrameRow FRAME_ROWS[] = {
    {"TenByEightyFourteenUnits", 10, 80, 14, "iffFwru", Form::Compact, true, "FPGA 12-40%: COM2-4,9-11"},
    {"TwentyFourByEightyThirtyTwoUnits", 24, 80, 32, EVERY_STATE, Form::Compact, true,
     "FPGA 0-40%: COM2-4,14-16,26-28"},
    {"ThirtyByOneTwentyEightUnits", 30, 120, 8, "pfqwrcxn", Form::PerUnit, false, ""},
    {"ThreeUnitsFillFourRows", 4, 80, 3, "iuW", Form::PerUnit, false, ""},
    {"FourUnitsOnFourRowsFold", 4, 80, 4, "iuWx", Form::Compact, false, "... and 3 more stages"},
    {"FoldedOnSixRows", 6, 80, 32, EVERY_STATE, Form::Compact, false, "... and 6 more stages"},
    {"TwentyColumns", 24, 20, 32, EVERY_STATE, Form::Compact, false, "32 units: 24 work..."},
    {"TwentyColumnsPerUnit", 10, 20, 3, "fwr", Form::PerUnit, false, "COM1   TX (1st ge..."},
    {"FiveColumns", 24, 5, 40, EVERY_STATE, Form::Compact, false, "40..."},
    {"ThreeColumns", 24, 3, 2, "iu", Form::PerUnit, false, "COM"},
    {"SizeUnknown", 0, 0, 30, EVERY_STATE, Form::Compact, true, ""},
    {"NegativeSize", -1, -5, 5, "iuWxn", Form::PerUnit, false, ""},
    {"TwoRowsCountsAlone", 2, 80, 5, EVERY_STATE, Form::Compact, false,
     "5 units: 5 working, 0 updated, 0 with a warning, 0 failed, 0 interrupted"},
    {"OneRowNothing", 1, 80, 5, EVERY_STATE, Form::Compact, false, ""},
};

void PrintTo(const FrameRow &row, std::ostream *out)
{
    *out << row.name;
}

std::string labelOf(int port)
{
    const std::string com = "COM" + std::to_string(port);
    return com + std::string(7 - com.size(), ' ') + "TX (1st gen)   ";
}

// The ports a group line names: "FPGA 12-40%: COM2-4,9-11".
std::vector<int> portsNamed(const std::string &line)
{
    std::vector<int> ports;
    const size_t at = line.find(": COM");
    std::stringstream ranges(at == std::string::npos ? "" : line.substr(at + 5));
    std::string range;
    while (std::getline(ranges, range, ',')) {
        const size_t dash = range.find('-');
        const int last = std::stoi(dash == std::string::npos ? range : range.substr(dash + 1));
        for (int port = std::stoi(range); port <= last; port++) {
            ports.push_back(port);
        }
    }
    return ports;
}

class Frame : public ::testing::TestWithParam<FrameRow> {};

TEST_P(Frame, FitsTheConsoleAndShowsEveryUnit)
{
    const FrameRow &row = GetParam();
    std::vector<std::string> labels;
    std::vector<UnitState> states;
    int verdicts[4] = {0, 0, 0, 0};
    for (int port = 1; port <= row.units; port++) {
        labels.push_back(labelOf(port));
        states.push_back(stateOf(row.pattern[(size_t)(port - 1) % row.pattern.size()]).state);
        verdicts[(int)states.back().verdict] += states.back().phase == UnitPhase::Ended;
    }
    const std::vector<std::string> frame = liveFrame(labels, states, row.rows, row.columns);
    const size_t columns = row.columns > 0 ? (size_t)row.columns : 80;
    EXPECT_LE((int)frame.size(), (row.rows > 0 ? row.rows : 24) - 1);
    for (const std::string &line : frame) {
        EXPECT_LE(line.size(), columns) << line;
    }
    if (!row.shows.empty()) {
        EXPECT_NE(std::find(frame.begin(), frame.end(), row.shows), frame.end())
            << ::testing::PrintToString(frame);
    }
    if (row.form == Form::PerUnit) {
        ASSERT_EQ(frame.size(), labels.size());
        for (size_t i = 0; i < labels.size(); i++) {
            const auto &known = stateOf(row.pattern[i % row.pattern.size()]);
            const std::string whole = labels[i] + (known.text.empty() ? known.state.outcome : known.text);
            const size_t mark = whole.size() > columns && columns > 3 ? 3 : 0;
            EXPECT_EQ(frame[i], whole.size() <= columns
                                    ? whole
                                    : whole.substr(0, columns - mark) + std::string(mark, '.'));
        }
    }
    if (row.everyPort) {
        char counts[128];
        snprintf(counts, sizeof counts,
                 "%d units: %d working, %d updated, %d with a warning, %d failed, %d interrupted", row.units,
                 row.units - verdicts[0] - verdicts[1] - verdicts[2] - verdicts[3], verdicts[0], verdicts[1],
                 verdicts[2], verdicts[3]);
        ASSERT_FALSE(frame.empty());
        EXPECT_EQ(frame[0], counts);
        std::map<int, int> named;
        for (size_t i = 1; i < frame.size(); i++) {
            const std::string group = frame[i].substr(0, frame[i].find_first_of(" :"));
            for (const int port : portsNamed(frame[i])) {
                named[port]++;
                EXPECT_EQ(group, stateOf(row.pattern[(size_t)(port - 1) % row.pattern.size()]).group)
                    << "COM" << port << " in " << frame[i];
            }
        }
        for (int port = 1; port <= row.units; port++) {
            EXPECT_EQ(named[port], 1) << "COM" << port;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Frame, ::testing::ValuesIn(FRAME_ROWS),
                         [](const ::testing::TestParamInfo<FrameRow> &info) { return info.param.name; });

// A terminal's size for the site program's standard output.
struct Window {
    int rows, columns;
};

void PrintTo(const Window &window, std::ostream *out)
{
    *out << window.rows << " x " << window.columns;
}

class TerminalView : public ::testing::TestWithParam<Window> {};

// Fourteen units updated at once on a terminal of ten rows: the compact form, redrawn in place.
// The listing and the view's first frame scroll the terminal; from then on to the summary nothing
// may reach its scrollback, nor fill a row to its last column. However often the program redraws,
// it draws at least the first frame (every unit identifying) and the last (every unit updated).
TEST_P(TerminalView, RedrawsInPlaceWithoutScrolling)
{
    const Window window = GetParam();
    const int UNITS = 14;
    e2e::NativeToolRunner runner(false);
    std::vector<std::unique_ptr<testsupport::SimUnit>> sims;
    for (int com = 1; com <= UNITS; com++) {
        sims.push_back(
            std::make_unique<testsupport::SimUnit>(e2e::rebootOptions(e2e::Reboot::Prompt, false)));
        ASSERT_TRUE(sims.back()->start()) << sims.back()->error();
        runner.namePort(com, sims.back()->slavePath());
    }
    testsupport::TempDir work;
    testsupport::RunOptions run = runner.runOptions(e2e::Program::Site, "", 120000, work.path(),
                                                    {"--yes", "--record", work.file("updates.jsonl")});
    run.outRows = window.rows;
    run.outColumns = window.columns;
    const testsupport::RunResult result = testsupport::runProgram(run);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_NE(result.out.find("\r\n14 units: 14 updated, 0 already on 1.0.8, 0 with a warning, 0 failed, 0 "
                              "interrupted, 0 skipped\r"),
              std::string::npos)
        << result.out;

    std::smatch redraw;
    ASSERT_TRUE(std::regex_search(result.out, redraw, std::regex("\x1b\\[[0-9]+A"))) << result.out;
    const size_t firstFrameEnd = (size_t)redraw.position(0);
    const size_t summary = result.out.find("\r\nSummary");
    ASSERT_NE(summary, std::string::npos);
    ASSERT_LT(firstFrameEnd, summary);
    testsupport::Terminal terminal(window.rows, window.columns);
    terminal.feed(result.out.substr(0, firstFrameEnd));
    const int scrolled = terminal.scrolled(), wrapped = terminal.wrapped();
    EXPECT_GT(scrolled, 0) << "the listing and the first frame fit the terminal: nothing was measured";
    terminal.feed(result.out.substr(firstFrameEnd, summary - firstFrameEnd));
    EXPECT_EQ(terminal.scrolled(), scrolled);
    EXPECT_EQ(terminal.wrapped(), wrapped);
    const std::vector<std::string> &screen = terminal.screen();
    EXPECT_NE(std::find_if(screen.begin(), screen.end(),
                           [](const std::string &line) { return line.rfind("updated: COM1-14 ", 0) == 0; }),
              screen.end())
        << ::testing::PrintToString(screen);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TerminalView, ::testing::Values(Window{10, 80}, Window{10, 20}),
                         [](const ::testing::TestParamInfo<Window> &info) {
                             return std::to_string(info.param.rows) + "By" +
                                    std::to_string(info.param.columns);
                         });

} // namespace
