// Which catalogue image a unit gets: the one choice that the update, the site program and the tests
// share.
#include "LumivaneFwUpgrade.h"

int fpgaImageEntry(int deviceCode, BOOL tx)
{
    // The engineering sample's pair first, then the production unit's; TX before RX in each.
    if (deviceCode == DEVICE_XC7A100_484) {
        return tx ? 1 : 2;
    }
    if (deviceCode == DEVICE_XC7A35_484) {
        return tx ? 3 : 4;
    }
    return -1;
}
