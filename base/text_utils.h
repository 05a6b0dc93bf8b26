#pragma once
// The small text helpers every layer shares: white space as the C library
// sees it, atoi-style numbers, UTF-8-safe cuts, ASCII case folding, comma
// lists and bounded printf-style formatting. (The wire library keeps its own
// few: the simulator links nothing but it.)

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// White space as the C library's isspace sees it in the "C" locale.
bool IsCSpace(char c);
// `s` without leading and trailing white space (IsCSpace).
std::string_view TrimWhiteSpace(std::string_view s);

// Reads a decimal number like the C library's atoi, as number values of
// settings files and numeric input fields are read: leading white space, one
// optional sign, digits up to the first other character; no digits give 0.
// Values beyond the 32-bit range are held at its ends instead of overflowing.
int32_t ReadDecimal(std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character.
std::string_view CutUtf8Bytes(std::string_view text, size_t maxBytes);
// The longest prefix of `text` of at most `maxUnits` UTF-16 units (a
// character above U+FFFF counts two), never ending inside a character.
std::string_view CutUtf16Units(std::string_view text, size_t maxUnits);

// ASCII case folding.
std::string AsciiLower(std::string_view text);

// Splits at commas. A part in single or double quotes may hold commas and
// loses its quotes (a quote preceded by a backslash does not close it); an
// empty part between two commas counts, an empty last part is dropped; an
// opening quote without its closing quote takes the rest of the text and
// ends the list. Backslashes stay in the items.
std::vector<std::string> SplitList(std::string_view text);

// printf-style formatting cut to 1022 bytes (never inside a UTF-8 character).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrix
