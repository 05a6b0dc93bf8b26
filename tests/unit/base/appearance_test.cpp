#include "base/appearance.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/link_settings.h"
#include "base/os_utils.h"
#include "base/text_utils.h"
#include "kestrix_version.h"

namespace kestrix {
namespace {

namespace fs = std::filesystem;

// A program folder of its own (with its trailing '/') for each test.
class TempProgramFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx-appearance-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Dir() const { return dir_.string() + "/"; }
    void WriteSettings(const std::string& text) const {
        std::ofstream(dir_ / "Setting.ini") << text;
    }
    fs::path dir_;
};

TEST(SplitList, CommasQuotesAndEmptyParts) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitList("1,2,3"), (V{"1", "2", "3"}));
    // Two commas in a row give an empty item; an empty last part is dropped.
    EXPECT_EQ(SplitList("1,,3"), (V{"1", "", "3"}));
    EXPECT_EQ(SplitList("a,b,"), (V{"a", "b"}));
    EXPECT_EQ(SplitList(",a"), (V{"", "a"}));
    EXPECT_EQ(SplitList(""), V{});
    // A quoted part keeps its commas and loses its quotes.
    EXPECT_EQ(SplitList("\"x,y\",z"), (V{"x,y", "z"}));
    EXPECT_EQ(SplitList("'10,20',30"), (V{"10,20", "30"}));
    EXPECT_EQ(SplitList("pre'mid'post,q"), (V{"premidpost", "q"}));
    // A quote preceded by a backslash does not close; the backslash stays.
    EXPECT_EQ(SplitList("'a\\'b',c"), (V{"a\\'b", "c"}));
    // The other quote character does not close either.
    EXPECT_EQ(SplitList("\"it's\",x"), (V{"it's", "x"}));
    // No closing quote: the rest of the text is the last item.
    EXPECT_EQ(SplitList("a,'b,c,d"), (V{"a", "b,c,d"}));
    EXPECT_EQ(SplitList("'"), (V{""}));
}

TEST(ReadDecimal, ReadsLikeAtoi) {
    EXPECT_EQ(ReadDecimal("15"), 15);
    EXPECT_EQ(ReadDecimal("  -42"), -42);
    EXPECT_EQ(ReadDecimal("+7"), 7);
    EXPECT_EQ(ReadDecimal("12px"), 12);
    EXPECT_EQ(ReadDecimal("bold"), 0);
    EXPECT_EQ(ReadDecimal("abc"), 0);
    EXPECT_EQ(ReadDecimal(""), 0);
    EXPECT_EQ(ReadDecimal("- 5"), 0);
    EXPECT_EQ(ReadDecimal("\t\n 3 4"), 3);
    EXPECT_EQ(ReadDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT_MIN);
}

TEST(ParseColor, AcceptsExactlyThreePartsInRange) {
    RgbColor c{7, 7, 7};
    ASSERT_TRUE(ParseColor("255,255,255", c));
    EXPECT_EQ(c, (RgbColor{255, 255, 255}));
    ASSERT_TRUE(ParseColor(" 1 , 2x, 3", c));
    EXPECT_EQ(c, (RgbColor{1, 2, 3}));
    // The empty middle part counts, as 0.
    ASSERT_TRUE(ParseColor("1,,3", c));
    EXPECT_EQ(c, (RgbColor{1, 0, 3}));
    ASSERT_TRUE(ParseColor("\"0\",'0',0", c));
    EXPECT_EQ(c, (RgbColor{0, 0, 0}));

    const RgbColor before{9, 8, 7};
    for (const char* bad :
         {"255,255", "300,0,0", "1,2,3,4", "-1,0,0", "'10,20',30", "", "red", "0,0,256"}) {
        c = before;
        EXPECT_FALSE(ParseColor(bad, c)) << bad;
        EXPECT_EQ(c, before) << bad;
    }
}

TEST_F(TempProgramFolder, DefaultsWithoutSettingsFile) {
    AppearanceSettings a = LoadAppearanceSettings(Dir());
    EXPECT_EQ(a.ChildBkColor, (RgbColor{255, 255, 255}));
    EXPECT_EQ(a.FontName, "Arial");
    EXPECT_EQ(a.ButtonMenuFontWeight, 0);
    EXPECT_EQ(a.ButtonMenuFontHeight, 15);
    EXPECT_EQ(a.ButtonMenuFontColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.ButtonFontHeight, 15);
    EXPECT_EQ(a.StaticFontHeight, 15);
    EXPECT_EQ(a.StaticFontBkColor, (RgbColor{255, 255, 255}));
    EXPECT_EQ(a.TextDownColor, (RgbColor{216, 34, 40}));
    EXPECT_EQ(a.LineColor, (RgbColor{215, 215, 215}));
    EXPECT_EQ(a.StaticTextNumberColor, (RgbColor{142, 142, 142}));
    EXPECT_EQ(a.GridTextColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.GridTitleTextColor, (RgbColor{237, 112, 32}));
    EXPECT_EQ(a.GridTitleBkColor, (RgbColor{221, 217, 196}));
    EXPECT_EQ(a.TextUnlineColor, (RgbColor{142, 142, 142}));
    EXPECT_EQ(a.TextOnlineColor, (RgbColor{0, 153, 0}));
    EXPECT_EQ(LoadLinkSettings(Dir()).retransmission_max, 3);
    EXPECT_EQ(LoadLinkSettings(Dir()).retransmission_interval, 2000);
    EXPECT_TRUE(LoadLinkSettings(Dir()).adapters.empty());
    // Grid headings bold, 15 pixels; body plain; rows 48 pixels high.
    EXPECT_EQ(a.gridTitleFont, (FontDescription{15, 700, "Arial"}));
    EXPECT_EQ(a.gridFont, (FontDescription{15, 0, "Arial"}));
    EXPECT_EQ(a.gridRowHeight, 48);
    EXPECT_EQ(a.MenuButtonFont(), (FontDescription{15, 0, "Arial"}));
    EXPECT_EQ(a.versionText, std::string("V") + KESTRIX_VERSION_TEXT);
    EXPECT_EQ(a.programDir, Dir());
}

