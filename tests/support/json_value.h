#pragma once
// A small JSON reader for the tests: enough for the simulator's state dump
// and for the CLI's JSON output. Missing members and out-of-range items read
// as null, so a test can write dump["devices"][3]["mac"].Str() and get ""
// rather than a crash when something is absent.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::labkit {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue MakeBool(bool b);
    static JsonValue MakeNumber(double d);
    static JsonValue MakeString(std::string s);
    static JsonValue MakeArray(std::vector<JsonValue> items);
    static JsonValue MakeObject(std::map<std::string, JsonValue, std::less<>> members);

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsObject() const { return kind_ == Kind::Object; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool Has(std::string_view key) const;

    // Member or item; a shared null when absent or of another kind.
    const JsonValue& operator[](std::string_view key) const;
    const JsonValue& operator[](size_t index) const;
    size_t size() const;  // items of an array, members of an object, else 0

    // Values; the fallback when of another kind.
    bool Bool(bool fallback = false) const;
    double Number(double fallback = 0) const;
    long long Int(long long fallback = 0) const;
    const std::string& Str() const;  // "" when not a string

    const std::vector<JsonValue>& items() const { return items_; }
    const std::map<std::string, JsonValue, std::less<>>& members() const { return members_; }

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> items_;
    std::map<std::string, JsonValue, std::less<>> members_;
};

// Parses one JSON document (RFC 8259; surrounding blanks allowed). On failure
// returns nothing and, when err is given, says where and why.
std::optional<JsonValue> ParseJson(std::string_view text, std::string* err = nullptr);

}  // namespace kestrix::labkit
