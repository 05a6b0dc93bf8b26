#include "store/field_texts.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using testing::LanguageScope;

// Every looked-up key is mapped to a marked text, so a test can tell a
// looked-up text from one shown as it is.
constexpr std::string_view kMarked =
    "[ProgramOutStr]\n"
    "outline=T:Outline\nonline=T:Online\nbridge success=T:Bridge success\n"
    "bridge fail=T:Bridge fail\nrestarting=T:Restarting\nreseting=T:Reseting\n"
    "upgrade wait=T:Upgrade wait\nupgrading=T:Upgrading\nupgrade success=T:Upgrade success\n"
    "upgrade fail=T:Upgrade fail\n"
    "ap=T:AP\nstation=T:Station\nuniversal repeater=T:Universal Repeater\nrepeater=T:Repeater\n"
    "p2mp=T:P2MP\nwisp=T:WISP\nrouter=T:Router\n"
    "disable=T:Disable\nwep=T:WEP\nwpa_psk=T:WPA_PSK\nwpa2_psk=T:WPA2_PSK\n"
    "wpawpa2_psk=T:WPAWPA2_PSK\nwpa=T:WPA\nwpa2=T:WPA2\n"
    "on2=T:On\noff2=T:Off\nauto=T:Auto\nn/a=T:NA\n20mhz=T:20\n";

TEST(FieldTexts, StatusWorkModeAndSecurityAreLookedUp) {
    LanguageScope lang("Marked", kMarked);
    const std::vector<std::string> status = {
        "Outline",  "Online",       "Bridge success", "Bridge fail",     "Restarting",
        "Reseting", "Upgrade wait", "Upgrading",      "Upgrade success", "Upgrade fail"};
    for (uint32_t c = 0; c < status.size(); ++c) EXPECT_EQ(StatusText(c), "T:" + status[c]) << c;
    EXPECT_EQ(StatusText(10), "");
    EXPECT_EQ(StatusText(0xFFFFFFFF), "");

    const std::vector<std::string> modes = {
        "AP", "Station", "Universal Repeater", "Repeater", "P2MP", "WISP", "Router"};
    EXPECT_EQ(WorkModeText(0), "");
    for (uint32_t c = 1; c <= 7; ++c) EXPECT_EQ(WorkModeText(c), "T:" + modes[c - 1]) << c;
    EXPECT_EQ(WorkModeText(8), "");

    const std::vector<std::string> secure = {"Disable",     "WEP", "WPA_PSK", "WPA2_PSK",
                                             "WPAWPA2_PSK", "WPA", "WPA2"};
    for (uint32_t c = 0; c <= 6; ++c) EXPECT_EQ(SecureModeText(c), "T:" + secure[c]) << c;
    EXPECT_EQ(SecureModeText(7), "");
}

TEST(FieldTexts, BandwidthTextsAreShownAsTheyAre) {
    LanguageScope lang("Marked", kMarked);
    const std::vector<std::string> texts = {"20MHz", "40MHz", "Auto",  "80MHz",
                                            "10MHz", "30MHz", "50MHz", "60MHz"};
    for (uint32_t c = 0; c < texts.size(); ++c) EXPECT_EQ(BandwidthText(c), texts[c]) << c;
    EXPECT_EQ(BandwidthText(8), "");
    // The same word as a channel is looked up.
    EXPECT_EQ(ChannelText(0), "T:Auto");
    EXPECT_EQ(ChannelText(149), "149");
    EXPECT_EQ(ChannelText(1), "1");
}

TEST(FieldTexts, ModelTableHas32DistinctWellFormedNames) {
    const std::vector<uint16_t>& codes = ModelCodes();
    std::vector<uint16_t> expected;
    for (uint16_t c = 1; c <= 13; ++c) expected.push_back(c);
    for (uint16_t c = 15; c <= 18; ++c) expected.push_back(c);
    for (uint16_t c = 257; c <= 271; ++c) expected.push_back(c);
    EXPECT_EQ(codes, expected);

    std::set<std::string> names;
    for (uint16_t code : codes) {
        const std::string name = ModelName(code);
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 12u) << name;
        for (char c : name) {
            const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.';
            EXPECT_TRUE(ok) << name;
        }
        names.insert(name);
        EXPECT_EQ(ModelCode(name), code) << name;
    }
    EXPECT_EQ(names.size(), 32u);
}

