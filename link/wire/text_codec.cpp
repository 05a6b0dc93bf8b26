#include "link/wire/text_codec.h"

#include <algorithm>
#include <iterator>

namespace kestrix {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The punctuation that counts as Chinese besides the unified ideographs.
constexpr char32_t kChinesePunctuation[] = {
    0x00B7, 0x2014, 0x2018, 0x2019, 0x201C, 0x201D, 0x2026, 0x3001, 0x3002, 0x3008, 0x3009,
    0x300A, 0x300B, 0x300C, 0x300D, 0x300E, 0x300F, 0x3010, 0x3011, 0x3014, 0x3015, 0xFE43,
    0xFE44, 0xFE4F, 0xFF01, 0xFF08, 0xFF09, 0xFF0C, 0xFF1A, 0xFF1B, 0xFF1F, 0xFF5E, 0xFFE5,
};
static_assert(std::size(kChinesePunctuation) == 33);

// Decodes one well-formed UTF-8 sequence at text[pos] (no overlong forms, no
// surrogates, nothing above U+10FFFF). Returns its length, or 0 when the
// bytes at pos do not start a complete, valid sequence.
size_t DecodeOne(std::string_view text, size_t pos, char32_t& cp) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1Fu;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0Fu;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - pos < len) return 0;
    for (size_t i = 1; i < len; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool HasHighByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

}  // namespace

bool IsChineseChar(char32_t c) {
    if (c >= 0x4E00 && c <= 0x9FA5) return true;
    return std::find(std::begin(kChinesePunctuation), std::end(kChinesePunctuation), c) !=
           std::end(kChinesePunctuation);
}

size_t TrailingIncompleteLength(std::string_view text) {
    // A cut character is a lead byte followed by fewer continuation bytes
    // than it announces, all of them allowed at their place, up to the end.
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const size_t size = text.size();
    for (size_t back = 1; back <= 3 && back <= size; ++back) {
        const size_t lead = size - back;
        const unsigned char b0 = byte(lead);
        if ((b0 & 0xC0u) == 0x80u) continue;  // a continuation byte: look further back
        size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0) lo = 0xA0;
            if (b0 == 0xED) hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0) lo = 0x90;
            if (b0 == 0xF4) hi = 0x8F;
        } else {
            return 0;  // ASCII or a byte that starts nothing
        }
        if (back >= len) return 0;  // the sequence is complete (or broken)
        for (size_t i = lead + 1; i < size; ++i) {
            const unsigned char b = byte(i);
            const bool second = i == lead + 1;
            if (second ? (b < lo || b > hi) : (b & 0xC0u) != 0x80u) return 0;
        }
        return back;
    }
    return 0;
}

std::string DeviceTextToLocal(std::string_view deviceText) {
    if (!HasHighByte(deviceText)) return std::string(deviceText);
    deviceText.remove_suffix(TrailingIncompleteLength(deviceText));
    // Every other byte that is not part of a valid sequence becomes U+FFFD,
    // one byte at a time, so the characters around it all stay.
    return CodePointsToUtf8(Utf8ToCodePoints(deviceText));
}

std::string DeviceTextToLocalWithin(std::string_view deviceText, size_t cap) {
    std::string local = DeviceTextToLocal(deviceText);
    if (local.size() <= cap) return local;
    // U+FFFD takes three bytes where the broken byte took one. Rather than
    // lose characters off the end of the area, the broken bytes are shown as
    // '?', which never makes the text longer than it arrived.
    deviceText.remove_suffix(TrailingIncompleteLength(deviceText));
    local.clear();
    for (char32_t c : Utf8ToCodePoints(deviceText)) {
        if (c == kReplacement)
            local.push_back('?');
        else
            local += CodePointsToUtf8(std::u32string_view(&c, 1));
    }
    return local;
}

std::string LocalTextToDevice(std::string_view localText) {
    // The local code page is UTF-8, so a text with Chinese characters is
    // already in the form the devices expect, and every other text goes out
    // byte for byte anyway. The check is kept so the rule stays visible
    // should the local form ever differ.
    const std::u32string cps = Utf8ToCodePoints(localText);
    const bool hasChinese = std::any_of(cps.begin(), cps.end(), IsChineseChar);
    if (hasChinese) return CodePointsToUtf8(cps);
    return std::string(localText);
}

std::u32string Utf8ToCodePoints(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < text.size()) {
        const size_t n = DecodeOne(text, pos, cp);
        if (n == 0) {
            out.push_back(kReplacement);
            ++pos;
        } else {
            out.push_back(cp);
            pos += n;
        }
    }
    return out;
}

std::string CodePointsToUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace kestrix
