#include "SiteOptions.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SitePorts.h"
#include "Workers.h"

const char PROBE_WORKER[] = "--probe-worker";
const char UPDATE_WORKER[] = "--update-worker";
const char USAGE[] =
    "Usage: LumivaneFwSite [--list] [--yes] [--again] [--ports LIST] [--record PATH] [--logs DIR] "
    "[--help]\r\n"
    "Lists the units on COM1 to COM32 and every other serial port the machine names, asks once,\r\n"
    "then updates every unit that needs it at the same time and records each.\r\n"
    "  --list         the listing alone\r\n"
    "  --yes          no question: update at once\r\n"
    "  --again        update units already on the release too\r\n"
    "  --ports LIST   only these ports, in this order: COMn, COMn-COMm and rfc2217://HOST:PORT\r\n"
    "                 (a console server's port), commas between\r\n"
    "  --record PATH  the update record (default: the state folder's updates.jsonl)\r\n"
    "  --logs DIR     where each run's folder of unit logs goes (default: runs/ beside the record)\r\n"
    "  --help         this text\r\n"
    "Exit status: 0 every listed unit updated or already on the release, 1 a unit failed or was\r\n"
    "interrupted, 2 a warning (a unit skipped or held, no prompt, not the release's version),\r\n"
    "3 nothing to update, 255 a bad option.\r\n";

namespace {

bool readNumber(const char *text, int *value)
{
    char *end = nullptr;
    const long number = strtol(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || number <= 0 || number > INT_MAX) {
        return false;
    }
    *value = (int)number;
    return true;
}

bool refuse(const char *what, const char *option)
{
    printf("ERROR: %s: %s\r\n%s", what, option, USAGE);
    return false;
}

// A worker's command line: its mode, then its port (and rate), then its channel, nothing else.
bool parseWorker(int argc, char **argv, SiteOptions *options)
{
    const bool update = strcmp(argv[1], UPDATE_WORKER) == 0;
    const int channelAt = update ? 4 : 3;
    if (argc != channelAt + 2 || strcmp(argv[channelAt], CHANNEL_OPTION) != 0) {
        return refuse("A worker reports through its channel, named with --channel after its port", argv[1]);
    }
    if (argv[2][0] == '\0' || (update && !readNumber(argv[3], &options->rate))) {
        return refuse("A worker's port is a name and its rate a number", argv[1]);
    }
    options->port = argv[2];
    options->worker = update ? UPDATE_WORKER : PROBE_WORKER;
    options->channel = argv[channelAt + 1];
    return true;
}

} // namespace

bool parseSiteOptions(int argc, char **argv, SiteOptions *options)
{
    if (argc > 1 && (strcmp(argv[1], PROBE_WORKER) == 0 || strcmp(argv[1], UPDATE_WORKER) == 0)) {
        return parseWorker(argc, argv, options);
    }
    for (int i = 1; i < argc; i++) {
        const std::string option = argv[i];
        std::string *value = option == "--record"  ? &options->record
                             : option == "--logs"  ? &options->logs
                             : option == "--ports" ? &options->portList
                                                   : nullptr;
        if (option == "--list") {
            options->list = true;
        } else if (option == "--yes") {
            options->yes = true;
        } else if (option == "--again") {
            options->again = true;
        } else if (option == "--help") {
            options->help = true;
        } else if (value == nullptr) {
            return refuse("Unknown option", argv[i]);
        } else if (i + 1 >= argc || argv[i + 1][0] == '\0' || strncmp(argv[i + 1], "--", 2) == 0) {
            // "--record --yes" would take the option for the path.
            return refuse("This option needs a value, not an option", argv[i]);
        } else {
            *value = argv[++i];
        }
    }
    std::string bad;
    if (!options->portList.empty() && !parsePortList(options->portList, &options->ports, &bad)) {
        return refuse("Not a port of COM1 to COM256 or rfc2217://HOST:PORT", bad.c_str());
    }
    return true;
}
