// unitsim's reports, read with nlohmann::json. Missing members and indexes read as null, so
// that a chain such as report["images"][1]["verdict"] never throws on a short report.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace testsupport {

class Json {
public:
    Json() = default;

    // The document, or null when the text is not JSON (a report being written, say).
    static Json parse(const std::string &text)
    {
        auto document = std::make_shared<const nlohmann::json>(nlohmann::json::parse(text, nullptr, false));
        return document->is_discarded() ? Json() : Json(document, document.get());
    }

    bool isNull() const { return node_ == nullptr || node_->is_null(); }
    Json operator[](const std::string &key) const
    {
        return node_ != nullptr && node_->is_object() && node_->contains(key) ? Json(document_, &node_->at(key))
                                                                               : Json();
    }
    Json operator[](size_t index) const
    {
        return node_ != nullptr && node_->is_array() && index < node_->size() ? Json(document_, &node_->at(index))
                                                                               : Json();
    }
    size_t size() const { return node_ != nullptr && node_->is_array() ? node_->size() : 0; }
    std::vector<Json> items() const
    {
        std::vector<Json> items;
        for (size_t i = 0; i < size(); i++) {
            items.push_back((*this)[i]);
        }
        return items;
    }

    // unitsim writes bytes, each as the code point of its value: back to bytes.
    std::string str() const
    {
        std::string bytes;
        const std::string utf8 = node_ != nullptr && node_->is_string() ? node_->get<std::string>() : "";
        for (size_t i = 0; i < utf8.size(); i++) {
            const unsigned char c = (unsigned char)utf8[i];
            bool pair = (c & 0xE0) == 0xC0 && i + 1 < utf8.size();
            bytes += pair ? (char)(((c & 0x1F) << 6) | ((unsigned char)utf8[++i] & 0x3F)) : (char)c;
        }
        return bytes;
    }
    bool boolean() const { return node_ != nullptr && node_->is_boolean() && node_->get<bool>(); }
    uint64_t u64() const { return node_ != nullptr && node_->is_number_unsigned() ? node_->get<uint64_t>() : 0; }

private:
    Json(std::shared_ptr<const nlohmann::json> document, const nlohmann::json *node)
        : document_(std::move(document)), node_(node)
    {
    }
    std::shared_ptr<const nlohmann::json> document_; // keeps every node of the document alive
    const nlohmann::json *node_ = nullptr;
};

} // namespace testsupport
