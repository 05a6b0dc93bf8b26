#include "base/language.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using testing::LanguageScope;
using testing::TempDir;

constexpr std::string_view kFrench =
    "[ProgramOutStr]\r\n"
    "welcome=Bienvenue\r\n"
    "Two Lines CRLF=premier\\r\\nsecond\r\n"
    "two lines lf=premier\\nsecond\r\n"
    "blanked=[~NullInfoOrlen~]\r\n"
    "spaced=[~Null~]\r\n"
    "mixed=a[~Null~]b[~NullInfoOrlen~]c\\n\r\n"
    "empty value=\r\n"
    "online device count:%d=Appareils en ligne : %d\r\n";

TEST(TranslateText, LooksUpTheLowerCasedKeyInAnyCase) {
    LanguageScope lang("French", kFrench);
    EXPECT_EQ(TranslateText("Welcome"), "Bienvenue");
    EXPECT_EQ(TranslateText("WELCOME"), "Bienvenue");
    EXPECT_EQ(TranslateText("welcome"), "Bienvenue");
    EXPECT_EQ(TranslateText("Online device count:%d"), "Appareils en ligne : %d");
}

TEST(TranslateText, MissingEmptyAndUntranslatedKeys) {
    LanguageScope lang("French", kFrench);
    EXPECT_EQ(TranslateText(""), "");
    // A missing key and an empty value both give the key as the caller wrote it.
    EXPECT_EQ(TranslateText("Not In The File"), "Not In The File");
    EXPECT_EQ(TranslateText("Empty Value"), "Empty Value");
    // The value syntax also runs on an untranslated key.
    EXPECT_EQ(TranslateText("line one\\nline two"), "line one\nline two");
}

TEST(TranslateText, ValueSyntaxMarkers) {
    LanguageScope lang("French", kFrench);
    EXPECT_EQ(TranslateText("two lines crlf"), "premier\r\nsecond");
    EXPECT_EQ(TranslateText("two lines lf"), "premier\nsecond");
    EXPECT_EQ(TranslateText("blanked"), "");
    EXPECT_EQ(TranslateText("spaced"), " ");
    EXPECT_EQ(TranslateText("mixed"), "a bc\n");
}

TEST(TranslateText, ValueIsCutAt1023Characters) {
    // 1100 three-byte characters: the cut counts characters, not bytes.
    std::string longValue;
    for (int i = 0; i < 1100; ++i) longValue += "\xE4\xB8\xAD";
    LanguageScope lang("Chinese", "[ProgramOutStr]\nlong=" + longValue + "\n");
    EXPECT_EQ(TranslateText("long"), longValue.substr(0, 1023 * 3));
}

TEST(TranslateText, FollowsEditsOfTheLanguageFile) {
    LanguageScope lang("French", "[ProgramOutStr]\nsave=Enregistrer\n");
    EXPECT_EQ(TranslateText("Save"), "Enregistrer");
    lang.Dir().Write("Languages/French.lng", "[ProgramOutStr]\nsave=Sauvegarder le tout\n");
    EXPECT_EQ(TranslateText("Save"), "Sauvegarder le tout");
}

TEST(TranslateText, BeforeInitAndWithoutFilesTextsStayEnglish) {
    TempDir empty;
    InitLanguageWithLocale(empty.Dir(), 2052);
    EXPECT_EQ(CurrentLanguageName(), "English");
    EXPECT_EQ(CurrentLocaleId(), 1033u);
    EXPECT_EQ(TranslateText("Online"), "Online");
}

TEST(TranslateText, SafeFromManyThreads) {
    LanguageScope lang("French", kFrench);
    std::vector<std::jthread> threads;
    std::vector<int> failures(4, 0);
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 200; ++i) {
                if (TranslateText("Welcome") != "Bienvenue") ++failures[t];
                if (TranslateText("two lines lf") != "premier\nsecond") ++failures[t];
            }
        });
    }
    threads.clear();
    for (int f : failures) EXPECT_EQ(f, 0);
}

TEST(InitLanguage, MapsTheLocaleThroughLanguageIni) {
    LanguageScope lang("Chinese", "[ProgramOutStr]\nonline=\xE5\x9C\xA8\xE7\xBA\xBF\n", 2052);
    EXPECT_EQ(CurrentLocaleId(), 2052u);
    EXPECT_EQ(CurrentLanguageName(), "Chinese");
    EXPECT_EQ(CurrentLanguageFile(), lang.Dir().Dir() + "Languages/Chinese.lng");
    EXPECT_EQ(TranslateText("Online"), "\xE5\x9C\xA8\xE7\xBA\xBF");
}

