// The kinds of exchange the unit's console knows; options and the report name them.
#pragma once
#include <cstddef>
#include <string>

enum class CommandKind { Probe, Version, Identity, FpgaUpload, FwUpload, FpgaImage, FwImage, Unknown };
constexpr size_t COMMAND_KIND_COUNT = 8;

const char *commandKindName(CommandKind kind);
bool commandKindFromName(const std::string &name, CommandKind &kind);

// What the console makes of one command text (the bytes between "%%" and LF CR).
CommandKind classifyCommand(const std::string &text);
