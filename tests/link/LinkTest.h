// Fixture of the device-link suites: the tool's serial layer, in this process, talking to
// simulated units on ports of a private ports directory; no port is left open behind a test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"
#include "SimUnit.h"

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : buffer_(DATA_BUFFER_SIZE, '\0')
    {
        gDataBuffer = buffer_.data();
        setenv("XDG_CONFIG_HOME", ports.configHome().c_str(), 1);
    }
    ~LinkTest() override
    {
        ComPortAPI_CloseCOM();
        gDataBuffer = nullptr;
    }

    // The commands the unit has taken so far, once it holds count of them.
    static nlohmann::json commands(const testsupport::SimUnit &unit, size_t count)
    {
        nlohmann::json seen;
        testsupport::pollFor(
            [&] { return (seen = unit.report().value("commands", nlohmann::json::array())).size() >= count; },
            5000);
        return seen;
    }

    testsupport::PortsDir ports;

private:
    std::vector<char> buffer_;
};
