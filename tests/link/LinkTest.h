// Fixture of the device-link suites: a private ports directory, the shared serial
// buffer, and no port left open behind a test.
#ifndef LUMIVANE_TESTS_LINK_LINK_TEST_H
#define LUMIVANE_TESTS_LINK_LINK_TEST_H

#include <gtest/gtest.h>

#include <vector>

#include "ComPortAPI.h"
#include "LumivaneFwUpgrade.h"
#include "PtyPeer.h"

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : buffer_(DATA_BUFFER_SIZE, '\0') { gDataBuffer = buffer_.data(); }
    ~LinkTest() override
    {
        ComPortAPI_CloseCOM();
        gDataBuffer = nullptr;
    }

    PortsDirectory ports;

private:
    std::vector<char> buffer_;
};

#endif
