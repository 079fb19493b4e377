// What the unit saw and did, kept for the JSON report that tests read.
//
// The report file (replaced whole after every event, by a thread of its own once the unit's
// replies are on their way: the line never waits for the file; the last one is written before
// the program ends) holds one object:
//   slave, link          device path of the port; the comN link ("" without --ports-dir)
//   config, args         a one-line summary of the unit; its command line
//   pid, start_us        process id; when it started (CLOCK_MONOTONIC, microseconds, like
//                        every *_us field, so tests can compare with their own clock)
//   state                ready | receiving | rebooting | ended
//   verdict              ok when every announced image arrived whole, at 115200 with
//                        CRTSCTS, with its checksum; else failed
//   commands[]           t_us, text (the bytes between "%%" and LF CR; bytes >= 0x7f as
//                        \u00XX), kind (probe, version, identity, fpga-upload, fw-upload,
//                        unknown), framed (false: the line lacked "%%"), rate and crtscts
//                        (the line settings the tool had applied), answer (reply,
//                        garbage, silent, ignored)
//   images[]             stage (fpga | fw), announced_checksum, announced_length,
//                        bytes_received, checksum (0 minus the 32-bit sum of the bytes
//                        received), fnv1a64 (16 hex digits over the bytes received), rate and
//                        crtscts at the first byte, rate_ok and flow_ok (for every byte),
//                        first_byte_us, last_byte_us (when the first and the last bytes
//                        were taken off the line), write_wait_us (paced: the line time of
//                        the bytes taken at once because a real driver would still have held
//                        the tool's write for them; the image occupied the line for
//                        last_byte_us - first_byte_us + write_wait_us), verdict (receiving,
//                        ok, checksum-mismatch, wrong-rate, no-flow-control)
//   faults[]             t_us, fault (silent, reply, huge-reply, trailing, garbage, split,
//                        probe-ignored, stall, disconnect, stop-taking), detail
//   ignored_bytes        bytes that came while the unit rebooted, or after it stopped taking
//   reboot_us, banner_us, prompt_us, end_us   0 until they happen
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CommandRecord {
    uint64_t timeUs = 0;
    std::string text;
    std::string kind;
    bool framed = true;
    unsigned rate = 0;
    bool crtscts = false;
    std::string answer; // reply, garbage, silent, ignored
};

struct ImageRecord {
    std::string stage; // fpga or fw
    uint32_t announcedChecksum = 0;
    uint64_t announcedLength = 0;
    uint64_t bytesReceived = 0;
    uint32_t checksum = 0; // 0 minus the 32-bit sum of the bytes received
    uint64_t fnv1a64 = 0xcbf29ce484222325ull;
    unsigned rate = 0;    // at the first byte
    bool crtscts = false; // at the first byte
    bool rateOk = true;   // every byte came at 115200
    bool flowOk = true;   // every byte came with CRTSCTS set
    uint64_t firstByteUs = 0;
    uint64_t lastByteUs = 0;
    double writeWaitUs = 0;            // line time of the bytes carried ahead (see DriverQueue)
    std::string verdict = "receiving"; // ok, checksum-mismatch, wrong-rate, no-flow-control, incomplete

    void take(const uint8_t *bytes, size_t count);
};

struct FaultRecord {
    uint64_t timeUs = 0;
    std::string fault;
    std::string detail;
};

struct Report {
    std::string path; // empty: no report
    std::string slave;
    std::string link;
    std::string config;            // one line describing the unit
    std::vector<std::string> args; // its command line
    uint64_t startUs = 0;
    std::string state = "starting"; // ready, receiving, rebooting, ended
    std::vector<CommandRecord> commands;
    std::vector<ImageRecord> images;
    std::vector<FaultRecord> faults;
    uint64_t ignoredBytes = 0; // taken while rebooting or after the unit stopped taking
    uint64_t rebootUs = 0, bannerUs = 0, promptUs = 0;
    uint64_t endUs = 0;
    uint64_t lastChangeUs = 0; // when changed() was last called
    bool unwritten = false;    // changed since the program last took the report for its file

    // "ok" when every image announced arrived whole on a good line with its checksum.
    std::string verdict() const;
    std::string toJson() const;
    // Replaces the report file whole, now (at the start and at the end of the run).
    void write() const;
    // Marks an event at `now`: the program replaces the file once the replies are on their way.
    void changed(uint64_t now);
    // Records a fault at `now`.
    void fault(uint64_t now, const std::string &name, const std::string &detail);
};

std::string jsonString(const std::string &bytes);
// Replaces the file at `path` with `json` through a temporary file and a rename, so that a
// reader never sees half of it.
void replaceReportFile(const std::string &path, const std::string &json);
