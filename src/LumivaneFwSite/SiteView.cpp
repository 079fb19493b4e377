#include "SiteView.h"

#include <cstdio>

namespace {

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
