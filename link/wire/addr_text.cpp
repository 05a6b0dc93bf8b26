#include "link/wire/addr_text.h"

#include <cstdio>

namespace kestrix {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one "%d" the way scanf does (leading blanks, an optional sign, then
// decimal digits) starting at pos. The value wraps modulo 2^32 instead of
// overflowing, so only its low bits are meaningful, which is all any caller
// keeps. Returns false, leaving pos where it was, when no digit follows.
bool ScanDecimal(std::string_view text, size_t& pos, uint32_t& value) {
    size_t p = pos;
    while (p < text.size() && IsSpace(text[p])) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    size_t digits = 0;
    uint32_t v = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        v = v * 10u + static_cast<uint32_t>(text[p] - '0');
        ++p;
        ++digits;
    }
    if (digits == 0) return false;
    value = negative ? 0u - v : v;
    pos = p;
    return true;
}

// Reads one "%02x": leading blanks, then a field of at most two characters
// made of an optional sign and hexadecimal digits.
bool ScanHexByte(std::string_view text, size_t& pos, uint8_t& value) {
    size_t p = pos;
    while (p < text.size() && IsSpace(text[p])) ++p;
    size_t width = 2;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
        --width;
    }
    size_t digits = 0;
    unsigned v = 0;
    while (digits < width && p < text.size() && HexValue(text[p]) >= 0) {
        v = v * 16u + static_cast<unsigned>(HexValue(text[p]));
        ++p;
        ++digits;
    }
    if (digits == 0) return false;
    value = static_cast<uint8_t>(negative ? 0u - v : v);
    pos = p;
    return true;
}

// Scans `count` numbers separated by `sep`, stopping at the first number or
// separator that does not match, exactly as the scanf pattern would.
template <size_t N, class ScanOne>
std::array<uint8_t, N> ScanSeparated(std::string_view text, char sep, ScanOne scanOne) {
    std::array<uint8_t, N> out{};
    size_t pos = 0;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != sep) break;
            ++pos;
        }
        if (!scanOne(text, pos, out[i])) break;
    }
    return out;
}

}  // namespace

Ipv4Bytes IpTextToBytes(std::string_view text) {
    return ScanSeparated<4>(text, '.', [](std::string_view t, size_t& pos, uint8_t& out) {
        uint32_t v = 0;
        if (!ScanDecimal(t, pos, v)) return false;
        out = static_cast<uint8_t>(v);
        return true;
    });
}

std::string IpBytesToText(const uint8_t* bytes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return buf;
}

MacBytes MacTextToBytes(std::string_view text) {
    return ScanSeparated<6>(text, ':', ScanHexByte);
}

std::string MacBytesToText(const uint8_t* bytes) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2],
                  bytes[3], bytes[4], bytes[5]);
    return buf;
}

uint32_t IpTextToNumber(std::string_view text) {
    if (text.size() > 15) text = text.substr(0, 15);
    uint32_t result = 0;
    int index = 0;
    size_t start = 0;
    while (start <= text.size() && index < 4) {
        size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) dot = text.size();
        std::string_view piece = text.substr(start, dot - start);
        if (!piece.empty()) {
            // Like atoi: a piece that does not start with a number counts 0.
            size_t pos = 0;
            uint32_t v = 0;
            if (!ScanDecimal(piece, pos, v)) v = 0;
            result += v << (24 - 8 * index);
            ++index;
        }
        start = dot + 1;
    }
    return result;
}

bool IsZeroMac(const uint8_t* bytes) {
    for (int i = 0; i < 6; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace kestrix
