// The live view of the units being updated (interim: replaced by the view that never scrolls).
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
    int figure = 0; // percentage for Fpga and Firmware, seconds left for Rebooting
    Verdict verdict = Verdict::Failed;
    std::string outcome;
};
std::string stageText(const UnitState &state);

class LiveView {
public:
    explicit LiveView(std::vector<std::string> labels);
    void show(const std::vector<UnitState> &states, bool final);

private:
    std::vector<std::string> labels_;
    std::vector<std::string> shown_;
};
