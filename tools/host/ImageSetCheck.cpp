// Refuses an image set that the catalogue must not be generated from. The tool's own reader is
// lenient (it reads a stray character as digit 0, passes over unknown records, lays down records
// after the end record): a damaged or wrongly exported file would build into a tool that programs
// units with a wrong flat image. This reader is strict and independent of it. Every file must be
// clean Intel HEX as the tool's builder reads it, and the set must reproduce the figures of its
// release manifest.
//
// Usage: ImageSetCheck <image dir>
// Exit status 0: the set may be built; 1: refused, one line per fault on standard error,
// "<file>:<line>: <reason>" for a fault in a file's text.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ReleaseManifest.h"

namespace {

const uint32_t FLAT_IMAGE_SIZE = 4 * 1024 * 1024;
// The tool's builder reads a record through a 100-byte line buffer.
const unsigned MAX_DATA_BYTES = 43;

struct Figures {
    long long textLength = 0;
    long long lines = 0;
    long long flatLength = 0;
    unsigned long long checksum = 0;
};

struct Fault {
    long long line; // 0: the file as a whole
    std::string reason;
};

std::string hexByte(unsigned value)
{
    char text[3];
    snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string shown(char c)
{
    unsigned char u = (unsigned char)c;
    return u >= 0x20 && u < 0x7F ? std::string("'") + c + "'" : "byte 0x" + hexByte(u);
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The flat image as the tool's builder lays it down, with the line that wrote each byte.
class FlatImage {
public:
    FlatImage() : bytes(FLAT_IMAGE_SIZE, 0xFF), writtenBy(FLAT_IMAGE_SIZE, 0) {}

    // Upper addresses keep only their low byte, as the builder reads them.
    void setUpperAddress(const std::vector<unsigned> &data) { offset = (uint32_t)data[1] << 16; }

    std::string layDown(long long line, uint32_t address, const std::vector<unsigned> &data)
    {
        uint64_t start = (uint64_t)offset + address;
        if (start + data.size() > FLAT_IMAGE_SIZE) {
            return "data at flat address " + std::to_string(start) + " lies beyond the 4 MiB flat image";
        }
        for (size_t i = 0; i < data.size(); i++) {
            if (writtenBy[start + i] != 0) {
                return "data at flat address " + std::to_string(start + i) + " overlaps the record on line " +
                       std::to_string(writtenBy[start + i]);
            }
            writtenBy[start + i] = line;
            bytes[start + i] = (uint8_t)data[i];
        }
        lastRecordAddress = (long long)start;
        return "";
    }

    // The length rule of the builder: the address of the last data record in text order.
    long long length() const { return lastRecordAddress; }

    unsigned long long checksum() const
    {
        uint32_t sum = 0;
        for (long long i = 0; i < lastRecordAddress; i++) {
            sum -= bytes[(size_t)i];
        }
        return sum;
    }

private:
    std::vector<uint8_t> bytes;
    std::vector<long long> writtenBy;
    uint32_t offset = 0;
    long long lastRecordAddress = 0;
};

// One record line without its line end: "" when it is sound, else the reason.
std::string readRecord(const std::string &line, unsigned &type, uint32_t &address,
                       std::vector<unsigned> &data)
{
    if (line.empty() || line[0] != ':') {
        return line.empty() ? "empty line before the end record"
                            : "line starts with " + shown(line[0]) + ", not ':'";
    }
    for (size_t i = 1; i < line.size(); i++) {
        if (digitValue(line[i]) < 0) {
            return "character " + std::to_string(i + 1) + " is " + shown(line[i]) + ", not a hex digit";
        }
    }
    std::vector<unsigned> bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
        bytes.push_back((unsigned)(digitValue(line[i]) << 4 | digitValue(line[i + 1])));
    }
    size_t declared = line.size() >= 3 ? 11 + 2 * bytes[0] : 11;
    if (line.size() != declared) {
        return "line of " + std::to_string(line.size()) + " characters, its record declares " +
               std::to_string(declared);
    }
    unsigned sum = 0;
    for (unsigned b : bytes) {
        sum += b;
    }
    if ((sum & 0xFF) != 0) {
        return "record checksum " + hexByte(bytes.back()) + ", its bytes need " + hexByte(bytes.back() - sum);
    }
    type = bytes[3];
    address = bytes[1] << 8 | bytes[2];
    data.assign(bytes.begin() + 4, bytes.end() - 1);
    if (type == 2) {
        return "record type 02 (extended segment address): the builder does not follow it";
    }
    if (type > 5) {
        return "record type " + hexByte(type) + " is not an Intel HEX record type";
    }
    if (type == 4 && data.size() != 2) {
        return "extended linear address record with " + std::to_string(data.size()) + " data bytes, not 2";
    }
    if (data.size() > MAX_DATA_BYTES) {
        return "record of " + std::to_string(data.size()) + " data bytes: the tool reads at most " +
               std::to_string(MAX_DATA_BYTES);
    }
    return "";
}

// Reads a whole text strictly and works out its figures; stops at the first fault.
bool readText(const std::string &text, Figures &figures, Fault &fault)
{
    FlatImage flat;
    bool ended = false;
    long long lineNumber = 0;
    for (size_t at = 0; at < text.size();) {
        size_t lineFeed = text.find('\n', at);
        size_t end = lineFeed == std::string::npos ? text.size() : lineFeed;
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        at = lineFeed == std::string::npos ? text.size() : lineFeed + 1;
        lineNumber++;
        if (ended) {
            if (!line.empty()) {
                fault = {lineNumber, "text after the end record"};
                return false;
            }
            continue;
        }
        unsigned type = 0;
        uint32_t address = 0;
        std::vector<unsigned> data;
        std::string reason = readRecord(line, type, address, data);
        if (reason.empty() && type == 0) {
            reason = flat.layDown(lineNumber, address, data);
        } else if (reason.empty() && type == 4) {
            flat.setUpperAddress(data);
        }
        if (!reason.empty()) {
            fault = {lineNumber, reason};
            return false;
        }
        ended = type == 1;
    }
    if (!ended) {
        fault = {lineNumber, "no end record (:00000001FF)"};
        return false;
    }
    figures.textLength = (long long)text.size();
    for (char c : text) {
        figures.lines += c == '\n';
    }
    figures.flatLength = flat.length();
    figures.checksum = flat.checksum();
    return true;
}

std::vector<std::string> figureFaults(int index, const Figures &found)
{
    const ReleaseEntry &entry = RELEASE_ENTRIES[index];
    const std::pair<const char *, std::pair<long long, unsigned long long>> rows[] = {
        {"text length", {found.textLength, (unsigned long long)entry.textLength}},
        {"lines", {found.lines, (unsigned long long)entry.lines}},
        {"flat length", {found.flatLength, (unsigned long long)entry.flatLength}},
        {"checksum", {(long long)found.checksum, entry.checksum}},
    };
    std::vector<std::string> faults;
    for (const auto &row : rows) {
        if ((unsigned long long)row.second.first != row.second.second) {
            faults.push_back("entry " + std::to_string(index) + " " + row.first + " " +
                             std::to_string(row.second.first) + ", " RELEASE_NAME ".manifest says " +
                             std::to_string(row.second.second));
        }
    }
    return faults;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <image dir>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<std::string> faults;
    std::set<std::string> named;
    for (int index = 0; index < (int)(sizeof RELEASE_ENTRIES / sizeof RELEASE_ENTRIES[0]); index++) {
        const std::string name = RELEASE_ENTRIES[index].file;
        named.insert(name);
        std::ifstream in(dir + "/" + name, std::ios::binary);
        if (!in) {
            faults.push_back(name + ": missing (entry " + std::to_string(index) +
                             " of " RELEASE_NAME ".manifest)");
            continue;
        }
        std::ostringstream content;
        content << in.rdbuf();
        Figures figures;
        Fault fault;
        if (!readText(content.str(), figures, fault)) {
            faults.push_back(name + ":" + std::to_string(fault.line) + ": " + fault.reason);
            continue;
        }
        for (const std::string &reason : figureFaults(index, figures)) {
            faults.push_back(name + ": " + reason);
        }
    }
    std::error_code error;
    for (const auto &file : std::filesystem::directory_iterator(dir, error)) {
        std::string name = file.path().filename().string();
        if (named.count(name) == 0) {
            faults.push_back(name + ": not a file of " RELEASE_NAME ".manifest");
        }
    }
    if (error) {
        faults.push_back(dir + ": cannot be listed (" + error.message() + ")");
    }
    if (faults.empty()) {
        return 0;
    }
    fprintf(stderr, "ImageSetCheck: the image set in %s is refused; no catalogue is generated from it:\n",
            dir.c_str());
    for (const std::string &fault : faults) {
        fprintf(stderr, "  %s\n", fault.c_str());
    }
    return 1;
}
