// A ports folder, or a link to one, names the ports; only one that certainly does not exist lets
// the machine's serial devices in (here a list the test gives); anything else is said once and
// names no port. Each lookup runs in a child process, as `nobody` where a permission is what must
// stop it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <cstring>
#include <grp.h>

#include "PortNames.h"
#include "TempDir.h"

namespace {

const char MACHINE_DEVICE[] = "/dev/machine-serial0";

const int NAMES_ITS_ENTRY = -1;

struct FolderCase {
    const char *name;
    const char *folder; // in a folder that holds a file, a folder and links (see below)
    int error;          // 0: the folder is certainly absent and the machine's device names port 1; or the
                        // folder's com1 names it; or the error said
};

const FolderCase CASES[] = {
    {"Missing", "missing", 0},
    {"UnderAFile", "file/LumivaneFwUpgrade/ports", 0},
    {"LinkToAFolder", "to-folder", NAMES_ITS_ENTRY},
    {"DanglingLink", "dangling", ENOENT},
    {"PlainFile", "file", ENOTDIR},
    {"LinkLoop", "loop", ELOOP},
    {"NotSearchable", "unsearchable", EACCES}, // as `nobody`: root may search any folder
};

class PortsFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PortsFolder, OnlyAMissingFolderLetsTheMachinesDevicesIn)
{
    const FolderCase &c = GetParam();
    testsupport::TempDir dir;
    const std::string folder = dir.file(c.folder), said = dir.file("said"), device = dir.file("device");
    ASSERT_TRUE(testsupport::writeFile(dir.file("file"), "") &&
                mkdir(dir.file("folder").c_str(), 0755) == 0 &&
                symlink(dir.file("folder").c_str(), dir.file("to-folder").c_str()) == 0 &&
                symlink(dir.file("nowhere").c_str(), dir.file("dangling").c_str()) == 0 &&
                symlink(dir.file("loop").c_str(), dir.file("loop").c_str()) == 0 &&
                mkdir(dir.file("unsearchable").c_str(), 0) == 0 && chmod(dir.path().c_str(), 0755) == 0);
    const pid_t child = fork();
    if (child == 0) {
        // The files first: `nobody` may not create them.
        FILE *out = fopen(device.c_str(), "w");
        if (out == nullptr || !freopen(said.c_str(), "w", stdout)) {
            _exit(126);
        }
        if (c.error == EACCES && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(126);
        }
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
    const bool named = c.error <= 0;
    EXPECT_EQ(testsupport::readFile(device), c.error == 0 ? MACHINE_DEVICE : named ? folder + "/com1" : "");
    EXPECT_EQ(testsupport::readFile(said), named ? ""
                                                 : "\r\nERROR: The ports folder " + folder +
                                                       " cannot be read (" + strerror(c.error) +
                                                       "), it names no port !\r\n");
}

INSTANTIATE_TEST_SUITE_P(Folders, PortsFolder, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<FolderCase> &info) { return info.param.name; });

// The XDG rules: a configuration home that is empty or relative is ignored for the default under
// the home folder, even where the relative one would name a folder.
TEST(PortsFolderHome, EmptyOrRelativeConfigurationHomeIsIgnored)
{
    testsupport::TempDir dir;
    const std::string home = dir.path();
    for (const std::string base : {".config", "config"}) {
        std::filesystem::create_directories(dir.file(base + "/LumivaneFwUpgrade/ports"));
    }
    ASSERT_TRUE(chdir(home.c_str()) == 0 && setenv("HOME", home.c_str(), 1) == 0);
    for (const char *configHome : {"", "config"}) {
        ASSERT_EQ(setenv("XDG_CONFIG_HOME", configHome, 1), 0);
        EXPECT_EQ(deviceForPortNumber(1), home + "/.config/LumivaneFwUpgrade/ports/com1") << configHome;
    }
}

} // namespace
