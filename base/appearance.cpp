#include "base/appearance.h"

#include <algorithm>
#include <climits>

#include "base/os_utils.h"
#include "base/profile.h"
#include "base/text_utils.h"

namespace kestrix {

namespace {

constexpr uint32_t kChineseLocale = 2052;

std::string CutFaceName(std::string name) {
    return std::string(CutUtf8Bytes(name, kMaxFaceNameLength));
}

}  // namespace

FontDescription AppearanceSettings::MenuButtonFont() const {
    return {ButtonMenuFontHeight, ButtonMenuFontWeight, FontName};
}
FontDescription AppearanceSettings::ButtonFont() const {
    return {ButtonFontHeight, ButtonFontWeight, FontName};
}
FontDescription AppearanceSettings::StaticFont() const {
    return {StaticFontHeight, StaticFontWeight, FontName};
}

bool ParseColor(std::string_view text, RgbColor& out) {
    std::vector<std::string> parts = SplitList(text);
    if (parts.size() != 3) return false;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        values[i] = ReadDecimal(parts[i]);
        if (values[i] < 0 || values[i] > 255) return false;
    }
    out = {static_cast<uint8_t>(values[0]), static_cast<uint8_t>(values[1]),
           static_cast<uint8_t>(values[2])};
    return true;
}

std::string ReadSetting(const std::string& settingsFile, std::string_view section,
                        std::string_view key, std::string_view defaultValue) {
    return ReadProfileString(settingsFile, section, key, defaultValue, kSettingBufferSize);
}

AppearanceSettings LoadAppearanceSettings(const std::string& programDir,
                                          const std::string& executablePath) {
    AppearanceSettings s;
    s.programDir = programDir;
    const std::string file = programDir + "Setting.ini";

    // Every key in the order of the file's documentation; colours and
    // numbers are parsed as they are read.
    struct Key {
        const char* section;
        const char* name;
        const char* defaultValue;
        RgbColor AppearanceSettings::*color;
        int AppearanceSettings::*number;
    };
    using A = AppearanceSettings;
    static const Key kKeys[] = {
        {"Color", "ChildBkColor", "255,255,255", &A::ChildBkColor, nullptr},
        {"Font", "FontName", "Arial", nullptr, nullptr},
        {"Font", "ButtonMenuFontWeight", "0", nullptr, &A::ButtonMenuFontWeight},
        {"Font", "ButtonMenuFontHeight", "15", nullptr, &A::ButtonMenuFontHeight},
        {"Color", "ButtonMenuFontColor", "0,0,0", &A::ButtonMenuFontColor, nullptr},
        {"Font", "ButtonFontWeight", "0", nullptr, &A::ButtonFontWeight},
        {"Font", "ButtonFontHeight", "15", nullptr, &A::ButtonFontHeight},
        {"Color", "ButtonFontColor", "0,0,0", &A::ButtonFontColor, nullptr},
        {"Font", "StaticFontWeight", "0", nullptr, &A::StaticFontWeight},
        {"Font", "StaticFontHeight", "15", nullptr, &A::StaticFontHeight},
        {"Color", "StaticFontTextColor", "0,0,0", &A::StaticFontTextColor, nullptr},
        {"Color", "StaticFontBkColor", "255,255,255", &A::StaticFontBkColor, nullptr},
        {"Color", "TextDownColor", "216,34,40", &A::TextDownColor, nullptr},
        {"Color", "LineColor", "215,215,215", &A::LineColor, nullptr},
        {"Color", "StaticTextNumberColor", "142,142,142", &A::StaticTextNumberColor, nullptr},
        {"Font", "GridTitleFontWeight", "700", nullptr, &A::GridTitleFontWeight},
        {"Font", "GridTitleFontHeight", "15", nullptr, &A::GridTitleFontHeight},
        {"Font", "GridFontWeight", "0", nullptr, &A::GridFontWeight},
        {"Font", "GridFontHeight", "15", nullptr, &A::GridFontHeight},
        {"Color", "GridTextColor", "0,0,0", &A::GridTextColor, nullptr},
        {"Color", "GridTitleTextColor", "237,112,32", &A::GridTitleTextColor, nullptr},
        {"Color", "GridTitleBkColor", "221,217,196", &A::GridTitleBkColor, nullptr},
        {"Color", "TextUnlineColor", "142,142,142", &A::TextUnlineColor, nullptr},
        {"Color", "TextOnlineColor", "0,153,0", &A::TextOnlineColor, nullptr},
    };
    for (const Key& key : kKeys) {
        const std::string value = ReadSetting(file, key.section, key.name, key.defaultValue);
        if (key.color) {
            ParseColor(value, s.*key.color);
        } else if (key.number) {
            s.*key.number = ReadDecimal(value);
        } else {
            s.FontName = CutFaceName(value);
        }
    }

    s.gridTitleFont = {s.GridTitleFontHeight, s.GridTitleFontWeight, s.FontName};
    s.gridFont = {s.GridFontHeight, s.GridFontWeight, s.FontName};
    s.gridRowHeight = kGridRowHeight;

    std::string exe = executablePath.empty() ? std::string("/proc/self/exe") : executablePath;
    s.versionText = "V" + COperateSystemInfo::FileVersionText(exe);
    return s;
}

