// The flat image builder as the image and web package tests run it: the flat image allocated as
// the main flow does, builds of heap working copies, and record lines.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "LumivaneFwUpgrade.h"
#include "RunProgram.h"

struct BuildResult {
    bool ok;
    std::string output; // what the builder printed
};

class FlatImageTest : public ::testing::Test {
protected:
    // The spare bytes behind the image are zero, as the main flow allocates them.
    FlatImageTest() : flat_(CONCAT_BUFFER_SIZE + 16) { gDataConcatenated = flat_.data(); }
    ~FlatImageTest() override { gDataConcatenated = nullptr; }
    // Builds from a heap working copy (text + 16 zero bytes), as the callers do.
    BuildResult build(const std::string &text);

private:
    std::vector<uint8_t> flat_;
};

// One record line with its checksum, upper-case, ended by CR LF.
std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t> &data);