TEST(InitLanguage, LocaleMissingFromTheMapFallsBackToEnglish1033) {
    TempDir dir;
    dir.Write("Languages/Language.ini", "[LCID]\n2052=Chinese\n1033=English\n");
    dir.Write("Languages/English.lng", "[ProgramOutStr]\nonline=Connected\n");
    EXPECT_TRUE(InitLanguageWithLocale(dir.Dir(), 1031));
    EXPECT_EQ(CurrentLocaleId(), 1033u);
    EXPECT_EQ(CurrentLanguageName(), "English");
    EXPECT_EQ(CurrentLanguageFile(), dir.Dir() + "Languages/English.lng");
    EXPECT_EQ(TranslateText("online"), "Connected");

    // Only the low 16 bits of the locale id are kept; a folder without the
    // trailing '/' is completed.
    std::string noSlash = dir.Dir();
    noSlash.pop_back();
    EXPECT_TRUE(InitLanguageWithLocale(noSlash, 0x10000 | 2052));
    EXPECT_EQ(CurrentLocaleId(), 2052u);
    EXPECT_EQ(CurrentLanguageFile(), dir.Dir() + "Languages/Chinese.lng");
    InitLanguageWithLocale(TempDir().Dir(), 1033);
}

TEST(LocaleId, PosixNamesMapToWindowsIds) {
    EXPECT_EQ(LocaleIdFromPosixName("zh_CN.UTF-8"), 2052u);
    EXPECT_EQ(LocaleIdFromPosixName("zh_TW.UTF-8"), 1028u);
    EXPECT_EQ(LocaleIdFromPosixName("en_US.UTF-8"), 1033u);
    EXPECT_EQ(LocaleIdFromPosixName("en_GB"), 2057u);
    EXPECT_EQ(LocaleIdFromPosixName("de_DE.UTF-8@euro"), 1031u);
    EXPECT_EQ(LocaleIdFromPosixName("ja_JP.eucJP"), 1041u);
    EXPECT_EQ(LocaleIdFromPosixName("ru_RU.KOI8-R"), 1049u);
    EXPECT_EQ(LocaleIdFromPosixName("zh-cn"), 2052u);
    // An unlisted territory keeps its language; unknown names are English.
    EXPECT_EQ(LocaleIdFromPosixName("de_LU.UTF-8"), 1031u);
    EXPECT_EQ(LocaleIdFromPosixName("C"), 1033u);
    EXPECT_EQ(LocaleIdFromPosixName("C.UTF-8"), 1033u);
    EXPECT_EQ(LocaleIdFromPosixName("POSIX"), 1033u);
    EXPECT_EQ(LocaleIdFromPosixName(""), 1033u);
    EXPECT_EQ(LocaleIdFromPosixName("xx_YY"), 1033u);
}

// Sets the three locale variables for one test and puts them back after.
class LocaleEnv {
public:
    LocaleEnv(const char* all, const char* messages, const char* lang) {
        for (size_t i = 0; i < 3; ++i) {
            const char* old = std::getenv(kNames[i]);
            saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        Set(0, all);
        Set(1, messages);
        Set(2, lang);
    }
    ~LocaleEnv() {
        for (size_t i = 0; i < 3; ++i) Set(i, saved_[i] ? saved_[i]->c_str() : nullptr);
    }

private:
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    static void Set(size_t i, const char* value) {
        if (value) {
            ::setenv(kNames[i], value, 1);
        } else {
            ::unsetenv(kNames[i]);
        }
    }
    std::optional<std::string> saved_[3];
};

TEST(LocaleId, EnvironmentOrderIsLcAllThenLcMessagesThenLang) {
    {
        LocaleEnv env("de_DE.UTF-8", "fr_FR.UTF-8", "zh_CN.UTF-8");
        EXPECT_EQ(SystemLocaleId(), 1031u);
    }
    {
        LocaleEnv env("", "fr_FR.UTF-8", "zh_CN.UTF-8");
        EXPECT_EQ(SystemLocaleId(), 1036u);
    }
    {
        LocaleEnv env(nullptr, nullptr, "zh_CN.UTF-8");
        EXPECT_EQ(SystemLocaleId(), 2052u);
    }
    {
        LocaleEnv env(nullptr, nullptr, nullptr);
        EXPECT_EQ(SystemLocaleId(), 1033u);
    }
    {
        TempDir dir;
        dir.Write("Languages/Language.ini", "[LCID]\n2052=Chinese\n");
        LocaleEnv env(nullptr, nullptr, "zh_CN.UTF-8");
        EXPECT_TRUE(InitLanguage(dir.Dir()));
        EXPECT_EQ(CurrentLanguageName(), "Chinese");
        EXPECT_EQ(CurrentLocaleId(), 2052u);
        InitLanguageWithLocale(TempDir().Dir(), 1033);
    }
}

TEST(FormatNumbers, FillsNumbersWithoutTrustingThePattern) {
    EXPECT_EQ(FormatNumbers("Power value range:%d-%d", {8, 26}), "Power value range:8-26");
    EXPECT_EQ(FormatNumbers("Online device count:%d", {12}), "Online device count:12");
    EXPECT_EQ(FormatNumbers("(%u-%i)", {-1, 7}), "(-1-7)");
    EXPECT_EQ(FormatNumbers("100%% of %d", {3}), "100% of 3");
    // Anything a translator might type wrongly stays as text.
    EXPECT_EQ(FormatNumbers("%s %n %d %d %d", {1, 2}), "%s %n 1 2 %d");
    EXPECT_EQ(FormatNumbers("trailing %", {1}), "trailing %");
    EXPECT_EQ(FormatNumbers("", {1}), "");
}

}  // namespace
}  // namespace kestrix