SkinPaths BuildSkinPaths(const std::string& programDir, uint32_t localeId) {
    const std::string skin = programDir + "Skin/";
    const bool chinese = localeId == kChineseLocale;
    auto path = [&](std::string_view name) { return skin + std::string(name); };
    auto variant = [&](std::string_view stem, std::string_view ext) {
        return skin + std::string(stem) + (chinese ? "_chinese" : "_other") + std::string(ext);
    };

    SkinPaths p;
    p.mainBk = path("main_bk.jpg");
    p.mainLeftBk = path("main_left_bk.jpg");
    p.menuSearchNormal = path("bt_menu_search_normal.bmp");
    p.menuSearchDown = path("bt_menu_search_down.bmp");
    p.menuWirelessNormal = path("bt_menu_wireless_normal.bmp");
    p.menuWirelessDown = path("bt_menu_wireless_down.bmp");
    p.closeNormal = path("close_normal.bmp");
    p.minNormal = path("min_normal.bmp");
    p.helpNormal = path("help_normal.bmp");
    p.helpProduct = path("help_product_normal.bmp");
    p.helpSupport = path("help_support_normal.bmp");
    p.helpContact = path("help_contact_normal.bmp");
    p.helpHelp = path("help_help_normal.bmp");
    p.installHelp = variant("help", ".jpg");
    p.applicationIcon = path("Application.ico");
    p.btnSearch = path("btn_search.bmp");
    p.btnUpdateNormal = path("btn_update_normal.bmp");
    p.btnUpdateDown = path("btn_update_down.bmp");
    p.btnConfig = path("btn_config.bmp");
    p.configBtn = path("config_btn.bmp");
    p.closeConfig = path("close_config.bmp");
    p.closeWait = path("close_wait.bmp");
    p.web = variant("web", ".bmp");
    p.bridge = variant("bridge", ".bmp");
    p.bridgeFinish = path("bridge_finish.jpg");
    for (size_t i = 0; i < p.signalStrength.size(); ++i) {
        p.signalStrength[i] = path("singal_strength" + std::to_string(i) + ".bmp");
    }
    p.waitSearch = path("wait_search.gif");
    p.btnPie = path("btn_pie.bmp");
    p.btnPie2 = path("btn_pie2.bmp");
    p.line = path("line.bmp");
    p.write = path("write.bmp");
    p.wirelessBasic = path("wireless_basic.bmp");
    p.wirelessConfig = path("wireless_config.bmp");
    p.grayLine = path("gray_line.bmp");
    p.orangeLine = path("orange_line.bmp");
    p.gridImages = path("grid_images.bmp");
    return p;
}

std::vector<std::string> AllSkinFileNames() {
    std::vector<std::string> names;
    for (uint32_t locale : {kChineseLocale, 1033u}) {
        SkinPaths p = BuildSkinPaths("", locale);
        for (const std::string* s : {&p.mainBk,
                                     &p.mainLeftBk,
                                     &p.menuSearchNormal,
                                     &p.menuSearchDown,
                                     &p.menuWirelessNormal,
                                     &p.menuWirelessDown,
                                     &p.closeNormal,
                                     &p.minNormal,
                                     &p.helpNormal,
                                     &p.helpProduct,
                                     &p.helpSupport,
                                     &p.helpContact,
                                     &p.helpHelp,
                                     &p.installHelp,
                                     &p.applicationIcon,
                                     &p.btnSearch,
                                     &p.btnUpdateNormal,
                                     &p.btnUpdateDown,
                                     &p.btnConfig,
                                     &p.configBtn,
                                     &p.closeConfig,
                                     &p.closeWait,
                                     &p.web,
                                     &p.bridge,
                                     &p.bridgeFinish,
                                     &p.waitSearch,
                                     &p.btnPie,
                                     &p.btnPie2,
                                     &p.line,
                                     &p.write,
                                     &p.wirelessBasic,
                                     &p.wirelessConfig,
                                     &p.grayLine,
                                     &p.orangeLine,
                                     &p.gridImages}) {
            names.push_back(s->substr(5));  // without "Skin/"
        }
        for (const auto& s : p.signalStrength) names.push_back(s.substr(5));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace kestrix
