// Fixture of the device-link suites: a private ports directory, the shared serial
// buffer, and no port left open behind a test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"
#include "PtyPeer.h"
#include "SimUnit.h"

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : buffer_(DATA_BUFFER_SIZE, '\0')
    {
        gDataBuffer = buffer_.data();
        // The tool's serial layer finds its ports through this, in this very process.
        setenv("XDG_CONFIG_HOME", ports.configHome().c_str(), 1);
    }
    ~LinkTest() override
    {
        ComPortAPI_CloseCOM();
        gDataBuffer = nullptr;
    }

    testsupport::PortsDir ports;

private:
    std::vector<char> buffer_;
};
