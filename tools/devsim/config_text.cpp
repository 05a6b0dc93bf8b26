#include "tools/devsim/config_text.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace kestrix::devsim {

bool SplitWords(std::string_view line, std::vector<std::string>& words, std::string& err) {
    words.clear();
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                word.push_back(line[++i]);
            } else if (c == '"') {
                quoted = false;
            } else {
                word.push_back(c);
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '"') {
            quoted = true;
        } else {
            word.push_back(c);
        }
    }
    if (quoted) {
        err = "unterminated quote";
        return false;
    }
    if (inWord) words.push_back(word);
    return true;
}

namespace {

std::optional<double> ParseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int64_t> ParseDurationMs(std::string_view text) {
    double scale = 1000.0;
    if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
        scale = 1.0;
        text.remove_suffix(2);
    } else if (!text.empty() && text.back() == 's') {
        text.remove_suffix(1);
    } else if (!text.empty() && text.back() == 'm') {
        scale = 60000.0;
        text.remove_suffix(1);
    }
    auto value = ParseDecimal(text);
    if (!value || *value < 0 || *value * scale > 1e12) return std::nullopt;
    return static_cast<int64_t>(std::llround(*value * scale));
}

std::optional<double> ParseProbability(std::string_view text) {
    double scale = 1.0;
    if (!text.empty() && text.back() == '%') {
        scale = 0.01;
        text.remove_suffix(1);
    }
    auto value = ParseDecimal(text);
    if (!value) return std::nullopt;
    double p = *value * scale;
    if (p < 0.0 || p > 1.0) return std::nullopt;
    return p;
}

std::optional<long long> ParseInteger(std::string_view text, long long lo, long long hi) {
    if (text.empty()) return std::nullopt;
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi) {
        return std::nullopt;
    }
    return value;
}

std::optional<Ipv4Bytes> ParseIpStrict(std::string_view text) {
    Ipv4Bytes ip{};
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        size_t dot = part < 3 ? text.find('.', start) : text.size();
        if (dot == std::string_view::npos) return std::nullopt;
        std::string_view piece = text.substr(start, dot - start);
        if (piece.empty() || piece.size() > 3) return std::nullopt;
        auto n = ParseInteger(piece, 0, 255);
        if (!n) return std::nullopt;
        ip[static_cast<size_t>(part)] = static_cast<uint8_t>(*n);
        start = dot + 1;
    }
    return ip;
}

std::optional<MacBytes> ParseMacStrict(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    MacBytes mac{};
    for (size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':') return std::nullopt;
        unsigned value = 0;
        auto [end, ec] = std::from_chars(text.data() + i * 3, text.data() + i * 3 + 2, value, 16);
        if (ec != std::errc() || end != text.data() + i * 3 + 2) return std::nullopt;
        mac[i] = static_cast<uint8_t>(value);
    }
    return mac;
}

uint32_t IpToU32(const Ipv4Bytes& ip) {
    return (static_cast<uint32_t>(ip[0]) << 24) | (static_cast<uint32_t>(ip[1]) << 16) |
           (static_cast<uint32_t>(ip[2]) << 8) | ip[3];
}

Ipv4Bytes U32ToIp(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

}  // namespace kestrix::devsim
