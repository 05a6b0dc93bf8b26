#pragma once
// The language lookup every visible text passes through. The language is
// chosen once at start-up from the locale; a text without a translation is
// shown as written, so the program works with no language files at all.

#include <cstdint>
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
std::string TranslateText(std::string_view key);

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
