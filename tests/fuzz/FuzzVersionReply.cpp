// The unit's answer to the version query, as any bytes the line may bring (NUL bytes too), read
// as a reply that may still go on and as one that has ended. The oracle is a reading of its own:
// one pattern for the seven fields (every number takes all its digits, the model all its
// characters, as a field-by-field reading does), each number checked against the range of an
// int (more digits cannot bring one back), then a look at what follows the device code. The
// program's verdict must be the oracle's, value for value.
#include <cerrno>
#include <cctype>
#include <climits>
#include <regex>

#include "FuzzSupport.h"
#include "LumivaneFwUpgrade.h"

namespace {

VersionReplyVerdict oracle(const char *reply, size_t length, bool mayGoOn, VersionReply *version)
{
    // Matched at the reply's start only.
    static const std::regex fields(
        R"(\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d))"
        R"(\s*(\S{1,7})(?!\S)\s*([+-]?\d+)(?!\d)\.\s*([+-]?\d+)(?!\d)\s*([+-]?\d+)(?!\d))");
    std::cmatch match;
    if (!std::regex_search(reply, reply + length, match, fields, std::regex_constants::match_continuous)) {
        return VERSION_UNREADABLE;
    }
    int *numbers[] = {&version->fw_ver,   &version->fw_rev,   &version->fw_sub,
                      &version->fpga_ver, &version->fpga_rev, &version->fpga_type};
    const int groups[] = {1, 2, 3, 5, 6, 7};
    for (int i = 0; i < 6; i++) {
        errno = 0;
        long long number = strtoll(match[groups[i]].str().c_str(), nullptr, 10);
        if (errno == ERANGE || number < INT_MIN || number > INT_MAX) {
            return VERSION_UNREADABLE;
        }
        *numbers[i] = (int)number;
    }
    // The device code ends at a blank, at ">>" or at the end of a reply that has ended; anything
    // after those is not looked at. At the end (or a lone ">") of a reply that may go on, the
    // next bytes decide.
    const std::string rest(match[0].second, reply + length);
    const bool ended = (!rest.empty() && std::isspace((unsigned char)rest[0])) || rest.rfind(">>", 0) == 0 ||
                       (rest.empty() && !mayGoOn);
    if (!ended) {
        return mayGoOn && (rest.empty() || rest == ">") ? VERSION_MAY_GO_ON : VERSION_UNREADABLE;
    }
    version->modelLength = (size_t)match[4].length();
    memcpy(version->model, match[4].first, version->modelLength);
    version->model[version->modelLength] = '\0';
    return VERSION_READ;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the input's bytes: a read past its end is caught.
    char *reply = newHeapText(data, size, 0);
    for (bool mayGoOn : {true, false}) {
        VersionReply version, expected;
        const VersionReplyVerdict verdict = parseVersionReply(reply, size, mayGoOn ? TRUE : FALSE, &version);
        const VersionReplyVerdict expectedVerdict = oracle(reply, size, mayGoOn, &expected);
        FUZZ_CHECK(verdict == expectedVerdict);
        if (expectedVerdict != VERSION_READ) {
            expected = VersionReply();
        }
        FUZZ_CHECK(version.fw_ver == expected.fw_ver && version.fw_rev == expected.fw_rev &&
                   version.fw_sub == expected.fw_sub && version.fpga_ver == expected.fpga_ver &&
                   version.fpga_rev == expected.fpga_rev && version.fpga_type == expected.fpga_type);
        FUZZ_CHECK(version.modelLength == expected.modelLength &&
                   memcmp(version.model, expected.model, sizeof version.model) == 0);
    }
    free(reply);
    return 0;
}
