// unitsim's reports, read with nlohmann::json. A missing member or index reads as null, so
// that a chain such as report["images"][1]["verdict"] never throws on a short report.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace testsupport {

class Json {
public:
    Json() = default;
    explicit Json(nlohmann::json value) : value_(std::move(value)) {}

    // The document, or null when the text is not JSON (a report being written, say).
    static Json parse(const std::string &text)
    {
        nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
        return document.is_discarded() ? Json() : Json(std::move(document));
    }

    Json operator[](const std::string &key) const
    {
        return Json(value_.is_object() ? value_.value(key, nlohmann::json()) : nlohmann::json());
    }
    Json operator[](size_t index) const
    {
        return Json(value_.is_array() && index < value_.size() ? value_[index] : nlohmann::json());
    }
    size_t size() const { return value_.is_array() ? value_.size() : 0; }
    std::vector<Json> items() const
    {
        return value_.is_array() ? std::vector<Json>(value_.begin(), value_.end()) : std::vector<Json>();
    }

    // unitsim writes bytes, each as the code point of its value: back to bytes.
    std::string str() const
    {
        std::string bytes;
        const std::string utf8 = value_.is_string() ? value_.get<std::string>() : "";
        for (size_t i = 0; i < utf8.size(); i++) {
            const unsigned char c = (unsigned char)utf8[i];
            bool pair = (c & 0xE0) == 0xC0 && i + 1 < utf8.size();
            bytes += pair ? (char)(((c & 0x1F) << 6) | ((unsigned char)utf8[++i] & 0x3F)) : (char)c;
        }
        return bytes;
    }
    bool boolean() const { return value_.is_boolean() && value_.get<bool>(); }
    uint64_t u64() const { return value_.is_number_unsigned() ? value_.get<uint64_t>() : 0; }

private:
    nlohmann::json value_;
};

} // namespace testsupport
