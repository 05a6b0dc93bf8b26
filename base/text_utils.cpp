#include "base/text_utils.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

namespace kestrix {

namespace {

// Length of the UTF-8 sequence a lead byte announces (1 for anything that is
// not a valid lead byte, so broken bytes are stepped over one at a time).
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

// Number of bytes of the character starting at `pos`: the announced length
// when every continuation byte is there, else 1.
size_t CharLengthAt(std::string_view text, size_t pos) {
    size_t len = SequenceLength(static_cast<unsigned char>(text[pos]));
    if (pos + len > text.size()) return 1;
    for (size_t i = 1; i < len; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
    }
    return len;
}

}  // namespace

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimWhiteSpace(std::string_view s) {
    while (!s.empty() && IsCSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCSpace(s.back())) s.remove_suffix(1);
    return s;
}

int32_t ReadDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;  // further digits cannot bring it back
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

std::string_view CutUtf8Bytes(std::string_view text, size_t maxBytes) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t len = CharLengthAt(text, pos);
        if (pos + len > maxBytes) break;
        pos += len;
    }
    return text.substr(0, pos);
}

std::string_view CutUtf16Units(std::string_view text, size_t maxUnits) {
    size_t pos = 0;
    size_t units = 0;
    while (pos < text.size()) {
        size_t len = CharLengthAt(text, pos);
        size_t weight = len == 4 ? 2 : 1;
        if (units + weight > maxUnits) break;
        units += weight;
        pos += len;
    }
    return text.substr(0, pos);
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    std::string current;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ',') {
            items.push_back(current);
            current.clear();
            ++i;
        } else if (c == '\'' || c == '"') {
            size_t close = i + 1;
            while (close < text.size() && !(text[close] == c && text[close - 1] != '\\')) ++close;
            if (close >= text.size()) {
                current.append(text.substr(i + 1));
                items.push_back(current);
                return items;
            }
            current.append(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            current += c;
            ++i;
        }
    }
    if (!current.empty()) items.push_back(current);
    return items;
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(n));
    }
    va_end(again);
    // 1022 bytes, and never half a UTF-8 character at the cut.
    return std::string(CutUtf8Bytes(text, 1022));
}

}  // namespace kestrix
