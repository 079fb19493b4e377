// FileAPI: failures of the stream reported.
#include <gtest/gtest.h>

#include <string>

#include "FileAPI.h"

namespace {

const std::string NOT_OPENED = "ERROR: File does not exists or Not opened !\n";

BOOL write(const std::string &bytes)
{
    return FileAPI_writeToFileBinary((void *)bytes.data(), (uint32_t)bytes.size());
}

// /dev/full takes a buffered write and fails it at the flush; a write larger than the
// stream's buffer behind a buffered byte gets only partly through.
TEST(FileApi, StreamFailuresAreReported)
{
    char deviceFull[] = "/dev/full";
    ASSERT_EQ(FileAPI_CreateFile(deviceFull, TRUE), TRUE);
    // Captured first: capturing flushes every stream, which would fail the byte early.
    testing::internal::CaptureStdout();
    EXPECT_EQ(write("x"), TRUE);
    EXPECT_EQ(write(std::string(1 << 20, 'x')), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Writing to file failed !\n");
    FileAPI_CloseFile();

    ASSERT_EQ(FileAPI_CreateFile(deviceFull, TRUE), TRUE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(write("x"), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Closing file failed !\n" + NOT_OPENED);
}

} // namespace
