#pragma once
// A small streaming JSON writer for the state dump. Device texts are bytes
// that need not be valid UTF-8 (a name cut in the middle of a character);
// valid UTF-8 is written as it is and any other byte as \u00XX, so the
// document is always valid JSON. The exact bytes travel beside it in hex.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix::devsim {

class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view key);
    JsonWriter& String(std::string_view value);
    JsonWriter& Int(long long value);
    JsonWriter& Number(double value);
    JsonWriter& Bool(bool value);
    JsonWriter& Hex(const uint8_t* bytes, size_t n);
    // A line break between array items keeps big dumps readable with grep.
    JsonWriter& Newline();

    const std::string& str() const { return out_; }
    std::string Take() { return std::move(out_); }

private:
    void Separate();
    std::string out_;
    bool needComma_ = false;
};

void AppendJsonString(std::string& out, std::string_view text);

}  // namespace kestrix::devsim
