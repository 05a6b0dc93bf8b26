#include "tests/support/json_value.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kestrix::labkit {

namespace {

const JsonValue& Null() {
    static const JsonValue null;
    return null;
}

const std::string& EmptyString() {
    static const std::string empty;
    return empty;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    std::optional<JsonValue> Document(std::string* err) {
        auto v = Value(0);
        Blanks();
        if (v && pos_ != s_.size()) Fail("unexpected text after the document");
        if (!error_.empty()) {
            if (err != nullptr) *err = "JSON: " + error_ + " at offset " + std::to_string(pos_);
            return std::nullopt;
        }
        return v;
    }

private:
    static constexpr int kMaxDepth = 256;

    void Fail(const char* what) {
        if (error_.empty()) error_ = what;
    }
    void Blanks() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool Literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    std::optional<JsonValue> Value(int depth) {
        if (depth > kMaxDepth) {
            Fail("nested too deeply");
            return std::nullopt;
        }
        Blanks();
        if (pos_ >= s_.size()) {
            Fail("unexpected end");
            return std::nullopt;
        }
        char c = s_[pos_];
        if (c == '{') return Object(depth);
        if (c == '[') return Array(depth);
        if (c == '"') {
            auto str = String();
            if (!str) return std::nullopt;
            return JsonValue::MakeString(std::move(*str));
        }
        if (Literal("true")) return JsonValue::MakeBool(true);
        if (Literal("false")) return JsonValue::MakeBool(false);
        if (Literal("null")) return JsonValue();
        return NumberValue();
    }

    std::optional<JsonValue> NumberValue() {
        size_t start = pos_;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        size_t digits = pos_;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
        if (pos_ == digits || (s_[digits] == '0' && pos_ - digits > 1)) {
            Fail("bad number");
            return std::nullopt;
        }
        if (pos_ < s_.size() && s_[pos_] == '.') {
            size_t frac = ++pos_;
            while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            if (pos_ == frac) {
                Fail("bad number");
                return std::nullopt;
            }
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            size_t exp = pos_;
            while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            if (pos_ == exp) {
                Fail("bad number");
                return std::nullopt;
            }
        }
        std::string text(s_.substr(start, pos_ - start));
        return JsonValue::MakeNumber(std::strtod(text.c_str(), nullptr));
    }

    bool Hex4(uint32_t& out) {
        if (pos_ + 4 > s_.size()) return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            char c = s_[pos_++];
            out <<= 4;
            if (c >= '0' && c <= '9') {
                out |= static_cast<uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                out |= static_cast<uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                out |= static_cast<uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    std::optional<std::string> String() {
        ++pos_;  // opening quote
        std::string out;
        while (pos_ < s_.size()) {
            char c = s_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("control character in string");
                return std::nullopt;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) break;
            char e = s_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(e);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    uint32_t cp = 0;
                    if (!Hex4(cp)) {
                        Fail("bad \\u escape");
                        return std::nullopt;
                    }
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        uint32_t low = 0;
                        if (!Literal("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                            Fail("bad surrogate pair");
                            return std::nullopt;
                        }
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        Fail("lone surrogate");
                        return std::nullopt;
                    }
                    AppendUtf8(out, cp);
                    break;
                }
                default:
                    Fail("bad escape");
                    return std::nullopt;
            }
        }
        Fail("unterminated string");
        return std::nullopt;
    }

    std::optional<JsonValue> Array(int depth) {
        ++pos_;
        std::vector<JsonValue> items;
        Blanks();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return JsonValue::MakeArray(std::move(items));
        }
        for (;;) {
            auto v = Value(depth + 1);
            if (!v) return std::nullopt;
            items.push_back(std::move(*v));
            Blanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return JsonValue::MakeArray(std::move(items));
            }
            Fail("expected , or ]");
            return std::nullopt;
        }
    }

    std::optional<JsonValue> Object(int depth) {
        ++pos_;
        std::map<std::string, JsonValue, std::less<>> members;
        Blanks();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return JsonValue::MakeObject(std::move(members));
        }
        for (;;) {
            Blanks();
            if (pos_ >= s_.size() || s_[pos_] != '"') {
                Fail("expected a member name");
                return std::nullopt;
            }
            auto key = String();
            if (!key) return std::nullopt;
            Blanks();
            if (pos_ >= s_.size() || s_[pos_] != ':') {
                Fail("expected :");
                return std::nullopt;
            }
            ++pos_;
            auto v = Value(depth + 1);
            if (!v) return std::nullopt;
            members[std::move(*key)] = std::move(*v);
            Blanks();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return JsonValue::MakeObject(std::move(members));
            }
            Fail("expected , or }");
            return std::nullopt;
        }
    }

    std::string_view s_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

JsonValue JsonValue::MakeBool(bool b) {
    JsonValue v;
    v.kind_ = Kind::Bool;
    v.bool_ = b;
    return v;
}

JsonValue JsonValue::MakeNumber(double d) {
    JsonValue v;
    v.kind_ = Kind::Number;
    v.number_ = d;
    return v;
}

JsonValue JsonValue::MakeString(std::string s) {
    JsonValue v;
    v.kind_ = Kind::String;
    v.string_ = std::move(s);
    return v;
}

JsonValue JsonValue::MakeArray(std::vector<JsonValue> items) {
    JsonValue v;
    v.kind_ = Kind::Array;
    v.items_ = std::move(items);
    return v;
}

JsonValue JsonValue::MakeObject(std::map<std::string, JsonValue, std::less<>> members) {
    JsonValue v;
    v.kind_ = Kind::Object;
    v.members_ = std::move(members);
    return v;
}

bool JsonValue::Has(std::string_view key) const {
    return kind_ == Kind::Object && members_.find(key) != members_.end();
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
    if (kind_ != Kind::Object) return Null();
    auto it = members_.find(key);
    return it == members_.end() ? Null() : it->second;
}

const JsonValue& JsonValue::operator[](size_t index) const {
    if (kind_ != Kind::Array || index >= items_.size()) return Null();
    return items_[index];
}

size_t JsonValue::size() const {
    return kind_ == Kind::Array ? items_.size() : kind_ == Kind::Object ? members_.size() : 0;
}

bool JsonValue::Bool(bool fallback) const {
    return kind_ == Kind::Bool ? bool_ : fallback;
}

double JsonValue::Number(double fallback) const {
    return kind_ == Kind::Number ? number_ : fallback;
}

long long JsonValue::Int(long long fallback) const {
    return kind_ == Kind::Number ? static_cast<long long>(std::llround(number_)) : fallback;
}

const std::string& JsonValue::Str() const {
    return kind_ == Kind::String ? string_ : EmptyString();
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string* err) {
    return Parser(text).Document(err);
}

}  // namespace kestrix::labkit
