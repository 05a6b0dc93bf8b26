#include "base/profile.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <list>
#include <mutex>
#include <sys/stat.h>
#include <utility>

namespace kestrix {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view StripQuotes(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        return s.substr(1, s.size() - 2);
    }
    return s;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A file saved as "Unicode" by a Windows editor is UTF-16 with a byte-order
// mark; it is turned into UTF-8 so one parser serves both.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unitAt = [&](size_t i) -> char32_t {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? static_cast<char32_t>((b0 << 8) | b1)
                         : static_cast<char32_t>((b1 << 8) | b0);
    };
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        char32_t u = unitAt(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            char32_t low = unitAt(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : u);
    }
    return out;
}

}  // namespace

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

ProfileFile ProfileFile::Parse(std::string_view contents) {
    std::string converted;
    if (contents.size() >= 2 && contents[0] == '\xFF' && contents[1] == '\xFE') {
        converted = Utf16ToUtf8(contents.substr(2), false);
        contents = converted;
    } else if (contents.size() >= 2 && contents[0] == '\xFE' && contents[1] == '\xFF') {
        converted = Utf16ToUtf8(contents.substr(2), true);
        contents = converted;
    } else if (contents.substr(0, 3) == "\xEF\xBB\xBF") {
        contents.remove_prefix(3);
    }

    ProfileFile file;
    // Index of the section key lines go to; nullptr before the first header
    // and inside a repeated section, whose lines are never consulted.
    Section* current = nullptr;
    while (!contents.empty()) {
        size_t eol = contents.find('\n');
        std::string_view line = contents.substr(0, eol);
        contents.remove_prefix(eol == std::string_view::npos ? contents.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = TrimBlanks(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;

        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            size_t close = name.rfind(']');
            if (close != std::string_view::npos) name = name.substr(0, close);
            auto [it, inserted] =
                file.sectionIndex_.emplace(AsciiLower(TrimBlanks(name)), file.sections_.size());
            if (inserted) {
                file.sections_.emplace_back();
                current = &file.sections_.back();
            } else {
                current = nullptr;
            }
            continue;
        }
        if (current == nullptr) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = TrimBlanks(line.substr(0, eq));
        std::string_view value = StripQuotes(TrimBlanks(line.substr(eq + 1)));
        // emplace keeps the first line of a key.
        current->values.emplace(AsciiLower(key), std::string(value));
    }
    return file;
}

std::optional<ProfileFile> ProfileFile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string contents;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        contents.append(chunk, static_cast<size_t>(in.gcount()));
        if (contents.size() > kMaxProfileFileBytes) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    return Parse(contents);
}

std::optional<std::string_view> ProfileFile::Find(std::string_view section,
                                                  std::string_view key) const {
    auto sit = sectionIndex_.find(AsciiLower(section));
    if (sit == sectionIndex_.end()) return std::nullopt;
    const Section& s = sections_[sit->second];
    auto kit = s.values.find(AsciiLower(key));
    if (kit == s.values.end()) return std::nullopt;
    return std::string_view(kit->second);
}

std::string ProfileFile::Get(std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize) const {
    if (bufferSize == 0) return {};
    std::string_view value = Find(section, key).value_or(defaultValue);
    return std::string(CutUtf8Bytes(value, bufferSize - 1));
}

bool ProfileFile::HasSection(std::string_view section) const {
    return sectionIndex_.count(AsciiLower(section)) != 0;
}

namespace {

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct CacheEntry {
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const ProfileFile> file;
};

// The program reads a handful of files (settings, language map, one language
// file, the file server's settings); a few more slots than that keep every
// one of them parsed without letting the cache grow with stray paths.
constexpr size_t kCacheSlots = 8;

std::mutex g_cacheMutex;
std::list<CacheEntry> g_cache;  // most recently used first

}  // namespace

