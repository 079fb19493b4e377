// The live view of a site update: every unit's stage, redrawn in place within the console's window
// so that it never scrolls, or one plain line per stage change where the console cannot move the
// cursor (a log, a pipe).
#pragma once

#include <string>
#include <vector>

#include "LumivaneFwSite.h"

enum class UnitPhase {
    Identifying,
    PreparingFpga,
    Fpga,
    PreparingFirmware,
    Firmware,
    Rebooting,
    Checking,
    Ended
};

struct UnitState {
    UnitPhase phase = UnitPhase::Identifying;
    int figure = 0;                    // percentage for Fpga and Firmware, seconds left for Rebooting
    Verdict verdict = Verdict::Failed; // when Ended
    std::string outcome;               // when Ended: "updated, now runs 1.0.8", ...
};

// "identifying", "preparing FPGA", "FPGA 42%", "preparing firmware", "firmware 17%",
// "rebooting 97 s", "checking", or the outcome.
std::string stageText(const UnitState &state);

// The lines to show for the units (labels as unitLabel gives them, states in the same order) on a
// console of rows x columns (0 or less: unknown, taken as 24 x 80): at most rows - 1 lines, so
// that the line the cursor rests on below them is still in the window, each cut to the columns.
// One line per unit when they all fit, else a line per stage naming its ports ("FPGA 12-40%:
// COM1-8,11") under a line of counts.
std::vector<std::string> liveFrame(const std::vector<std::string> &labels,
                                   const std::vector<UnitState> &states, int rows, int columns);
// The most lines liveFrame gives for that many units on that many rows, whatever their states.
int liveFrameHeight(size_t units, int rows);

class LiveView {
public:
    explicit LiveView(std::vector<std::string> labels);
    // The state of each unit, in the order of the labels; `final` draws at once.
    void show(const std::vector<UnitState> &states, bool final);

private:
    void showPlain(const std::vector<UnitState> &states);

    std::vector<std::string> labels_;
    bool inPlace_;
    std::vector<std::string> shown_; // in place: the frame on the console; else each unit's stage
    long long lastDrawMs_ = 0;
};
