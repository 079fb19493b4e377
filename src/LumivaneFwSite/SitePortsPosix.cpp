// The ports this machine names, on POSIX systems: the platform layer's rules.
#include "PortNames.h"
#include "SitePorts.h"

std::vector<int> namedPortNumbers(void)
{
    return portNumbersNamed();
}
