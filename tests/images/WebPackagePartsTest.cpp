// What the web package's writer is made of, where its end-to-end rows and the fuzz target cannot
// reach: FileAPI's stream failures, base64_encode's room beyond 32 bits.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>

#include "Encoder.h"
#include "FileAPI.h"
#include "TempDir.h"

namespace {

// Files may not grow beyond 1000 bytes: a write larger than that fails at once; bytes kept in
// the stream's buffer fail at the close.
TEST(FileApi, StreamFailuresAreReported)
{
    testsupport::TempDir dir;
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string big = dir.file("big"), buffered = dir.file("buffered"), bytes(1 << 20, 'x');
    ASSERT_EQ(FileAPI_CreateNewFile(&big[0]), TRUE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_writeToFileBinary(&bytes[0], 1 << 20), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Writing to file failed !\n");
    FileAPI_CloseFile();

    ASSERT_EQ(FileAPI_CreateNewFile(&buffered[0]), TRUE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_writeToFileBinary(&bytes[0], 1001), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: Closing file failed !\nERROR: File does not exists or Not opened !\n");
}

TEST(Base64, RoomBeyond32BitsIsTooSmall)
{
    unsigned char dst[8];
    int dlen = 1000;
    EXPECT_EQ(base64_encode(dst, &dlen, nullptr, 300000000), -1);
    EXPECT_EQ(dlen, 400000001);
}

} // namespace
