// What the listing found on each port, and what an update would do there.
#include <cstring>

#include <nlohmann/json.hpp>

#include "SiteFindings.h"

using nlohmann::json;

namespace {

const char *const IDENTITY_NAMES[] = {"tx", "tx2", "rx", "rx2"};

} // namespace

bool isTx(UnitIdentity identity)
{
    return identity == IDENTITY_TX || identity == IDENTITY_TX2;
}

std::string sideOf(UnitIdentity identity)
{
    if (identity == IDENTITY_NONE) {
        return "?";
    }
    const bool second = identity == IDENTITY_TX2 || identity == IDENTITY_RX2;
    return std::string(isTx(identity) ? "TX" : "RX") + (second ? " (2nd gen)" : " (1st gen)");
}

std::string plannedAction(const PortFinding &finding)
{
    const int code = finding.version.fpga_type;
    if (!finding.versionRead || (code != DEVICE_XC7A35_484 && code != DEVICE_XC7A100_484)) {
        return "skip: unknown product";
    }
    return finding.identity == IDENTITY_NONE ? "skip: no identity" : "update";
}

std::string findingLine(const PortFinding &finding)
{
    json line = {{"port", finding.port}, {"held", finding.held}, {"answered", finding.answered}};
    if (finding.answered) {
        line["rate"] = finding.rate;
        line["identity"] = finding.identity == IDENTITY_NONE ? "" : IDENTITY_NAMES[finding.identity];
    }
    if (finding.versionRead) {
        const VersionReply &v = finding.version;
        line["version"] = {{"fw", {v.fw_ver, v.fw_rev, v.fw_sub}},
                           {"model", v.model},
                           {"fpga", {v.fpga_ver, v.fpga_rev}},
                           {"device", v.fpga_type}};
    }
    // A model word is any bytes the unit sent: shown, never a reason to lose the line.
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool readFindingLine(const std::string &output, int port, PortFinding *finding)
{
    const size_t start = output.rfind("\n{");
    if (start == std::string::npos) {
        return false;
    }
    const json line = json::parse(output.substr(start + 1), nullptr, false);
    if (!line.is_object() || line.value("port", 0) != port) {
        return false;
    }
    try {
        PortFinding read;
        read.port = port;
        read.held = line.at("held").get<bool>();
        read.answered = line.at("answered").get<bool>();
        if (read.answered) {
            read.rate = line.at("rate").get<int>();
            const std::string identity = line.at("identity").get<std::string>();
            for (int i = IDENTITY_TX; i <= IDENTITY_RX2; i++) {
                if (identity == IDENTITY_NAMES[i]) {
                    read.identity = (UnitIdentity)i;
                }
            }
        }
        if (line.contains("version")) {
            const json &v = line.at("version");
            const std::string model = v.at("model").get<std::string>();
            read.version.fw_ver = v.at("fw").at(0).get<int>();
            read.version.fw_rev = v.at("fw").at(1).get<int>();
            read.version.fw_sub = v.at("fw").at(2).get<int>();
            snprintf(read.version.model, sizeof read.version.model, "%s", model.c_str());
            read.version.fpga_ver = v.at("fpga").at(0).get<int>();
            read.version.fpga_rev = v.at("fpga").at(1).get<int>();
            read.version.fpga_type = v.at("device").get<int>();
            read.versionRead = true;
        }
        *finding = read;
        return true;
    } catch (const json::exception &) {
        return false;
    }
}
