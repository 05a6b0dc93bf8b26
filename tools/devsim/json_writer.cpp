#include "tools/devsim/json_writer.h"

#include <cmath>
#include <cstdio>

namespace kestrix::devsim {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1Fu) : n == 3 ? (c & 0x0Fu) : (c & 0x07u);
    for (size_t k = 1; k < n; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = Utf8SequenceLength(text, i);
        if (n > 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        ++i;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || n == 0) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

void JsonWriter::Separate() {
    if (needComma_) out_.push_back(',');
    needComma_ = true;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    out_.push_back('{');
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    out_.push_back('}');
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    out_.push_back('[');
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    out_.push_back(']');
    needComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    Separate();
    AppendJsonString(out_, key);
    out_.push_back(':');
    needComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
    Separate();
    AppendJsonString(out_, value);
    return *this;
}

JsonWriter& JsonWriter::Int(long long value) {
    Separate();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Number(double value) {
    Separate();
    if (!std::isfinite(value)) value = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    out_ += buf;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Hex(const uint8_t* bytes, size_t n) {
    Separate();
    static const char kDigits[] = "0123456789abcdef";
    out_.push_back('"');
    for (size_t i = 0; i < n; ++i) {
        out_.push_back(kDigits[bytes[i] >> 4]);
        out_.push_back(kDigits[bytes[i] & 0xF]);
    }
    out_.push_back('"');
    return *this;
}

JsonWriter& JsonWriter::Newline() {
    out_.push_back('\n');
    return *this;
}

}  // namespace kestrix::devsim