std::shared_ptr<const ProfileFile> LoadProfileCached(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    FileStamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};

    {
        std::lock_guard lock(g_cacheMutex);
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
            if (it->path == path && it->stamp == stamp) {
                g_cache.splice(g_cache.begin(), g_cache, it);
                return it->file;
            }
        }
    }

    // Parse outside the lock: other threads keep translating meanwhile.
    std::optional<ProfileFile> parsed = ProfileFile::Load(path);
    if (!parsed) return nullptr;
    auto file = std::make_shared<const ProfileFile>(std::move(*parsed));

    std::lock_guard lock(g_cacheMutex);
    g_cache.remove_if([&](const CacheEntry& e) { return e.path == path; });
    g_cache.push_front(CacheEntry{path, stamp, file});
    if (g_cache.size() > kCacheSlots) g_cache.pop_back();
    return file;
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              size_t bufferSize) {
    std::shared_ptr<const ProfileFile> file = LoadProfileCached(path);
    if (!file) {
        if (bufferSize == 0) return {};
        return std::string(CutUtf8Bytes(defaultValue, bufferSize - 1));
    }
    return file->Get(section, key, defaultValue, bufferSize);
}

namespace {

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The section name of a header line, or nullopt when the line is no header.
std::optional<std::string_view> HeaderName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    std::string_view name = line.substr(1);
    size_t close = name.rfind(']');
    if (close != std::string_view::npos) name = name.substr(0, close);
    return TrimBlanks(name);
}

std::optional<std::string_view> KeyOfLine(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') {
        return std::nullopt;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(0, eq));
}

}  // namespace

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    std::string_view trimmedKey = TrimBlanks(key);
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value) ||
        section.find(']') != std::string_view::npos || trimmedKey.empty() ||
        key.find('=') != std::string_view::npos || trimmedKey.front() == '[' ||
        trimmedKey.front() == ';' || trimmedKey.front() == '#') {
        return false;
    }

    std::string contents;
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (in.bad() || contents.size() > kMaxProfileFileBytes) return false;
        }
    }
    // Keep the file's own byte-order mark and line ends.
    std::string bom;
    if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bom = contents.substr(0, 3);
        contents.erase(0, 3);
    } else if (contents.size() >= 2 && (contents.compare(0, 2, "\xFF\xFE") == 0 ||
                                        contents.compare(0, 2, "\xFE\xFF") == 0)) {
        return false;  // UTF-16 files are read, never rewritten
    }
    const std::string eol = contents.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    std::vector<std::string> lines;
    for (size_t pos = 0; pos < contents.size();) {
        size_t end = contents.find('\n', pos);
        if (end == std::string::npos) end = contents.size();
        std::string line = contents.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }

    const std::string newLine = std::string(trimmedKey) + "=" + std::string(value);
    std::optional<size_t> sectionLine;
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = HeaderName(lines[i]);
        if (name && EqualsIgnoreAsciiCase(*name, TrimBlanks(section))) {
            sectionLine = i;
            break;
        }
    }
    if (!sectionLine) {
        while (!lines.empty() && TrimBlanks(lines.back()).empty()) lines.pop_back();
        if (!lines.empty()) lines.emplace_back();
        lines.push_back("[" + std::string(TrimBlanks(section)) + "]");
        lines.push_back(newLine);
    } else {
        size_t end = *sectionLine + 1;
        while (end < lines.size() && !HeaderName(lines[end])) ++end;
        bool replaced = false;
        size_t lastContent = *sectionLine;
        for (size_t i = *sectionLine + 1; i < end; ++i) {
            auto k = KeyOfLine(lines[i]);
            if (k && EqualsIgnoreAsciiCase(*k, trimmedKey)) {
                lines[i] = newLine;
                replaced = true;
                break;
            }
            if (!TrimBlanks(lines[i]).empty()) lastContent = i;
        }
        if (!replaced) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), newLine);
        }
    }

    std::string out = bom;
    for (const std::string& line : lines) out += line + eol;

    const std::string temp = path + ".kx-new";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f) return false;
        f.write(out.data(), static_cast<std::streamsize>(out.size()));
        f.flush();
        if (!f) {
            f.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace kestrix
