// What the listing found on each port, and what an update would do there.
#include <cstdio>

#include "LumivaneFwSite.h"

namespace {

bool isTx(UnitIdentity identity)
{
    return identity == IDENTITY_TX || identity == IDENTITY_TX2;
}

} // namespace

std::string sideOf(UnitIdentity identity)
{
    if (identity == IDENTITY_NONE) {
        return "?";
    }
    const bool second = identity == IDENTITY_TX2 || identity == IDENTITY_RX2;
    return std::string(isTx(identity) ? "TX" : "RX") + (second ? " (2nd gen)" : " (1st gen)");
}

std::string firmwareVersionText(const VersionReply &version)
{
    return std::to_string(version.fw_ver) + "." + std::to_string(version.fw_rev) + "." +
           std::to_string(version.fw_sub);
}

std::string fpgaVersionText(const VersionReply &version)
{
    return std::to_string(version.fpga_ver) + "." + std::to_string(version.fpga_rev);
}

bool runsTheRelease(const VersionReply &version)
{
    return firmwareVersionText(version) == FIRMWARE_VERSION_TO_UPLOAD;
}

Plan planOf(const PortFinding &finding, bool again)
{
    if (!finding.notProbed.empty()) {
        return Plan::NotProbed;
    }
    if (finding.held) {
        return Plan::Held;
    }
    if (!finding.answered) {
        return finding.talks ? Plan::Talks : Plan::Nothing;
    }
    if (!finding.versionRead || fpgaImageEntry(finding.version.fpga_type, TRUE) < 0) {
        return Plan::UnknownProduct;
    }
    if (finding.identity == IDENTITY_NONE) {
        return Plan::NoIdentity;
    }
    return runsTheRelease(finding.version) && !again ? Plan::OnTheRelease : Plan::Update;
}

std::string planText(Plan plan)
{
    switch (plan) {
    case Plan::Update: return "update";
    case Plan::OnTheRelease: return std::string("skip: runs ") + FIRMWARE_VERSION_TO_UPLOAD;
    case Plan::UnknownProduct: return "skip: unknown product";
    case Plan::NoIdentity: return "skip: no identity";
    case Plan::Held: return "skip: held by another program";
    case Plan::Talks: return "skip: talks without end";
    case Plan::NotProbed: return "skip: not probed";
    default: return "";
    }
}
