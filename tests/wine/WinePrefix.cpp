#include "WinePrefix.h"

#include <filesystem>

namespace winetest {

const char CLOSING_KEY[] = "q";

const int LAST_PORT = 40; // the ports the prefix's registry names (wine-env.sh)

std::string windowsProgram(const std::string &name)
{
    return std::string(LUMIVANE_WINDOWS_BUILD_DIR) + "/" + name;
}

WinePrefix::WinePrefix()
{
    nameNoPort();
}

WinePrefix::~WinePrefix()
{
    nameNoPort();
}

void WinePrefix::nameNoPort()
{
    for (int com = 1; com <= LAST_PORT; com++)
        namePort(com, "");
}

void WinePrefix::namePort(int com, const std::string &devicePath)
{
    // A directory, which Wine cannot open, is an absent port; a link names the device.
    const std::filesystem::path entry =
        std::string(LUMIVANE_WINE_PREFIX) + "/ports/com" + std::to_string(com);
    std::filesystem::remove_all(entry);
    if (devicePath.empty())
        std::filesystem::create_directory(entry);
    else
        std::filesystem::create_symlink(devicePath, entry);
}

testsupport::RunResult WinePrefix::run(const std::string &program, const std::string &keys, int timeoutMs,
                                       const std::string &workDir) const
{
    testsupport::RunOptions options;
    options.argv = {LUMIVANE_WINE, program};
    options.env = {{"WINEPREFIX", LUMIVANE_WINE_PREFIX},
                   {"WINEDEBUG", "-all"},
                   {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"},
                   {"DISPLAY", ""},
                   {"WAYLAND_DISPLAY", ""}};
    // A console reads Enter as CR, from a terminal that Wine reads raw.
    options.stdinText = keys;
    for (char &key : options.stdinText)
        key = key == '\n' ? '\r' : key;
    options.stdinTerminal = options.rawTerminal = true;
    options.timeoutMs = timeoutMs;
    options.workDir = workDir;
    return testsupport::runProgram(options);
}

} // namespace winetest
