#pragma once
// Appearance settings: colours, fonts and the skin pictures come from
// Setting.ini and the Skin folder beside the executable, so one edited file
// re-colours the whole application. The same file carries the link's two
// retry settings and the adapter allow-list. Read once at start-up; plain
// data, no toolkit types (windowed code converts them).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

struct RgbColor {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const RgbColor&) const = default;
};

// What a control needs to make a font: height in pixels (the character-cell
// height), weight (0 = default, 700 = bold) and face name; every other
// attribute is plain.
struct FontDescription {
    int height = 0;
    int weight = 0;
    std::string faceName;
    bool operator==(const FontDescription&) const = default;
};

// A value is read into a 64-character buffer; a face name has 32 places
// including the terminator.
inline constexpr size_t kSettingBufferSize = 64;
inline constexpr size_t kMaxFaceNameLength = 31;
inline constexpr int kGridRowHeight = 48;

struct AppearanceSettings {
    // Colours start black: a malformed value in the file leaves black, not
    // the default (that is how operators have always seen a typo show).
    RgbColor ChildBkColor;
    std::string FontName;
    int ButtonMenuFontWeight = 0;
    int ButtonMenuFontHeight = 0;
    RgbColor ButtonMenuFontColor;
    int ButtonFontWeight = 0;
    int ButtonFontHeight = 0;
    RgbColor ButtonFontColor;
    int StaticFontWeight = 0;
    int StaticFontHeight = 0;
    RgbColor StaticFontTextColor;
    RgbColor StaticFontBkColor;
    RgbColor TextDownColor;
    RgbColor LineColor;
    RgbColor StaticTextNumberColor;
    int GridTitleFontWeight = 0;
    int GridTitleFontHeight = 0;
    int GridFontWeight = 0;
    int GridFontHeight = 0;
    RgbColor GridTextColor;
    RgbColor GridTitleTextColor;
    RgbColor GridTitleBkColor;
    RgbColor TextUnlineColor;
    RgbColor TextOnlineColor;
    FontDescription gridTitleFont;
    FontDescription gridFont;
    int gridRowHeight = kGridRowHeight;
    // "V" followed by the executable's version, or just "V".
    std::string versionText;
    // The program folder, with its trailing '/'.
    std::string programDir;

    FontDescription MenuButtonFont() const;
    FontDescription ButtonFont() const;
    FontDescription StaticFont() const;
};

// The skin pictures, as full paths "<programDir>Skin/<file>". Where a
// picture exists in two languages the Chinese variant is taken for locale
// 2052 and the other one otherwise.
struct SkinPaths {
    std::string mainBk;                                           // main_bk.jpg
    std::string mainLeftBk;                                       // main_left_bk.jpg
    std::string menuSearchNormal, menuSearchDown;                 // bt_menu_search_*
    std::string menuWirelessNormal, menuWirelessDown;             // bt_menu_wireless_*
    std::string closeNormal, minNormal, helpNormal;               // caption buttons
    std::string helpProduct, helpSupport, helpContact, helpHelp;  // help menu
    std::string installHelp;      // help_chinese.jpg / help_other.jpg
    std::string applicationIcon;  // Application.ico
    std::string btnSearch;        // btn_search.bmp
    std::string btnUpdateNormal, btnUpdateDown;
    std::string btnConfig, configBtn, closeConfig;
    std::string closeWait;
    std::string web;                            // web_chinese.bmp / web_other.bmp
    std::string bridge;                         // bridge_chinese.bmp / bridge_other.bmp
    std::string bridgeFinish;                   // bridge_finish.jpg
    std::array<std::string, 6> signalStrength;  // singal_strength0..5.bmp
    std::string waitSearch;                     // wait_search.gif
    std::string btnPie, btnPie2, line;
    std::string write;
    std::string wirelessBasic, wirelessConfig;
    std::string grayLine, orangeLine;
    std::string gridImages;  // the grid's 50x16 image strip (image 0: "open")
};

// "r,g,b" through SplitList: exactly three parts, each 0..255 after
// ReadDecimal. On success sets `out` and returns true; otherwise leaves
// `out` unchanged and returns false.
bool ParseColor(std::string_view text, RgbColor& out);

// One value of `settingsFile`, read into the 64-character buffer; the
// default when the file, section or key is missing.
std::string ReadSetting(const std::string& settingsFile, std::string_view section,
                        std::string_view key, std::string_view defaultValue);

// Reads every key of "<programDir>Setting.ini" in its fixed order, builds
// the two grid fonts, the row height and the version text (from the version
// of `executablePath`; empty path: the running executable).
AppearanceSettings LoadAppearanceSettings(const std::string& programDir,
                                          const std::string& executablePath = {});

SkinPaths BuildSkinPaths(const std::string& programDir, uint32_t localeId);

// Every file name BuildSkinPaths refers to, both language variants included
// (the skin is checked against it).
std::vector<std::string> AllSkinFileNames();

}  // namespace kestrix
