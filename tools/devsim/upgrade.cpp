#include "tools/devsim/upgrade.h"

#include <cctype>
#include <cstdio>

#include "tools/devsim/json_writer.h"

namespace kestrix::devsim {

const char* PhaseName(UpgradePhase phase) {
    switch (phase) {
        case UpgradePhase::Idle:
            return "idle";
        case UpgradePhase::Fetching:
            return "fetching";
        case UpgradePhase::Waiting:
            return "waiting";
        case UpgradePhase::Flashing:
            return "upgrading";
    }
    return "?";
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with single dots between them, from `at`; the length taken.
size_t VersionRun(std::string_view s, size_t at) {
    size_t end = at;
    while (end < s.size() && IsDigit(s[end])) {
        while (end < s.size() && IsDigit(s[end])) ++end;
        if (end + 1 < s.size() && s[end] == '.' && IsDigit(s[end + 1])) {
            ++end;
        } else {
            break;
        }
    }
    return end - at;
}

// Cuts to at most `cap` bytes without splitting a UTF-8 character.
std::string CutUtf8(std::string_view s, size_t cap) {
    if (s.size() <= cap) return std::string(s);
    size_t n = cap;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return std::string(s.substr(0, n));
}

}  // namespace

std::string VersionFromFileName(std::string_view name) {
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    if (name.size() > 4) {
        std::string ext(name.substr(name.size() - 4));
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".bin") name.remove_suffix(4);
    }
    // "V2.4.1" (or "v2.4.1") anywhere, not in the middle of a word.
    for (size_t i = 0; i + 1 < name.size(); ++i) {
        if ((name[i] == 'V' || name[i] == 'v') && IsDigit(name[i + 1]) &&
            (i == 0 || !std::isalpha(static_cast<unsigned char>(name[i - 1])))) {
            return "V" + std::string(name.substr(i + 1, VersionRun(name, i + 1)));
        }
    }
    // A dotted number such as "2.4.1" on its own.
    for (size_t i = 0; i < name.size(); ++i) {
        if (!IsDigit(name[i]) || (i > 0 && IsDigit(name[i - 1]))) continue;
        size_t n = VersionRun(name, i);
        if (name.substr(i, n).find('.') != std::string_view::npos) {
            return "V" + std::string(name.substr(i, n));
        }
    }
    return CutUtf8(name, 32);
}

std::string FetchLogLine(const FetchRecord& r) {
    std::string file;
    for (unsigned char c : r.file) {
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            file += buf;
        } else {
            file += static_cast<char>(c);
        }
    }
    char head[64];
    std::snprintf(head, sizeof head, "fetch dev=%d mac=", r.device);
    return std::string(head) + MacBytesToText(r.mac) + " file=\"" + file +
           "\" from=" + IpBytesToText(r.server) + ":" + std::to_string(r.port) +
           " bytes=" + std::to_string(r.bytes) + " expected=" + std::to_string(r.expected) +
           " result=" + r.result;
}

void WriteUpgradeJson(JsonWriter& w, const DeviceUpgrade& u) {
    w.BeginObject();
    w.Key("phase").String(PhaseName(u.phase));
    w.Key("file").String(u.file);
    w.Key("expected").Int(u.expected);
    w.Key("last_result").String(u.last_result);
    w.Key("upgrades").Int(u.upgrades);
    w.Key("fetches").BeginArray();
    for (const FetchRecord& r : u.history) {
        w.BeginObject();
        w.Key("time_ms").Int(r.time_ms);
        w.Key("file").String(r.file);
        w.Key("from").String(IpBytesToText(r.server) + ":" + std::to_string(r.port));
        w.Key("bytes").Int(static_cast<long long>(r.bytes));
        w.Key("expected").Int(r.expected);
        w.Key("result").String(r.result);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

}  // namespace kestrix::devsim
