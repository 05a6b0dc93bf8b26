#pragma once
// Temporary folders for the tests that read profile and language files.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/language.h"

namespace kestrix::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder with a trailing '/', as the program folder is handed around.
    std::string Dir() const { return path_.string() + "/"; }
    std::string File(std::string_view name) const { return (path_ / name).string(); }

    // Writes `contents` byte for byte to `name` (folders made as needed).
    std::string Write(std::string_view name, std::string_view contents) const {
        std::filesystem::path p = path_ / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return p.string();
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path path_;
};

// A program folder with Languages/Language.ini mapping `localeId` to `name`
// and Languages/<name>.lng holding `lngBody`; the language is initialised
// from it and set back to plain English when the scope ends.
class LanguageScope {
public:
    LanguageScope(std::string_view name, std::string_view lngBody, uint32_t localeId = 2052) {
        dir_.Write("Languages/Language.ini",
                   "[LCID]\n" + std::to_string(localeId) + "=" + std::string(name) + "\n");
        dir_.Write("Languages/" + std::string(name) + ".lng", lngBody);
        InitLanguageWithLocale(dir_.Dir(), localeId);
    }
    ~LanguageScope() { InitLanguageWithLocale(reset_.Dir(), 1033); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    TempDir reset_;  // empty: every text stays English
};

}  // namespace kestrix::testing
