// The contract between the site program and its workers: each worker reports what it does as
// events, one JSON object a line, on a channel of its own (named on its command line). Its
// standard output is the unit's one-unit transcript, kept for the log and never read for meaning.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "LumivaneFwSite.h"

// The event names ("event") and what each carries besides.
namespace events {
const char PROBE[] = "probe";         // port, held, answered, talks, rate, identity, version
const char VERSION[] = "version";     // when ("before" or "after" the update), version
const char SIDE[] = "side";           // identity
const char IMAGE[] = "image";         // stage, entry, length, checksum: what the upload command announced
const char PROGRESS[] = "progress";   // stage, percent
const char STAGE_END[] = "stage-end"; // stage, outcome ("ok", "failed" or "interrupted")
const char REBOOT[] = "reboot";       // seconds left of the reboot wait
const char CHECKING[] = "checking";   // the prompt, then the version, are checked
const char OUTCOME[] = "outcome";     // verdict, reason: the worker's last word
} // namespace events

// The stages' names, in the order of ImageStage.
extern const char *const STAGE_NAMES[2];

// Why a unit's update ended as it did: the reason's key in the events and the record, its verdict
// and the summary's words.
struct Reason {
    const char *key;
    Verdict verdict;
    const char *text;
};
// Every reason a worker or the site program gives; the first is "updated".
extern const Reason REASONS[];
extern const size_t REASON_COUNT;
// The reason of this key; nullptr for a key no worker gives.
const Reason *reasonOf(const std::string &key);

// Reasons the worker gives by key.
namespace reasons {
const char UPDATED[] = "updated";
const char NO_PROMPT[] = "no-prompt";
const char NO_VERSION_AFTER[] = "no-version-after";
const char NOT_THE_RELEASE[] = "not-the-release";
const char PORT_ABSENT[] = "port-absent";
const char PORT_HELD[] = "port-held";
const char PORT_SETTINGS[] = "port-settings";
const char NO_MEMORY[] = "no-memory";
const char NO_VERSION[] = "no-version";
const char UNKNOWN_PRODUCT[] = "unknown-product";
const char NO_IDENTITY[] = "no-identity";
const char STAND_IN_IMAGES[] = "stand-in-images";
const char IMAGE_NOT_VALID[] = "image-not-valid";
const char NOT_READY[] = "not-ready";
const char SEND_FAILED[] = "send-failed";
const char IMAGE_REFUSED[] = "image-refused";
const char INTERRUPTED_BEFORE_ANY_IMAGE[] = "interrupted-before-any-image";
const char INTERRUPTED_IN_MID_IMAGE[] = "interrupted-in-mid-image";
const char INTERRUPTED_IN_THE_REBOOT_WAIT[] = "interrupted-in-the-reboot-wait";
const char INTERRUPTED_IN_THE_VERSION_CHECK[] = "interrupted-in-the-version-check";
// Given by the site program when the worker said nothing of its end.
const char ENDED_BEFORE_ANY_IMAGE[] = "ended-before-any-image";
const char ENDED_IN_MID_IMAGE[] = "ended-in-mid-image";
const char ENDED_AFTER_BOTH_IMAGES[] = "ended-after-both-images";
const char WORKER_NOT_STARTED[] = "worker-not-started";
} // namespace reasons
// The reason of an update's own failure.
const char *reasonOfFailure(UpdateFailure failure);

// A version as the events carry it; the model word's bytes as the code points U+0000 to U+00FF,
// so that any byte, a NUL among them, survives the JSON whole.
nlohmann::json versionJson(const VersionReply &version);
bool readVersionJson(const nlohmann::json &json, VersionReply *version);
std::string bytesAsText(const char *bytes, size_t length);
bool textAsBytes(const std::string &text, std::string *bytes);

const char *identityName(UnitIdentity identity); // "tx", "tx2", "rx", "rx2", or ""
UnitIdentity identityNamed(const std::string &name);

// The worker's end of the channel.
class EventChannel {
public:
    // The channel's handle as the command line names it; false when it names none.
    bool open(const char *name);
    // One event, written whole as one line.
    void send(const nlohmann::json &event) const;
    // For a signal handler: writes text as it is, with async-signal-safe calls only.
    void sendRaw(const std::string &line) const;

private:
    intptr_t handle_ = -1;
};
