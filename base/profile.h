#pragma once
// Profile (INI) files read by section and key, with the semantics the
// program's settings and language files were written for:
//
//  - sections and keys match without regard to ASCII letter case;
//  - a line "[name]" opens a section; the name is the text up to the last ']'
//    (the rest of the line when there is none), blanks around it removed;
//  - a key line splits at its FIRST '=': keys may hold spaces, ':', ',', '%'
//    and '!' (language keys are whole English sentences), values may hold
//    further '=' signs; blanks (spaces, tabs) around key and value are removed;
//    a value enclosed in a matching pair of single or double quotes loses them;
//  - lines whose first non-blank character is ';' or '#' are comments; lines
//    without '=' and key lines before the first section are ignored;
//  - lines end in LF or CR LF; the file is UTF-8 with or without a byte-order
//    mark (a UTF-16 file with its byte-order mark is read too);
//  - only the FIRST section of a name is consulted, and in it the first line
//    of a key: a repeated section or key is dead text, as in the files the
//    program has always read;
//  - a missing file, section or key gives the caller's default; a key that is
//    present with an empty value gives the empty text, not the default.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text_utils.h"

namespace kestrix {

// Files larger than this are not read (treated as missing): a settings or
// language file is a few hundred kilobytes at most.
inline constexpr size_t kMaxProfileFileBytes = 16u << 20;

// ASCII case-insensitive comparison, as the profile matching does it.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// One parsed profile file, immutable once built, cheap to query many times.
class ProfileFile {
public:
    // Parses file contents (any of the encodings above).
    static ProfileFile Parse(std::string_view contents);
    // Reads and parses a file; nullopt when it cannot be read or is too large.
    static std::optional<ProfileFile> Load(const std::string& path);

    // The value of `key` in the first section named `section`, or nullopt.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // GetPrivateProfileString semantics: the value (or the default when the
    // key is missing) cut to at most bufferSize - 1 bytes, never in the middle
    // of a UTF-8 character; bufferSize 0 gives the empty text.
    std::string Get(std::string_view section, std::string_view key, std::string_view defaultValue,
                    size_t bufferSize) const;
    bool HasSection(std::string_view section) const;

private:
    struct Section {
        std::unordered_map<std::string, std::string> values;  // key lower-cased
    };
    std::unordered_map<std::string, size_t> sectionIndex_;  // name lower-cased -> sections_
    std::vector<Section> sections_;
};

// The parsed form of `path`, re-read only when the file's identity, size or
// modification time changed since the last call; nullptr when the file cannot
// be read. Thread-safe. A rewrite that keeps inode, size and both time stamps
// to the nanosecond is not noticed.
std::shared_ptr<const ProfileFile> LoadProfileCached(const std::string& path);

// One read by section and key (through the cache above).
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              size_t bufferSize);

// Sets `key` of the first section named `section` to `value`, creating the
// file, the section or the key when missing; every other line stays as it
// was. The file is replaced atomically (written beside it, then renamed).
// Returns false, changing nothing, when the file cannot be written or when a
// text would break the file's form: a line break or NUL anywhere, an empty
// or '='-holding key, a key starting with '[', ';' or '#', a section holding ']'.
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace kestrix
