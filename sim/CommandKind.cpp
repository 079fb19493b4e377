#include "CommandKind.h"

namespace {
const char *const COMMAND_KIND_NAMES[COMMAND_KIND_COUNT] = {
    "probe", "version", "identity", "fpga-upload", "fw-upload", "fpga-image", "fw-image", "unknown"};

bool startsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}
} // namespace

const char *commandKindName(CommandKind kind)
{
    return COMMAND_KIND_NAMES[size_t(kind)];
}

bool commandKindFromName(const std::string &name, CommandKind &kind)
{
    for (size_t i = 0; i < COMMAND_KIND_COUNT; ++i) {
        if (name == COMMAND_KIND_NAMES[i]) {
            kind = CommandKind(i);
            return true;
        }
    }
    return false;
}

CommandKind classifyCommand(const std::string &text)
{
    if (text == "%help -c version") {
        return CommandKind::Probe;
    }
    if (text == "%fw -v") {
        return CommandKind::Version;
    }
    if (text == "%fw -p") {
        return CommandKind::Identity;
    }
    if (startsWith(text, "%fw -l ")) {
        return CommandKind::FpgaUpload;
    }
    if (startsWith(text, "%fw -h ")) {
        return CommandKind::FwUpload;
    }
    return CommandKind::Unknown;
}
