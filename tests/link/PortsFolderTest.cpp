// Which device a port number names when the ports folder is missing, or there but cannot be
// examined (the folder itself, or an entry in it). Only a folder that certainly does not exist lets the
// machine's serial devices in (here a list the test gives); any other trouble is said once and names no port.
// Each lookup runs in a child process, as `nobody` where a permission is what must stop it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <grp.h>

#include "PortNames.h"
#include "TempDir.h"

namespace {

const char MACHINE_DEVICE[] = "/dev/machine-serial0";

struct FolderCase {
    const char *name;
    std::string (*folder)(const testsupport::TempDir &dir); // made in dir, as the case needs
    bool asNobody;
    int error; // 0: the folder is certainly absent and the machine's device names port 1
};

std::string underAFile(const testsupport::TempDir &dir)
{
    testsupport::writeFile(dir.file("file"), "");
    return dir.file("file") + "/LumivaneFwUpgrade/ports";
}

std::string inALoop(const testsupport::TempDir &dir)
{
    symlink(dir.file("loop").c_str(), dir.file("loop").c_str());
    return dir.file("loop");
}

std::string withoutSearchPermission(const testsupport::TempDir &dir)
{
    chmod(dir.path().c_str(), 0755);
    mkdir(dir.file("ports").c_str(), 0);
    return dir.file("ports");
}

const FolderCase CASES[] = {
    {"Missing", [](const testsupport::TempDir &dir) { return dir.file("missing"); }, false, 0},
    {"UnderAFile", underAFile, false, 0},
    {"LinkLoop", inALoop, false, ELOOP},
    {"NotSearchable", withoutSearchPermission, true, EACCES},
};

class PortsFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PortsFolder, OnlyAMissingFolderLetsTheMachinesDevicesIn)
{
    const FolderCase &c = GetParam();
    testsupport::TempDir dir;
    const std::string folder = c.folder(dir), said = dir.file("said"), device = dir.file("device");
    const pid_t child = fork();
    if (child == 0) {
        // The files first: `nobody` may not create them.
        FILE *out = fopen(device.c_str(), "w");
        if (out == nullptr || !freopen(said.c_str(), "w", stdout))
            _exit(126);
        if (c.asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        // Discovery looks at 32 ports: two lookups, one line.
        deviceForPortNumber(2, folder, [] {
            return std::vector<std::string>{MACHINE_DEVICE, MACHINE_DEVICE};
        });
        const std::string found =
            deviceForPortNumber(1, folder, [] { return std::vector<std::string>{MACHINE_DEVICE}; });
        _exit(fputs(found.c_str(), out) >= 0 && fclose(out) == 0 && fclose(stdout) == 0 ? 0 : 126);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the lookup did not run";
    EXPECT_EQ(testsupport::readFile(device), c.error == 0 ? MACHINE_DEVICE : "");
    EXPECT_EQ(testsupport::readFile(said), c.error == 0 ? ""
                                                        : "\r\nERROR: The ports folder " + folder +
                                                              " cannot be read (" + strerror(c.error) +
                                                              "), it names no port !\r\n");
}

INSTANTIATE_TEST_SUITE_P(Folders, PortsFolder, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<FolderCase> &info) { return info.param.name; });

} // namespace
