#include "SiteView.h"

#include <chrono>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <unistd.h>
#endif

namespace {

// Refreshes in place at most this often.
const long long REFRESH_MS = 250;

// A console that moves the cursor for us: a terminal, or a Windows console that takes its
// control sequences.
bool consoleRedraws(void)
{
#ifdef _WIN32
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) && SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

long long nowMs(void)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The stage without its figure: "FPGA 42%" and "FPGA 43%" are one stage, as are
// "rebooting 97 s" and "rebooting 94 s".
std::string withoutFigure(const std::string &stage)
{
    std::string cut = stage;
    if (cut.size() > 2 && cut.compare(cut.size() - 2, 2, " s") == 0) {
        cut.resize(cut.size() - 2);
    } else if (cut.empty() || cut.back() != '%') {
        return stage;
    }
    const size_t space = cut.rfind(' ');
    return space == std::string::npos ? stage : cut.substr(0, space);
}

std::string field(const std::string &text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

} // namespace

std::string unitLabel(const PortFinding &finding)
{
    return field("COM" + std::to_string(finding.port), 7) + field(sideOf(finding.identity), 15);
}

void showListing(const std::vector<PortFinding> &findings)
{
    fputs("\r\nPort   Rate    Model    Firmware  FPGA   Device  Side           Update\r\n", stdout);
    for (const PortFinding &f : findings) {
        const std::string port = field("COM" + std::to_string(f.port), 7);
        if (f.held) {
            printf("%sheld by another program\r\n", port.c_str());
            continue;
        }
        if (!f.answered) {
            continue;
        }
        const VersionReply &v = f.version;
        char fpga[32];
        snprintf(fpga, sizeof fpga, "%d.%02d", v.fpga_ver, v.fpga_rev);
        char firmware[48];
        snprintf(firmware, sizeof firmware, "%d.%02d.%02d", v.fw_ver, v.fw_rev, v.fw_sub);
        printf("%s%s%s%s%s%s%s%s\r\n", port.c_str(), field(std::to_string(f.rate), 8).c_str(),
               field(f.versionRead ? v.model : "-", 9).c_str(),
               field(f.versionRead ? firmware : "-", 10).c_str(),
               field(f.versionRead ? fpga : "-", 7).c_str(),
               field(f.versionRead ? std::to_string(v.fpga_type) : "-", 8).c_str(),
               field(sideOf(f.identity), 15).c_str(), plannedAction(f).c_str());
    }
}

LiveView::LiveView(std::vector<std::string> units)
    : units_(std::move(units)), shown_(units_.size()), inPlace_(consoleRedraws())
{
    fputs("\r\n", stdout);
}

void LiveView::show(const std::vector<std::string> &stages, bool final)
{
    if (!inPlace_) {
        for (size_t i = 0; i < units_.size(); i++) {
            const std::string stage = withoutFigure(stages[i]);
            if (stage != shown_[i]) {
                shown_[i] = stage;
                printf("%s%s\r\n", units_[i].c_str(), stage.c_str());
            }
        }
        return;
    }
    if (stages == shown_ || (!final && nowMs() - lastDrawMs_ < REFRESH_MS)) {
        return;
    }
    std::string frame = drawn_ ? "\x1b[" + std::to_string(units_.size()) + "A" : "";
    for (size_t i = 0; i < units_.size(); i++) {
        frame += "\r\x1b[2K" + units_[i] + stages[i] + "\r\n";
    }
    fwrite(frame.data(), 1, frame.size(), stdout);
    shown_ = stages;
    drawn_ = true;
    lastDrawMs_ = nowMs();
}