TEST(FieldTexts, UnknownModelsFallBackToCodeOne) {
    const std::string first = ModelName(1);
    for (uint32_t code : {0u, 14u, 19u, 256u, 272u, 300u, 65535u, 70000u}) {
        EXPECT_EQ(ModelName(code), first) << code;
    }
    EXPECT_NE(ModelName(2), first);
    EXPECT_NE(ModelName(271), first);

    std::string lower = ModelName(6);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, ModelName(6));
    EXPECT_EQ(ModelCode(lower), 1);
    EXPECT_EQ(ModelCode(""), 1);
    EXPECT_EQ(ModelCode(ModelName(6) + " "), 1);
}

TEST(FieldTexts, TransparentBridgeColumn) {
    LanguageScope lang("Marked", kMarked);
    EXPECT_EQ(BridgeTransparentText(17, 1, 1), "N/A");  // not looked up
    EXPECT_EQ(BridgeTransparentText(4, 1, 1), "N/A");
    EXPECT_EQ(BridgeTransparentText(261, 2, 0), "N/A");
    EXPECT_EQ(BridgeTransparentText(6, 5, 1), "N/A");
    for (uint32_t mode : {4u, 5u, 6u, 7u}) EXPECT_EQ(BridgeTransparentText(1, mode, 1), "N/A");
    EXPECT_EQ(BridgeTransparentText(6, 1, 0), "T:Off");
    EXPECT_EQ(BridgeTransparentText(6, 3, 7), "T:On");
    EXPECT_EQ(BridgeTransparentText(262, 0, 1), "T:On");
    EXPECT_TRUE(BridgeTransparentApplies(6, 2));
    EXPECT_FALSE(BridgeTransparentApplies(17, 2));
}

TEST(FieldTexts, PxsyncColumn) {
    LanguageScope lang("Marked", kMarked);
    const std::set<uint32_t> capable = {6, 8, 9, 10, 11, 15, 18, 265, 266, 267, 268, 269, 270};
    for (uint32_t code = 0; code <= 280; ++code) {
        EXPECT_EQ(PxsyncApplies(code), capable.count(code) == 1) << code;
    }
    EXPECT_EQ(TdmaEnText(7, 1), "N/A");
    EXPECT_EQ(TdmaEnText(271, 1), "N/A");
    EXPECT_EQ(TdmaEnText(270, 1), "T:On");
    EXPECT_EQ(TdmaEnText(6, 0), "T:Off");
}

TEST(FieldTexts, UptimeHasNoZeroFill) {
    EXPECT_EQ(UptimeText(0), "0:0:0");
    EXPECT_EQ(UptimeText(59), "0:0:59");
    EXPECT_EQ(UptimeText(3725), "1:2:5");
    EXPECT_EQ(UptimeText(86399), "23:59:59");
    EXPECT_EQ(UptimeText(86400), "1 0:0:0");
    EXPECT_EQ(UptimeText(90061), "1 1:1:1");
    EXPECT_EQ(UptimeText(0xFFFFFFFFu), "49710 6:28:15");
}

TEST(FieldTexts, HexAndAsciiClasses) {
    EXPECT_TRUE(IsHexText(""));
    EXPECT_TRUE(IsHexText("0123456789abcdefABCDEF"));
    EXPECT_FALSE(IsHexText("0g"));
    EXPECT_FALSE(IsHexText("12 3"));
    EXPECT_FALSE(IsHexText("\xEF\xBC\x91"));  // a full-width digit
    EXPECT_TRUE(IsAsciiText(""));
    EXPECT_TRUE(IsAsciiText(std::string("\x01 ~\x7F", 4)));
    EXPECT_FALSE(IsAsciiText("caf\xC3\xA9"));
    EXPECT_FALSE(IsAsciiText("\xE4\xB8\xAD"));
}

