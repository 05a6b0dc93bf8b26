#include "base/language.h"

#include <cstdlib>
#include <mutex>
#include <shared_mutex>

#include "base/profile.h"

namespace kestrix {

namespace {

constexpr uint32_t kEnglishLocaleId = 1033;
constexpr size_t kMaxValueChars = 1023;
// The language names in the map are short words ("English", "Chinese").
constexpr size_t kLanguageNameBuffer = 256;

struct LanguageState {
    std::string programDir;
    uint32_t localeId = kEnglishLocaleId;
    std::string languageName = "English";
    std::string languageFile;  // empty until InitLanguage: every text stays English
};

// Written once at start-up, read by every thread that builds a text.
std::shared_mutex g_stateMutex;
LanguageState g_state;

struct LocaleEntry {
    std::string_view name;
    uint32_t id;
};

// Full names first; a language alone maps to its main territory.
constexpr LocaleEntry kLocales[] = {
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081},  {"en_CA", 4105}, {"en_NZ", 5129},
    {"en_IE", 6153}, {"en_ZA", 7177}, {"en_IN", 16393}, {"zh_CN", 2052}, {"zh_TW", 1028},
    {"zh_HK", 3076}, {"zh_SG", 4100}, {"zh_MO", 5124},  {"de_DE", 1031}, {"de_CH", 2055},
    {"de_AT", 3079}, {"fr_FR", 1036}, {"fr_BE", 2060},  {"fr_CA", 3084}, {"fr_CH", 4108},
    {"ja_JP", 1041}, {"ko_KR", 1042}, {"ru_RU", 1049},  {"es_ES", 3082}, {"es_MX", 2058},
    {"pt_BR", 1046}, {"pt_PT", 2070}, {"it_IT", 1040},  {"nl_NL", 1043}, {"nl_BE", 2067},
    {"pl_PL", 1045}, {"tr_TR", 1055}, {"cs_CZ", 1029},  {"sv_SE", 1053}, {"da_DK", 1030},
    {"fi_FI", 1035}, {"nb_NO", 1044}, {"hu_HU", 1038},  {"el_GR", 1032}, {"uk_UA", 1058},
    {"ar_SA", 1025}, {"he_IL", 1037}, {"th_TH", 1054},  {"vi_VN", 1066}, {"id_ID", 1057},
    {"en", 1033},    {"zh", 2052},    {"de", 1031},     {"fr", 1036},    {"ja", 1041},
    {"ko", 1042},    {"ru", 1049},    {"es", 3082},     {"pt", 2070},    {"it", 1040},
    {"nl", 1043},    {"pl", 1045},    {"tr", 1055},     {"cs", 1029},    {"sv", 1053},
    {"da", 1030},    {"fi", 1035},    {"nb", 1044},     {"no", 1044},    {"hu", 1038},
    {"el", 1032},    {"uk", 1058},    {"ar", 1025},     {"he", 1037},    {"th", 1054},
    {"vi", 1066},    {"id", 1057},
};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

}  // namespace

uint32_t LocaleIdFromPosixName(std::string_view name) {
    // "zh_CN.UTF-8@variant": the code set and the modifier do not matter.
    size_t cut = name.find_first_of(".@");
    if (cut != std::string_view::npos) name = name.substr(0, cut);
    std::string key(name);
    for (char& c : key) {
        if (c == '-') c = '_';
    }
    size_t sep = key.find('_');
    std::string language = AsciiLower(key.substr(0, sep));
    for (const LocaleEntry& e : kLocales) {
        if (EqualsIgnoreAsciiCase(e.name, key)) return e.id;
    }
    // A territory the table does not list still tells the language.
    for (const LocaleEntry& e : kLocales) {
        if (e.name.find('_') == std::string_view::npos && e.name == language) return e.id;
    }
    return kEnglishLocaleId;
}

uint32_t SystemLocaleId() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0') return LocaleIdFromPosixName(value);
    }
    return kEnglishLocaleId;
}

bool InitLanguage(const std::string& programDir) {
    return InitLanguageWithLocale(programDir, SystemLocaleId());
}

bool InitLanguageWithLocale(const std::string& programDir, uint32_t localeId) {
    LanguageState state;
    state.programDir = programDir;
    if (!state.programDir.empty() && state.programDir.back() != '/') state.programDir += '/';
    state.localeId = localeId & 0xFFFF;

    const std::string mapPath = state.programDir + "Languages/Language.ini";
    state.languageName =
        ReadProfileString(mapPath, "LCID", std::to_string(state.localeId), "", kLanguageNameBuffer);
    if (state.languageName.empty()) {
        state.languageName = "English";
        state.localeId = kEnglishLocaleId;
    }
    state.languageFile = state.programDir + "Languages/" + state.languageName + ".lng";

    std::unique_lock lock(g_stateMutex);
    g_state = std::move(state);
    return true;
}

std::string TranslateText(std::string_view key) {
    if (key.empty()) return {};
    std::string path;
    {
        std::shared_lock lock(g_stateMutex);
        path = g_state.languageFile;
    }

    std::string text;
    if (!path.empty()) {
        // The cache re-reads the file whenever it changes on disk, so a lookup
        // always sees the file as it is now, without parsing it every time.
        if (auto file = LoadProfileCached(path)) {
            if (auto value = file->Find("ProgramOutStr", AsciiLower(key))) {
                text = CutUtf16Units(*value, kMaxValueChars);
            }
        }
    }
    if (text.empty()) text = key;

    ReplaceAll(text, "\\r\\n", "\r\n");
    ReplaceAll(text, "\\n", "\n");
    ReplaceAll(text, "[~NullInfoOrlen~]", "");
    ReplaceAll(text, "[~Null~]", " ");
    return text;
}

std::string FormatNumbers(std::string_view pattern, std::initializer_list<long long> numbers) {
    std::string out;
    out.reserve(pattern.size() + 16);
    auto next = numbers.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char conversion = pattern[i + 1];
            if (conversion == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((conversion == 'd' || conversion == 'i' || conversion == 'u') &&
                next != numbers.end()) {
                out += std::to_string(*next++);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

uint32_t CurrentLocaleId() {
    std::shared_lock lock(g_stateMutex);
    return g_state.localeId;
}

std::string CurrentLanguageName() {
    std::shared_lock lock(g_stateMutex);
    return g_state.languageName;
}

std::string CurrentLanguageFile() {
    std::shared_lock lock(g_stateMutex);
    return g_state.languageFile;
}

}  // namespace kestrix
