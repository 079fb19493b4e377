// The unit's answer to the version query, as any bytes the line may bring. The oracle is a
// reading of its own: one pattern for the seven fields (every number takes all its digits,
// the model all its characters, as a field-by-field reading does), then each number checked
// against the range of an int. The program's verdict must be the oracle's, value for value.
#include <cerrno>
#include <climits>
#include <regex>

#include "FuzzSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

bool oracle(const char *reply, VersionReply *version)
{
    // Matched at the reply's start only; what follows the seventh field does not count.
    static const std::regex fields(
        R"(\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d))"
        R"(\s*(\S{1,7})(?!\S)\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d)\s*([+-]?\d+))");
    std::cmatch match;
    if (!std::regex_search(reply, match, fields, std::regex_constants::match_continuous)) {
        return false;
    }
    int *numbers[] = {&version->fw_ver,   &version->fw_rev,   &version->fw_sub,
                      &version->fpga_ver, &version->fpga_rev, &version->fpga_type};
    const int groups[] = {1, 2, 3, 5, 6, 7};
    for (int i = 0; i < 6; i++) {
        errno = 0;
        long long number = strtoll(match[groups[i]].str().c_str(), nullptr, 10);
        if (errno == ERANGE || number < INT_MIN || number > INT_MAX) {
            return false;
        }
        *numbers[i] = (int)number;
    }
    strcpy(version->model, match[4].str().c_str());
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input up to its first NUL, terminated and nothing more: a read past the NUL is caught.
    char *reply = newHeapText(data, strnlen((const char *)data, size), 1);
    VersionReply version, expected;
    bool parsed = parseVersionReply(reply, &version) == TRUE;
    bool expectedParsed = oracle(reply, &expected);
    FUZZ_CHECK(parsed == expectedParsed);
    if (!expectedParsed) {
        expected = VersionReply();
    }
    FUZZ_CHECK(version.fw_ver == expected.fw_ver && version.fw_rev == expected.fw_rev &&
               version.fw_sub == expected.fw_sub && version.fpga_ver == expected.fpga_ver &&
               version.fpga_rev == expected.fpga_rev && version.fpga_type == expected.fpga_type);
    FUZZ_CHECK(strcmp(version.model, expected.model) == 0);
    free(reply);
    return 0;
}
