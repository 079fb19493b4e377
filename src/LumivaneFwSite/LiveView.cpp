#include "LiveView.h"

#include <cstdio>

std::string stageText(const UnitState &state)
{
    switch (state.phase) {
    case UnitPhase::Identifying: return "identifying";
    case UnitPhase::PreparingFpga: return "preparing FPGA";
    case UnitPhase::Fpga: return "FPGA " + std::to_string(state.figure) + "%";
    case UnitPhase::PreparingFirmware: return "preparing firmware";
    case UnitPhase::Firmware: return "firmware " + std::to_string(state.figure) + "%";
    case UnitPhase::Rebooting: return "rebooting " + std::to_string(state.figure) + " s";
    case UnitPhase::Checking: return "checking";
    default: return state.outcome;
    }
}

LiveView::LiveView(std::vector<std::string> labels) : labels_(std::move(labels)), shown_(labels_.size())
{
    fputs("\r\n", stdout);
}

void LiveView::show(const std::vector<UnitState> &states, bool)
{
    for (size_t i = 0; i < labels_.size(); i++) {
        UnitState plain = states[i];
        std::string stage = stageText(plain);
        if (plain.phase == UnitPhase::Fpga || plain.phase == UnitPhase::Firmware ||
            plain.phase == UnitPhase::Rebooting) {
            stage = stage.substr(0, stage.find(' '));
        }
        if (stage != shown_[i]) {
            shown_[i] = stage;
            printf("%s%s\r\n", labels_[i].c_str(), stage.c_str());
        }
    }
}
