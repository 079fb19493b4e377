#include "SitePorts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "LumivaneFwSite.h"

namespace {

const char NETWORK_PREFIX[] = "rfc2217://";

// Digits only, within [1, highest]; 0 otherwise.
int numberIn(const std::string &digits, int highest)
{
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const int number = atoi(digits.c_str());
    return number >= 1 && number <= highest ? number : 0;
}

// HOST:PORT after the prefix: a host name or IPv4 address, or an IPv6 address in brackets; the TCP
// port a number from 1 to 65535.
bool isNetworkAddress(const std::string &address)
{
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || numberIn(address.substr(colon + 1), 65535) == 0) {
        return false;
    }
    const std::string host = address.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        return host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1;
    }
    return !host.empty() && host.size() <= 253 && host.front() != '-' && host.front() != '.' &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
               std::string::npos;
}

} // namespace

int comNumber(const std::string &port)
{
    return port.compare(0, 3, "COM") == 0 ? numberIn(port.substr(3), SITE_HIGHEST_PORT) : 0;
}

std::vector<std::string> machinePorts(void)
{
    std::vector<int> numbers = namedPortNumbers();
    for (int port = SITE_FIRST_PORT; port <= SITE_LAST_PORT; port++) {
        numbers.push_back(port);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> ports;
    for (int number : numbers) {
        if (number >= 1 && number <= SITE_HIGHEST_PORT) {
            ports.push_back("COM" + std::to_string(number));
        }
    }
    return ports;
}

bool parsePortList(const std::string &list, std::vector<std::string> *ports, std::string *error)
{
    ports->clear();
    size_t at = 0;
    do {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, comma - at);
        at = comma + 1;
        std::vector<std::string> named;
        const size_t dash = item.find('-');
        if (item.compare(0, sizeof NETWORK_PREFIX - 1, NETWORK_PREFIX) == 0) {
            if (isNetworkAddress(item.substr(sizeof NETWORK_PREFIX - 1))) {
                named.push_back(item);
            }
        } else if (dash == std::string::npos) {
            if (comNumber(item) > 0) {
                named.push_back(item.substr(0, 3) + std::to_string(comNumber(item)));
            }
        } else {
            const int first = comNumber(item.substr(0, dash)), last = comNumber(item.substr(dash + 1));
            for (int number = first; first > 0 && last >= first && number <= last; number++) {
                named.push_back("COM" + std::to_string(number));
            }
        }
        if (named.empty()) {
            *error = item;
            return false;
        }
        for (const std::string &port : named) {
            if (std::find(ports->begin(), ports->end(), port) == ports->end()) {
                ports->push_back(port);
            }
        }
    } while (at <= list.size());
    return true;
}

std::string portFileName(const std::string &port)
{
    std::string name = port.compare(0, sizeof NETWORK_PREFIX - 1, NETWORK_PREFIX) == 0
                           ? "rfc2217_" + port.substr(sizeof NETWORK_PREFIX - 1)
                           : port;
    // Windows takes none of \ / : * ? " < > | in a name.
    for (char &c : name) {
        if (!isalnum((unsigned char)c) && c != '.' && c != '-' && c != '_') {
            c = '_';
        }
    }
    return name;
}
