#include "Json.h"

#include <cstdlib>

namespace testsupport {

class JsonParser {
public:
    explicit JsonParser(const std::string &text) : text_(text) {}

    bool parseDocument(Json &value)
    {
        if (!parseValue(value, 0)) return false;
        skipSpace();
        return pos_ == text_.size() || fail("text after the value");
    }
    std::string error;

private:
    bool fail(const char *what)
    {
        if (error.empty()) error = std::string(what) + " at offset " + std::to_string(pos_);
        return false;
    }
    void skipSpace()
    {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t'))
            ++pos_;
    }
    bool literal(const char *word)
    {
        const std::string w(word);
        if (text_.compare(pos_, w.size(), w) != 0) return fail("unknown literal");
        pos_ += w.size();
        return true;
    }
    bool parseValue(Json &value, int depth)
    {
        if (depth > 64) return fail("nesting too deep");
        skipSpace();
        if (pos_ >= text_.size()) return fail("end of text");
        const char c = text_[pos_];
        if (c == '{') return parseObject(value, depth);
        if (c == '[') return parseArray(value, depth);
        if (c == '"') {
            value.type_ = Json::Type::String;
            return parseString(value.text_);
        }
        if (c == 't' || c == 'f') {
            value.type_ = Json::Type::Bool;
            value.text_ = c == 't' ? "true" : "false";
            return literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') return literal("null");
        const size_t start = pos_;
        while (pos_ < text_.size() && std::string("+-0123456789.eE").find(text_[pos_]) != std::string::npos) ++pos_;
        if (pos_ == start) return fail("unexpected character");
        value.type_ = Json::Type::Number;
        value.text_ = text_.substr(start, pos_ - start);
        return true;
    }
    bool parseString(std::string &out)
    {
        ++pos_; // opening quote
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) break;
            c = text_[pos_++];
            switch (c) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (pos_ + 4 > text_.size()) return fail("short \\u escape");
                const unsigned long code = std::strtoul(text_.substr(pos_, 4).c_str(), nullptr, 16);
                if (code > 0xff) return fail("\\u escape beyond a byte");
                out += char(code);
                pos_ += 4;
                break;
            }
            default: out += c; break; // \" \\ \/
            }
        }
        return fail("unterminated string");
    }
    bool parseArray(Json &value, int depth)
    {
        value.type_ = Json::Type::Array;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
        for (;;) {
            value.items_.emplace_back();
            if (!parseValue(value.items_.back(), depth + 1)) return false;
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') { ++pos_; continue; }
            if (pos_ < text_.size() && text_[pos_] == ']') return ++pos_, true;
            return fail("expected , or ]");
        }
    }
    bool parseObject(Json &value, int depth)
    {
        value.type_ = Json::Type::Object;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
        for (;;) {
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"') return fail("expected a key");
            value.keys_.emplace_back();
            if (!parseString(value.keys_.back())) return false;
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_++] != ':') return fail("expected :");
            value.items_.emplace_back();
            if (!parseValue(value.items_.back(), depth + 1)) return false;
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') { ++pos_; continue; }
            if (pos_ < text_.size() && text_[pos_] == '}') return ++pos_, true;
            return fail("expected , or }");
        }
    }

    const std::string &text_;
    size_t pos_ = 0;
};

namespace {
const Json kNull;
}

Json Json::parse(const std::string &text, std::string *error)
{
    JsonParser parser(text);
    Json value;
    if (!parser.parseDocument(value)) {
        if (error) *error = parser.error;
        return Json();
    }
    return value;
}

bool Json::has(const std::string &key) const
{
    for (const std::string &k : keys_)
        if (k == key) return true;
    return false;
}

const Json &Json::operator[](const std::string &key) const
{
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return items_[i];
    return kNull;
}

const Json &Json::operator[](size_t index) const { return index < items_.size() ? items_[index] : kNull; }

uint64_t Json::u64() const { return type_ == Type::Number ? std::strtoull(text_.c_str(), nullptr, 10) : 0; }
int64_t Json::i64() const { return type_ == Type::Number ? std::strtoll(text_.c_str(), nullptr, 10) : 0; }
double Json::num() const { return type_ == Type::Number ? std::strtod(text_.c_str(), nullptr) : 0; }

} // namespace testsupport
