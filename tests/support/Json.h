// A small JSON reader for the reports that test helpers write (unitsim's report).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class Json {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    // The parsed value, or a null value (with `error` set) when the text is not JSON.
    static Json parse(const std::string &text, std::string *error = nullptr);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool has(const std::string &key) const;
    // Missing members and indexes give a null value, so chains never throw.
    const Json &operator[](const std::string &key) const;
    const Json &operator[](size_t index) const;
    size_t size() const { return items_.size(); }
    const std::vector<Json> &items() const { return items_; }

    // Strings hold bytes: \u0000..\u00ff stand for the byte of that value.
    const std::string &str() const { return text_; }
    bool boolean() const { return type_ == Type::Bool && text_ == "true"; }
    uint64_t u64() const;
    int64_t i64() const;
    double num() const;

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    std::string text_; // string value, number text or "true"/"false"
    std::vector<Json> items_;
    std::vector<std::string> keys_; // objects: the key of each item
};

} // namespace testsupport
