#include "WinePrefix.h"

#include "Transcript.h"

#include <algorithm>
#include <filesystem>

namespace winetest {

const int LAST_PORT = 40; // the ports the prefix's registry names (wine-env.sh)

void WineToolRunner::nameNoPort()
{
    for (int com = 1; com <= LAST_PORT; com++) {
        namePort(com, "");
    }
}

void WineToolRunner::namePort(int com, const std::string &devicePath)
{
    // A directory, which Wine cannot open, is an absent port; a link names the device.
    const std::filesystem::path entry =
        std::string(LUMIVANE_WINE_PREFIX) + "/ports/com" + std::to_string(com);
    std::filesystem::remove_all(entry);
    if (devicePath.empty()) {
        std::filesystem::create_directory(entry);
    } else {
        std::filesystem::create_symlink(devicePath, entry);
    }
}

testsupport::RunOptions WineToolRunner::consoleOptions(const std::string &program, const std::string &keys,
                                                       int timeoutMs, const std::string &workDir,
                                                       const std::string &closingKey,
                                                       const std::vector<std::string> &args) const
{
    testsupport::RunOptions options;
    options.argv = {LUMIVANE_WINE_ENV, "run", LUMIVANE_WINE_PREFIX,
                    std::string(LUMIVANE_WINDOWS_BUILD_DIR) + "/" + program};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    // A console reads Enter as CR, from a terminal that Wine reads raw.
    options.stdinText = keys;
    std::replace(options.stdinText.begin(), options.stdinText.end(), '\n', '\r');
    options.stdinTerminal = options.rawTerminal = true;
    options.timeoutMs = timeoutMs;
    options.workDir = workDir;
    if (!closingKey.empty()) {
        options.keysWhen = closingKey;
        options.signalWhen = [](const std::string &out, int) {
            return out.rfind(transcript::PRESS_ANY_KEY) + transcript::PRESS_ANY_KEY.size() == out.size();
        };
    }
    return options;
}

} // namespace winetest
