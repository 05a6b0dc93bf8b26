#pragma once
// The language lookup every visible text passes through. The language is
// chosen once at start-up from the locale; a text without a translation is
// shown as written, so the program works with no language files at all.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrix {

// Picks the language from the POSIX locale (LC_ALL, LC_MESSAGES, LANG)
// mapped to a Windows locale id, the map "Languages/Language.ini" (section
// LCID) and falls back to English and 1033. programDir ends in '/'.
// Always returns true.
bool InitLanguage(const std::string& programDir);
// Same, with the locale id given (tests, and callers that know it).
bool InitLanguageWithLocale(const std::string& programDir, uint32_t localeId);

// Looks `key` up (lower-cased) in section ProgramOutStr of the current
// language file; falls back to the key itself; then applies the value syntax:
// "\r\n" -> CR LF, "\n" -> LF, "[~NullInfoOrlen~]" -> "", "[~Null~]" -> " ".
// A value is read up to 1023 characters. An empty key gives "". Safe to call
// from any thread, also before InitLanguage (every text then stays English).
std::string TranslateText(std::string_view key);

// Fills the numbers into a looked-up pattern such as "Power value range:%d-%d":
// each "%d" (also "%i", "%u") takes the next number in order, "%%" gives
// "%", and anything else, a stray '%' included, stays as written. Never
// hands the pattern to printf: translations come from files the operator
// can edit, and a stray "%s" in one must not crash the program.
std::string FormatNumbers(std::string_view pattern, std::initializer_list<long long> numbers);

// The kept locale id (1033 when the map had no entry), read by the
// appearance code to pick locale-specific images.
uint32_t CurrentLocaleId();
std::string CurrentLanguageName();
std::string CurrentLanguageFile();

// Windows locale id for a POSIX locale name such as "zh_CN.UTF-8" (1033 for
// names the table does not know, C and POSIX included).
uint32_t LocaleIdFromPosixName(std::string_view name);
// The locale id of this process's environment (LC_ALL, LC_MESSAGES, LANG).
uint32_t SystemLocaleId();

}  // namespace kestrix
