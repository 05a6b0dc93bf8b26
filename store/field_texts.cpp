#include "store/field_texts.h"

#include <array>
#include <initializer_list>

#include "base/language.h"

namespace kestrix {

namespace {

constexpr std::array<std::string_view, 10> kStatusKeys = {
    "Outline",  "Online",       "Bridge success", "Bridge fail",     "Restarting",
    "Reseting", "Upgrade wait", "Upgrading",      "Upgrade success", "Upgrade fail",
};

// Index = work mode code; code 0 has no text.
constexpr std::array<std::string_view, 8> kWorkModeKeys = {
    "", "AP", "Station", "Universal Repeater", "Repeater", "P2MP", "WISP", "Router",
};

constexpr std::array<std::string_view, 7> kSecureModeKeys = {
    "Disable", "WEP", "WPA_PSK", "WPA2_PSK", "WPAWPA2_PSK", "WPA", "WPA2",
};

constexpr std::array<std::string_view, 8> kBandwidthTexts = {
    "20MHz", "40MHz", "Auto", "80MHz", "10MHz", "30MHz", "50MHz", "60MHz",
};

struct ModelEntry {
    uint16_t code;
    std::string_view name;
};

// The one model table. Code 14 was never assigned. Names stay within 12
// characters of letters, digits, '-' and '.', and must stay distinct: the
// upgrade page finds a device's type from the name shown in its row.
constexpr std::array<ModelEntry, 32> kModels = {{
    {1, "KST-A10"},   {2, "KST-A20"},   {3, "KST-A30"},   {4, "KST-A40"},   {5, "KST-B10"},
    {6, "KST-B20"},   {7, "KST-B30"},   {8, "KST-B40"},   {9, "KST-B50"},   {10, "KST-C10"},
    {11, "KST-C20"},  {12, "KST-D10"},  {13, "KST-D20"},  {15, "KST-E10"},  {16, "KST-E20"},
    {17, "KST-E30"},  {18, "KST-E40"},  {257, "KST-H1"},  {258, "KST-H2"},  {259, "KST-H3"},
    {260, "KST-H4"},  {261, "KST-H5"},  {262, "KST-H6"},  {263, "KST-H7"},  {264, "KST-H8"},
    {265, "KST-H9"},  {266, "KST-H10"}, {267, "KST-H11"}, {268, "KST-H12"}, {269, "KST-H13"},
    {270, "KST-H14"}, {271, "KST-H15"},
}};

bool IsOneOf(uint32_t value, std::initializer_list<uint32_t> set) {
    for (uint32_t v : set) {
        if (v == value) return true;
    }
    return false;
}

std::string OnOffText(uint32_t on) {
    return TranslateText(on != 0 ? "On2" : "Off2");
}

}  // namespace

std::string StatusText(uint32_t code) {
    return code < kStatusKeys.size() ? TranslateText(kStatusKeys[code]) : std::string();
}

std::string WorkModeText(uint32_t code) {
    // TranslateText of the empty key for code 0 is the empty text.
    return code < kWorkModeKeys.size() ? TranslateText(kWorkModeKeys[code]) : std::string();
}

std::string SecureModeText(uint32_t code) {
    return code < kSecureModeKeys.size() ? TranslateText(kSecureModeKeys[code]) : std::string();
}

std::string BandwidthText(uint32_t code) {
    return code < kBandwidthTexts.size() ? std::string(kBandwidthTexts[code]) : std::string();
}

std::string ModelName(uint32_t typeCode) {
    for (const ModelEntry& m : kModels) {
        if (m.code == typeCode) return std::string(m.name);
    }
    return std::string(kModels[0].name);
}

uint16_t ModelCode(std::string_view name) {
    for (const ModelEntry& m : kModels) {
        if (m.name == name) return m.code;
    }
    return kModels[0].code;
}

const std::vector<uint16_t>& ModelCodes() {
    static const std::vector<uint16_t> codes = [] {
        std::vector<uint16_t> v;
        for (const ModelEntry& m : kModels) v.push_back(m.code);
        return v;
    }();
    return codes;
}

bool BridgeTransparentApplies(uint32_t typeCode, uint32_t workMode) {
    return !IsOneOf(typeCode, {4, 17, 261}) && !IsOneOf(workMode, {4, 5, 6, 7});
}

bool PxsyncApplies(uint32_t typeCode) {
    return IsOneOf(typeCode, {6, 8, 9, 10, 11, 15, 18, 265, 266, 267, 268, 269, 270});
}

std::string BridgeTransparentText(uint32_t typeCode, uint32_t workMode, uint32_t on) {
    return BridgeTransparentApplies(typeCode, workMode) ? OnOffText(on) : std::string("N/A");
}

std::string TdmaEnText(uint32_t typeCode, uint32_t on) {
    return PxsyncApplies(typeCode) ? OnOffText(on) : std::string("N/A");
}

std::string UptimeText(uint32_t seconds) {
    const uint32_t d = seconds / 86400;
    const uint32_t h = (seconds / 3600) % 24;
    const uint32_t m = (seconds / 60) % 60;
    const uint32_t s = seconds % 60;
    std::string hms = std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s);
    return d > 0 ? std::to_string(d) + " " + hms : hms;
}

std::string ChannelText(uint32_t channel) {
    return channel == 0 ? TranslateText("Auto") : std::to_string(channel);
}

bool IsHexText(std::string_view text) {
    for (char c : text) {
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

bool IsAsciiText(std::string_view text) {
    // A UTF-8 text holds a byte above 127 exactly when it holds a character
    // above 127, so looking at bytes answers the question for characters.
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 127) return false;
    }
    return true;
}

BandwidthChoices FillBandwidthChoices(uint32_t typeCode, uint32_t rfType, uint32_t networkMode,
                                      uint32_t currentBandwidth) {
    enum : int { k20 = 0, k40 = 1, kAuto = 2, k80 = 3, k10 = 4, k30 = 5, k50 = 6, k60 = 7 };
    std::vector<int> codes;
    if (rfType == 0) {
        if (networkMode <= 2) {
            codes = {k20};
        } else if (networkMode == 3 || networkMode == 4) {
            codes = {kAuto, k20, k40};
        }
    } else if (IsOneOf(typeCode, {10, 11, 268, 269, 270})) {
        codes = {kAuto, k10, k20, k30, k40};
        if (networkMode == 2) codes.insert(codes.end(), {k50, k60, k80});
    } else if (IsOneOf(typeCode, {6, 8, 9, 265, 266, 267})) {
        codes = {kAuto, k10, k20, k30, k40};
    } else if (IsOneOf(typeCode, {13, 271})) {
        codes = {kAuto, k20};
        if (networkMode == 1) codes.push_back(k40);
        if (networkMode == 2) codes.insert(codes.end(), {k40, k80});
    } else if (IsOneOf(typeCode, {15, 18})) {
        codes = {kAuto, k20, k40};
        if (networkMode == 2) codes.push_back(k80);
    } else {
        codes = {kAuto, k20, k40};
    }

    BandwidthChoices choices;
    for (int code : codes) {
        choices.items.emplace_back(std::string(kBandwidthTexts[static_cast<size_t>(code)]), code);
    }
    if (!choices.items.empty()) {
        choices.selected = 0;
        for (size_t i = 0; i < choices.items.size(); ++i) {
            if (static_cast<uint32_t>(choices.items[i].second) == currentBandwidth) {
                choices.selected = static_cast<int>(i);
                break;
            }
        }
    }
    return choices;
}

}  // namespace kestrix
