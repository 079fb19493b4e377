#include "Report.h"

#include <cstdio>
#include <unistd.h>

void ImageRecord::take(const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        checksum -= bytes[i];
        fnv1a64 = (fnv1a64 ^ bytes[i]) * 0x100000001b3ull;
    }
    bytesReceived += count;
}

std::string jsonString(const std::string &bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7f) {
            // Bytes, not characters: every byte maps to the code point of the same value.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

namespace {

std::string field(const char *name, const std::string &jsonValue)
{
    return jsonString(name) + ":" + jsonValue;
}
std::string field(const char *name, uint64_t value)
{
    return field(name, std::to_string(value));
}
std::string flag(const char *name, bool value)
{
    return field(name, std::string(value ? "true" : "false"));
}
std::string text(const char *name, const std::string &value)
{
    return field(name, jsonString(value));
}

template <class T, class F> std::string array(const std::vector<T> &items, F toJson)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i ? ",\n  " : "\n  ") + toJson(items[i]);
    }
    return out + (items.empty() ? "]" : "\n ]");
}

std::string hex64(uint64_t value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%016llx", (unsigned long long)value);
    return buffer;
}

} // namespace

std::string Report::verdict() const
{
    for (const ImageRecord &image : images) {
        if (image.verdict != "ok") {
            return "failed";
        }
    }
    return "ok";
}

std::string Report::toJson() const
{
    std::string out = "{\n";
    out += " " + text("slave", slave) + ",\n " + text("link", link) + ",\n " + text("config", config) + ",\n";
    out += " " + field("args", array(args, jsonString)) + ",\n";
    out += " " + field("pid", uint64_t(getpid())) + ",\n " + field("start_us", startUs) + ",\n";
    out += " " + text("state", state) + ",\n " + text("verdict", verdict()) + ",\n";
    out += " " +
           field("commands", array(commands,
                                   [](const CommandRecord &c) {
                                       return "{" + field("t_us", c.timeUs) + "," + text("text", c.text) +
                                              "," + text("kind", c.kind) + "," + flag("framed", c.framed) +
                                              "," + field("rate", c.rate) + "," + flag("crtscts", c.crtscts) +
                                              "," + text("answer", c.answer) + "}";
                                   })) +
           ",\n";
    out += " " +
           field("images", array(images,
                                 [](const ImageRecord &i) {
                                     return "{" + text("stage", i.stage) + "," +
                                            field("announced_checksum", i.announcedChecksum) + "," +
                                            field("announced_length", i.announcedLength) + "," +
                                            field("bytes_received", i.bytesReceived) + "," +
                                            field("checksum", i.checksum) + "," +
                                            text("fnv1a64", hex64(i.fnv1a64)) + "," + field("rate", i.rate) +
                                            "," + flag("crtscts", i.crtscts) + "," +
                                            flag("rate_ok", i.rateOk) + "," + flag("flow_ok", i.flowOk) +
                                            "," + field("first_byte_us", i.firstByteUs) + "," +
                                            field("last_byte_us", i.lastByteUs) + "," +
                                            field("write_wait_us", uint64_t(i.writeWaitUs + 0.5)) + "," +
                                            text("verdict", i.verdict) + "}";
                                 })) +
           ",\n";
    out += " " +
           field("faults", array(faults,
                                 [](const FaultRecord &f) {
                                     return "{" + field("t_us", f.timeUs) + "," + text("fault", f.fault) +
                                            "," + text("detail", f.detail) + "}";
                                 })) +
           ",\n";
    out += " " + field("ignored_bytes", ignoredBytes) + ",\n";
    out += " " + field("reboot_us", rebootUs) + ",\n " + field("banner_us", bannerUs) + ",\n " +
           field("prompt_us", promptUs) + ",\n " + field("end_us", endUs) + "\n}\n";
    return out;
}

void replaceReportFile(const std::string &path, const std::string &json)
{
    const std::string temp = path + ".tmp";
    FILE *file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        return;
    }
    bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    written = std::fclose(file) == 0 && written;
    if (written) {
        std::rename(temp.c_str(), path.c_str());
    } else {
        std::remove(temp.c_str());
    }
}

void Report::write() const
{
    if (!path.empty()) {
        replaceReportFile(path, toJson());
    }
}

void Report::changed(uint64_t now)
{
    lastChangeUs = now;
    unwritten = true;
}

void Report::fault(uint64_t now, const std::string &name, const std::string &detail)
{
    faults.push_back(FaultRecord{now, name, detail});
    changed(now);
}
