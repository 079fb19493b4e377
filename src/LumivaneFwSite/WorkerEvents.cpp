// The events' shared words, and the worker's end of the channel.
#include "WorkerEvents.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

using nlohmann::json;

const char *const STAGE_NAMES[2] = {"fpga", "firmware"};

const Reason REASONS[] = {
    {reasons::UPDATED, Verdict::Updated, "updated"},
    {reasons::NO_PROMPT, Verdict::Warning, "no prompt after the reboot"},
    {reasons::NO_VERSION_AFTER, Verdict::Warning, "no version reported after the update"},
    {reasons::NOT_THE_RELEASE, Verdict::Warning, "not the release's version after the update"},
    {reasons::ENDED_AFTER_BOTH_IMAGES, Verdict::Warning,
     "ended after both images were taken: check the unit"},
    {reasons::PORT_ABSENT, Verdict::Failed, "port could not be opened"},
    {reasons::PORT_HELD, Verdict::Failed, "port held by another program"},
    {reasons::PORT_SETTINGS, Verdict::Failed, "port could not be configured"},
    {reasons::NO_MEMORY, Verdict::Failed, "not enough memory"},
    {reasons::NO_VERSION, Verdict::Failed, "no version reply"},
    {reasons::UNKNOWN_PRODUCT, Verdict::Failed, "unknown product"},
    {reasons::NO_IDENTITY, Verdict::Failed, "no identity"},
    {reasons::STAND_IN_IMAGES, Verdict::Failed, "stand-in images, not the simulated unit"},
    {reasons::IMAGE_NOT_VALID, Verdict::Failed, "image data not valid"},
    {reasons::NOT_READY, Verdict::Failed, "unit not ready"},
    {reasons::SEND_FAILED, Verdict::Failed, "line stopped taking bytes / send failed"},
    {reasons::IMAGE_REFUSED, Verdict::Failed, "image not accepted"},
    {reasons::ENDED_BEFORE_ANY_IMAGE, Verdict::Failed, "ended before any image, the unit is unchanged"},
    {reasons::ENDED_IN_MID_IMAGE, Verdict::Failed, "ended in mid-image: update it again"},
    {reasons::WORKER_NOT_STARTED, Verdict::Failed, "worker could not be started"},
    {reasons::INTERRUPTED_BEFORE_ANY_IMAGE, Verdict::Interrupted, "before any image: the unit is unchanged"},
    {reasons::INTERRUPTED_IN_MID_IMAGE, Verdict::Interrupted, "in mid-image: update it again"},
    {reasons::INTERRUPTED_IN_THE_REBOOT_WAIT, Verdict::Interrupted, "in the reboot wait: check the unit"},
    {reasons::INTERRUPTED_IN_THE_VERSION_CHECK, Verdict::Interrupted, "in the version check: check the unit"},
};
const size_t REASON_COUNT = sizeof REASONS / sizeof REASONS[0];

const Reason *reasonOf(const std::string &key)
{
    for (const Reason &reason : REASONS) {
        if (key == reason.key) {
            return &reason;
        }
    }
    return nullptr;
}

const char *reasonOfFailure(UpdateFailure failure)
{
    // In the order of UpdateFailure.
    static const char *const KEYS[] = {
        reasons::NO_VERSION, reasons::UNKNOWN_PRODUCT, reasons::NO_IDENTITY,
        reasons::NO_MEMORY,  reasons::STAND_IN_IMAGES, reasons::IMAGE_NOT_VALID,
        reasons::NOT_READY,  reasons::SEND_FAILED,     reasons::IMAGE_REFUSED};
    return KEYS[failure];
}

std::string bytesAsText(const char *bytes, size_t length)
{
    std::string text;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = (unsigned char)bytes[i];
        if (c < 0x80) {
            text += (char)c;
        } else {
            text += (char)(0xC0 | (c >> 6));
            text += (char)(0x80 | (c & 0x3F));
        }
    }
    return text;
}

bool textAsBytes(const std::string &text, std::string *bytes)
{
    bytes->clear();
    for (size_t i = 0; i < text.size(); i++) {
        const unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            *bytes += (char)c;
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   ((unsigned char)text[i + 1] & 0xC0) == 0x80) {
            *bytes += (char)(((c & 0x03) << 6) | ((unsigned char)text[++i] & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

json versionJson(const VersionReply &v)
{
    return {{"fw", {v.fw_ver, v.fw_rev, v.fw_sub}},
            {"model", bytesAsText(v.model, v.modelLength)},
            {"fpga", {v.fpga_ver, v.fpga_rev}},
            {"device", v.fpga_type}};
}

bool readVersionJson(const json &line, VersionReply *version)
{
    try {
        VersionReply read;
        std::string model;
        if (!textAsBytes(line.at("model").get<std::string>(), &model) || model.size() >= sizeof read.model) {
            return false;
        }
        memcpy(read.model, model.data(), model.size());
        read.modelLength = model.size();
        read.fw_ver = line.at("fw").at(0).get<int>();
        read.fw_rev = line.at("fw").at(1).get<int>();
        read.fw_sub = line.at("fw").at(2).get<int>();
        read.fpga_ver = line.at("fpga").at(0).get<int>();
        read.fpga_rev = line.at("fpga").at(1).get<int>();
        read.fpga_type = line.at("device").get<int>();
        *version = read;
        return true;
    } catch (const json::exception &) {
        return false;
    }
}

namespace {

const char *const IDENTITY_NAMES[] = {"tx", "tx2", "rx", "rx2"};

} // namespace

const char *identityName(UnitIdentity identity)
{
    return identity == IDENTITY_NONE ? "" : IDENTITY_NAMES[identity];
}

UnitIdentity identityNamed(const std::string &name)
{
    for (int i = IDENTITY_TX; i <= IDENTITY_RX2; i++) {
        if (name == IDENTITY_NAMES[i]) {
            return (UnitIdentity)i;
        }
    }
    return IDENTITY_NONE;
}

bool EventChannel::open(const char *name)
{
    char *end = nullptr;
    const long long handle = strtoll(name, &end, 10);
    if (*name < '0' || *name > '9' || *end != '\0' || handle < 0) {
        return false;
    }
    handle_ = (intptr_t)handle;
#ifdef _WIN32
    DWORD flags = 0;
    return GetHandleInformation((HANDLE)handle_, &flags) != 0;
#else
    return handle_ > STDERR_FILENO && fcntl((int)handle_, F_GETFD) >= 0;
#endif
}

void EventChannel::send(const json &event) const
{
    sendRaw(event.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
}

void EventChannel::sendRaw(const std::string &line) const
{
    // A site program that has gone leaves the channel closed: the worker goes on to its end.
    size_t done = 0;
    while (done < line.size()) {
#ifdef _WIN32
        DWORD written = 0;
        if (!WriteFile((HANDLE)handle_, line.data() + done, (DWORD)(line.size() - done), &written, NULL)) {
            return;
        }
#else
        const ssize_t written = write((int)handle_, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
#endif
        done += (size_t)written;
    }
}