TEST_F(TempProgramFolder, MalformedValuesGiveBlackAndZero) {
    WriteSettings(
        "[Color]\nChildBkColor=255,255\nLineColor=300,0,0\nGridTextColor='10,20',30\n"
        "GridTitleBkColor=1,,3\nTextDownColor=\n"
        "[Font]\nGridTitleFontWeight=bold\nGridFontHeight=12px\n"
        "[Setting]\nretransmission_max=abc\nretransmission_interval=500\n");
    AppearanceSettings a = LoadAppearanceSettings(Dir());
    EXPECT_EQ(a.ChildBkColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.LineColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.GridTextColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.GridTitleBkColor, (RgbColor{1, 0, 3}));
    // Present but empty: not the default, and not a colour.
    EXPECT_EQ(a.TextDownColor, (RgbColor{0, 0, 0}));
    EXPECT_EQ(a.gridTitleFont.weight, 0);
    EXPECT_EQ(a.gridFont.height, 12);
    EXPECT_EQ(LoadLinkSettings(Dir()).retransmission_max, 0);
    EXPECT_EQ(LoadLinkSettings(Dir()).retransmission_interval, 500);
    // Keys not in the file keep their defaults.
    EXPECT_EQ(a.TextOnlineColor, (RgbColor{0, 153, 0}));
}

TEST_F(TempProgramFolder, LongValuesAreCutAndAdaptersListed) {
    const std::string longFace(40, 'F');
    WriteSettings("[Font]\nFontName=" + longFace + "\nButtonFontHeight=" + std::string(70, '1') +
                  "\n[Setting]\nadapters= eth0 , 'br-lab',,enp3s0\n");
    AppearanceSettings a = LoadAppearanceSettings(Dir());
    EXPECT_EQ(a.FontName, std::string(31, 'F'));
    EXPECT_EQ(a.gridFont.faceName, std::string(31, 'F'));
    // 63 characters of digits are read: far beyond int, held at its end.
    EXPECT_EQ(a.ButtonFontHeight, INT_MAX);
    EXPECT_EQ(LoadLinkSettings(Dir()).adapters,
              (std::vector<std::string>{"eth0", "br-lab", "enp3s0"}));
    EXPECT_EQ(ReadSetting(Dir() + "Setting.ini", "Font", "FontName", "x").size(), 40u);
    EXPECT_EQ(ReadSetting(Dir() + "Setting.ini", "Font", "Missing", "dflt"), "dflt");
}

// Both front ends read the retry settings through one loader, so an edited
// file behaves the same in each: values out of range are held at the bound.
TEST_F(TempProgramFolder, LinkSettingsAreHeldWithinTheirBounds) {
    struct Case {
        const char* retries;
        const char* interval;
        int wantRetries;
        int wantInterval;
    } cases[] = {
        {"-5", "0", 0, 10},
        {"100", "10", 100, 10},
        {"101", "600001", 100, 600000},
        {"99999999999", "-99999999999", 100, 10},
        {"7", "9", 7, 10},
    };
    for (const Case& c : cases) {
        WriteSettings(std::string("[Setting]\nretransmission_max=") + c.retries +
                      "\nretransmission_interval=" + c.interval + "\n");
        const LinkSettings l = LoadLinkSettings(Dir());
        EXPECT_EQ(l.retransmission_max, c.wantRetries) << c.retries;
        EXPECT_EQ(l.retransmission_interval, c.wantInterval) << c.interval;
    }
}

TEST(SkinPaths, LanguageVariantsFollowTheLocale) {
    SkinPaths zh = BuildSkinPaths("/opt/k/", 2052);
    SkinPaths en = BuildSkinPaths("/opt/k/", 1033);
    SkinPaths de = BuildSkinPaths("/opt/k/", 1031);
    EXPECT_EQ(zh.installHelp, "/opt/k/Skin/help_chinese.jpg");
    EXPECT_EQ(zh.web, "/opt/k/Skin/web_chinese.bmp");
    EXPECT_EQ(zh.bridge, "/opt/k/Skin/bridge_chinese.bmp");
    EXPECT_EQ(en.installHelp, "/opt/k/Skin/help_other.jpg");
    EXPECT_EQ(en.web, "/opt/k/Skin/web_other.bmp");
    EXPECT_EQ(de.bridge, "/opt/k/Skin/bridge_other.bmp");
    EXPECT_EQ(en.mainBk, "/opt/k/Skin/main_bk.jpg");
    EXPECT_EQ(en.signalStrength[5], "/opt/k/Skin/singal_strength5.bmp");
    EXPECT_EQ(zh.applicationIcon, en.applicationIcon);

    std::vector<std::string> names = AllSkinFileNames();
    for (const char* expected : {"help_chinese.jpg", "help_other.jpg", "web_other.bmp",
                                 "singal_strength0.bmp", "Application.ico", "wait_search.gif"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    }
}

}  // namespace
}  // namespace kestrix
