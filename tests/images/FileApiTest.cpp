// FileAPI: one file at a time, its messages, and failures of the stream reported.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FileAPI.h"

namespace {

const std::string NOT_OPENED = "ERROR: File does not exists or Not opened !\n";

class FileApi : public ::testing::Test {
protected:
    std::string path = testing::TempDir() + "/fileapi_" + std::to_string(getpid()) + ".bin";
    void TearDown() override { std::remove(path.c_str()); }
    char *name() { return &path[0]; }
    std::string content()
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    BOOL write(const std::string &bytes) { return FileAPI_writeToFileBinary((void *)bytes.data(), (uint32_t)bytes.size()); }
};

TEST_F(FileApi, CreateWriteCloseThenAppend)
{
    std::ofstream(path) << "old content";
    ASSERT_EQ(FileAPI_CreateFile(name(), TRUE), TRUE);
    EXPECT_EQ(write("first\r\n"), TRUE);
    EXPECT_EQ(write(""), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(content(), "first\r\n");
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(name(), TRUE), TRUE);
    EXPECT_EQ(write(std::string("\0second", 7)), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(content(), std::string("first\r\n\0second", 14));
}

TEST_F(FileApi, AppendCreatesAMissingFile)
{
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(name(), 2), TRUE);
    EXPECT_EQ(write("text"), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(content(), "text");
}

TEST_F(FileApi, CallsWithoutAnOpenFile)
{
    std::string missing = testing::TempDir() + "/no_such_dir/file.bin";
    const struct { const char *name; BOOL (*call)(char *); std::string output; } cases[] = {
        {"create in a missing folder", [](char *n) { return FileAPI_CreateFile(n, TRUE); },
         "ERROR: File does not exists\n"},
        {"append in a missing folder", [](char *n) { return FileAPI_OpenFile_ToWrite(n, TRUE); },
         "ERROR: File does not exists\n"},
        {"write", [](char *) { return FileAPI_writeToFileBinary((void *)"x", 1); }, NOT_OPENED},
        {"close", [](char *) { return FileAPI_CloseFile(); }, NOT_OPENED},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(c.call(&missing[0]), FALSE) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output) << c.name;
    }
}

TEST_F(FileApi, SecondCloseIsRefused)
{
    ASSERT_EQ(FileAPI_CreateFile(name(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), NOT_OPENED);
}

// /dev/full takes a buffered write and fails it at the flush; a write larger than the
// stream's buffer fails at once.
TEST_F(FileApi, StreamFailuresAreReported)
{
    char deviceFull[] = "/dev/full";
    ASSERT_EQ(FileAPI_CreateFile(deviceFull, TRUE), TRUE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(write(std::string(1 << 20, 'x')), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Writing to file failed !\n");
    FileAPI_CloseFile();

    ASSERT_EQ(FileAPI_CreateFile(deviceFull, TRUE), TRUE);
    // Captured first: capturing flushes every stream, which would fail the byte early.
    testing::internal::CaptureStdout();
    EXPECT_EQ(write("x"), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: Closing file failed !\n" + NOT_OPENED);
}

}  // namespace