std::vector<int> Codes(const BandwidthChoices& c) {
    std::vector<int> codes;
    for (const auto& item : c.items) codes.push_back(item.second);
    return codes;
}

TEST(BandwidthChoices, TwoPointFourGigahertzRadio) {
    for (uint32_t mode : {0u, 1u, 2u}) {
        BandwidthChoices c = FillBandwidthChoices(2, 0, mode, 1);
        EXPECT_EQ(Codes(c), std::vector<int>({0})) << mode;
        EXPECT_EQ(c.selected, 0);  // the current code 1 is not offered
        EXPECT_EQ(c.items[0].first, "20MHz");
    }
    for (uint32_t mode : {3u, 4u}) {
        BandwidthChoices c = FillBandwidthChoices(10, 0, mode, 1);
        EXPECT_EQ(Codes(c), std::vector<int>({2, 0, 1})) << mode;
        EXPECT_EQ(c.selected, 2);
    }
    BandwidthChoices none = FillBandwidthChoices(2, 0, 5, 0);
    EXPECT_TRUE(none.items.empty());
    EXPECT_EQ(none.selected, -1);
}

TEST(BandwidthChoices, FiveGigahertzRadioByType) {
    for (uint32_t type : {10u, 11u, 268u, 269u, 270u}) {
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 1, 0)), std::vector<int>({2, 4, 0, 5, 1}));
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 2, 0)),
                  std::vector<int>({2, 4, 0, 5, 1, 6, 7, 3}));
    }
    for (uint32_t type : {6u, 8u, 9u, 265u, 266u, 267u}) {
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 2, 0)), std::vector<int>({2, 4, 0, 5, 1}));
    }
    for (uint32_t type : {13u, 271u}) {
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 0, 0)), std::vector<int>({2, 0}));
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 1, 0)), std::vector<int>({2, 0, 1}));
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 2, 0)), std::vector<int>({2, 0, 1, 3}));
    }
    for (uint32_t type : {15u, 18u}) {
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 1, 0)), std::vector<int>({2, 0, 1}));
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 1, 2, 0)), std::vector<int>({2, 0, 1, 3}));
    }
    for (uint32_t type : {1u, 12u, 257u}) {
        EXPECT_EQ(Codes(FillBandwidthChoices(type, 2, 2, 0)), std::vector<int>({2, 0, 1}));
    }
}

TEST(BandwidthChoices, SelectionAndTexts) {
    BandwidthChoices c = FillBandwidthChoices(13, 1, 2, 3);
    ASSERT_EQ(c.items.size(), 4u);
    EXPECT_EQ(c.items[0].first, "Auto");
    EXPECT_EQ(c.items[1].first, "20MHz");
    EXPECT_EQ(c.items[2].first, "40MHz");
    EXPECT_EQ(c.items[3].first, "80MHz");
    EXPECT_EQ(c.selected, 3);

    BandwidthChoices wide = FillBandwidthChoices(270, 1, 2, 7);
    EXPECT_EQ(wide.items[static_cast<size_t>(wide.selected)].first, "60MHz");
    EXPECT_EQ(FillBandwidthChoices(270, 1, 2, 99).selected, 0);
    EXPECT_EQ(FillBandwidthChoices(15, 1, 1, 3).selected, 0);  // 80MHz not offered in mode 1
}

TEST(BandwidthChoices, ItemTextsAreNotLookedUp) {
    LanguageScope lang("Marked", kMarked);
    BandwidthChoices c = FillBandwidthChoices(13, 1, 2, 0);
    EXPECT_EQ(c.items[0].first, "Auto");
    EXPECT_EQ(c.items[1].first, "20MHz");
}

}  // namespace
}  // namespace kestrix
