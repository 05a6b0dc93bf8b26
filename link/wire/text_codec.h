#pragma once
// Texts between the program and the devices. Inside the program every text
// is UTF-8 (the local code page on Linux is UTF-8); devices send UTF-8 when a
// text holds non-ASCII bytes and may cut a text in the middle of a character
// at the end of its fixed-size field.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

// The Chinese character class used by the send rule and by the name rules:
// U+4E00..U+9FA5 and the 33 punctuation characters listed with the rules.
bool IsChineseChar(char32_t c);

// Receive rule. All-ASCII texts are returned unchanged. Otherwise the text is
// cut before the first byte that breaks UTF-8 and before a trailing character
// whose continuation bytes are missing. When that would leave nothing, the
// whole text is used with every byte that is not part of a valid sequence
// replaced by '?', so that the program never holds broken UTF-8 and the byte
// length never grows.
std::string DeviceTextToLocal(std::string_view deviceText);

// Send rule. A text with at least one Chinese character is converted to UTF-8
// (a no-op here, the local text already is UTF-8); any other text goes out
// byte for byte.
std::string LocalTextToDevice(std::string_view localText);

// Decodes UTF-8 into code points; invalid bytes come out as U+FFFD one byte
// at a time. Used by the rules that look at characters.
std::u32string Utf8ToCodePoints(std::string_view text);
std::string CodePointsToUtf8(std::u32string_view text);

}  // namespace kestrix
