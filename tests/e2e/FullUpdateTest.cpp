// The road of one update with the real program and its real reboot wait of 138 s.
#include <gtest/gtest.h>

#include "Scenarios.h"

TEST(FullUpdate, TxFoundAt9600OnCom3WithTheRealRebootWait)
{
    e2e::NativeToolRunner runner(true);
    e2e::runScenario(runner, e2e::scenario(e2e::FULL_UPDATE_SCENARIO));
}
