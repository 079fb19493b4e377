// The road of one update by LumivaneFwUpgrade.exe under Wine, with its real reboot wait.
#include <gtest/gtest.h>

#include "Scenarios.h"
#include "WineToolRunner.h"

TEST(FullUpdateUnderWine, TxFoundAt9600OnCom3WithTheRealRebootWait)
{
    winetest::WineToolRunner runner;
    e2e::runScenario(runner, e2e::scenario(e2e::FULL_UPDATE_SCENARIO));
}
