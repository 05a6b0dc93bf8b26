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

// Receive rule. All-ASCII texts are returned unchanged. Otherwise a trailing
// character whose continuation bytes are missing (the device cut it at the end
// of its field) is dropped, and every other byte that is not part of a valid
// UTF-8 sequence becomes U+FFFD; the rest of the text is kept as it came.
std::string DeviceTextToLocal(std::string_view deviceText);

// Size of the name and SSID fields of the device blocks.
inline constexpr size_t kTextFieldSize = 32;

// The receive rule for a text that goes back into a field of `cap` bytes.
// When the three-byte replacement characters would not fit, each broken byte
// becomes '?' instead, so the text keeps every character it arrived with.
// A text that arrived within `cap` bytes therefore always fits.
std::string DeviceTextToLocalWithin(std::string_view deviceText, size_t cap);

// The length of the cut character at the end of `text` (a valid start of a
// sequence running into the end), 0 when there is none.
size_t TrailingIncompleteLength(std::string_view text);

// Send rule. A text with at least one Chinese character is converted to UTF-8
// (a no-op here, the local text already is UTF-8); any other text goes out
// byte for byte.
std::string LocalTextToDevice(std::string_view localText);

// Decodes UTF-8 into code points; invalid bytes come out as U+FFFD one byte
// at a time. Used by the rules that look at characters.
std::u32string Utf8ToCodePoints(std::string_view text);
std::string CodePointsToUtf8(std::u32string_view text);

}  // namespace kestrix
