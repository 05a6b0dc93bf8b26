// The bridge wizard's decisions: how the security step starts from a scanned
// access point, the checks of both steps, and the SetBridge bytes.

#include "fleet/bridge_wizard.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/addr_text.h"

namespace kestrix::testing {
namespace {

ap_info_stu Device(uint16_t type, uint8_t rfType = 1, uint8_t countryCode = 0, uint8_t dfs = 0) {
    ap_info_stu r;
    r.set_mac("00:11:22:33:44:55");
    r.set_ap_type(type);
    DeviceInfoBlock info;
    AddressBlock a;
    a.set_ip(IpTextToBytes("192.168.1.20"));
    a.set_ip_mask(IpTextToBytes("255.255.255.0"));
    a.set_ip_gateway(IpTextToBytes("192.168.1.1"));
    a.set_ip_dns1(IpTextToBytes("8.8.8.8"));
    info.set_address(a);
    WirelessBlock w;
    w.set_rf_type(rfType);
    w.set_country_code(countryCode);
    w.set_network_mode(kMode5AC);
    w.set_bandwidth(kBw20);
    info.set_wireless(w);
    ExtensionBlock e;
    e.set_wl_dfs(dfs);
    info.set_extension(e);
    r.set_info(info);
    return r;
}

config_otherwl_basic AccessPoint(uint8_t secure, uint8_t channel = 149, uint8_t bandwidth = kBw40) {
    config_otherwl_basic e;
    e.set_mac(MacTextToBytes("a0:b1:c2:d3:e4:f5"));
    e.set_signal(-55);
    e.set_channel(channel);
    e.set_secure_mode(secure);
    e.set_ssid("Tower-North");
    e.set_bandwidth(bandwidth);
    return e;
}

TEST(BridgeWizardSecurity, TheScanCodeChoosesModeAndCipherOnEveryType) {
    using C = PskCipher;
    struct Case {
        uint8_t code;
        int mode;
        PskCipher cipher;
    };
    const Case cases[] = {
        {0, kSecurityNone, C::kAes},
        {2, kSecurityWpaPsk, C::kAes},
        {3, kSecurityWpaPsk, C::kTkip},
        {4, kSecurityWpa2Psk, C::kAes},
        {5, kSecurityWpa2Psk, C::kTkip},
        {6, kSecurityWpa2Psk, C::kTkipAes},
        {7, kSecurityMixed, C::kAes},
        {8, kSecurityMixed, C::kTkip},
        {9, kSecurityMixed, C::kTkipAes},
        // WPA-PSK has no TKIP&AES: the tick moves to AES.
        {10, kSecurityWpaPsk, C::kAes},
        {77, kSecurityNone, C::kAes},
    };
    for (uint16_t type : {15, 5}) {
        for (const Case& c : cases) {
            SCOPED_TRACE("type " + std::to_string(type) + " code " + std::to_string(c.code));
            const BridgeSecurity s = InitialSecurity(AccessPoint(c.code), Device(type));
            EXPECT_EQ(s.mode, c.mode);
            EXPECT_EQ(s.cipher, c.cipher);
            EXPECT_EQ(s.ssid, "Tower-North");
            EXPECT_EQ(s.Channel(), 149);
        }
    }
}

TEST(BridgeWizardSecurity, WepIsOfferedToTypes15And18AndToAnyTypeWhoseAccessPointUsesIt) {
    auto codes = [](const std::vector<RadioEntry>& modes) {
        std::vector<int> out;
        for (const RadioEntry& e : modes) out.push_back(e.code);
        return out;
    };
    EXPECT_EQ(codes(BridgeSecurityModes(15, false)), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(codes(BridgeSecurityModes(18, false)), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(codes(BridgeSecurityModes(5, false)), (std::vector<int>{0, 2, 3, 4}));

    const BridgeSecurity wepOn5 = InitialSecurity(AccessPoint(1), Device(5));
    EXPECT_EQ(codes(wepOn5.modes), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(wepOn5.mode, kSecurityWep);
    EXPECT_TRUE(FieldsOfMode(wepOn5.mode).wepPanel);
    EXPECT_EQ(wepOn5.wep.auth, 0);
    // Another access point of the same device gets the type's own list.
    EXPECT_EQ(codes(InitialSecurity(AccessPoint(4), Device(5)).modes),
              (std::vector<int>{0, 2, 3, 4}));
}

TEST(BridgeWizardSecurity, ChannelAndBandwidthListsComeFromTheRecordAndTheEntry) {
    // Type 15 in the "Test" country (slot 61) with DFS: the wizard also
    // leaves out 120, 124 and 128.
    const BridgeSecurity test = InitialSecurity(AccessPoint(0, 124), Device(15, 1, 61, 1));
    const std::vector<int> channels = test.channels.Codes();
    for (int skipped : {120, 124, 128})
        EXPECT_EQ(std::count(channels.begin(), channels.end(), skipped), 0) << skipped;
    EXPECT_EQ(test.Channel(), 0);  // not offered: the first entry, "Auto"
    EXPECT_FALSE(test.bandwidthShown);

    // Type 10, China, 5 GHz: the access point's 40 MHz is chosen; the
    // channels follow the device's own 20 MHz until the list changes.
    const BridgeSecurity t10 = InitialSecurity(AccessPoint(0, 149, kBw40), Device(10, 1, 0));
    EXPECT_TRUE(t10.bandwidthShown);
    EXPECT_EQ(t10.bandwidths.SelectedCode(), kBw40);
    EXPECT_EQ(t10.channels.Codes(), (std::vector<int>{0, 36, 40, 44, 48, 149, 153, 157, 161, 165}));
    EXPECT_EQ(BridgeChannelList(Device(10, 1, 0), kBw40, 165).SelectedCode(), 0);
}

BridgeSecurity Psk(std::string key, int mode = kSecurityWpa2Psk) {
    BridgeSecurity s;
    s.ssid = "Tower";
    s.mode = mode;
    s.key = std::move(key);
    return s;
}

TEST(BridgeWizardSecurity, ChecksInOrderWithTheirMessages) {
    const std::string hex64(64, 'a');
    const std::string g64 = std::string(63, 'a') + "g";
    BridgeSecurity blankSsid = Psk("");
    blankSsid.ssid.clear();
    BridgeSecurity strictSpace = Psk(hex64);
    strictSpace.ssid = "two words";
    BridgeSecurity wepNoDefault;
    wepNoDefault.ssid = "Tower";
    wepNoDefault.mode = kSecurityWep;
    wepNoDefault.wep.defaultKey = 1;
    wepNoDefault.wep.keys = {"abcde", "", "", ""};
    BridgeSecurity wepGood = wepNoDefault;
    wepGood.wep.defaultKey = 0;
    BridgeSecurity noneEmptyKey = Psk("", kSecurityNone);
    struct Case {
        const char* what;
        BridgeSecurity s;
        uint16_t type;
        const char* key;  // nullptr: accepted
    };
    const char* kPsk = "Please enter a key for 8~63 ASCII characters or 8~64 HEX characters!";
    const Case cases[] = {
        {"empty ssid before the key", blankSsid, 5, "The ssid can not be empty!"},
        {"strict set", strictSpace, 4,
         "SSID maximum allowed 32 bytes, only support combination of Chinese, lowercase letters, "
         "0-9 numbers"},
        {"open set takes a space", strictSpace, 5, nullptr},
        {"64 with a non-hex", Psk(g64), 5, kPsk},
        {"64 hex", Psk(hex64), 5, nullptr},
        {"63 ascii with g", Psk(std::string(62, 'a') + "g"), 5, nullptr},
        {"7 characters", Psk("1234567", kSecurityMixed), 5, kPsk},
        {"wpa-psk too", Psk("", kSecurityWpaPsk), 5, kPsk},
        {"wep default key empty", wepNoDefault, 15, "Please enter the WEP key2!"},
        {"wep good", wepGood, 15, nullptr},
        {"none needs no key", noneEmptyKey, 5, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RuleResult r = CheckBridgeSecurity(c.s, c.type);
        if (c.key == nullptr) {
            EXPECT_TRUE(r.accepted) << r.key;
        } else {
            EXPECT_FALSE(r.accepted);
            EXPECT_EQ(r.key, c.key);
        }
    }
}

TEST(BridgeWizardBlocks, WepPayloadByteByByte) {
    BridgeSecurity s;
    s.ssid = "北门";
    s.mode = kSecurityWep;
    s.key = "ignored-in-wep";
    s.wep.auth = 1;
    s.wep.defaultKey = 2;
    s.wep.keys = {"  abcde", "", "0123456789", ""};
    s.wep.formats = {WepKeyFormat::kAscii, WepKeyFormat::kAscii, WepKeyFormat::kHex,
                     WepKeyFormat::kAscii};
    const std::vector<uint8_t> p =
        BridgePayload(BuildBridgeBlock(s, MacTextToBytes("00:00:00:00:00:01")), AddressBlock());
    ASSERT_EQ(p.size(), 328u);

    std::vector<uint8_t> want(328, 0);
    want[0] = 2;
    want[6] = 1;
    const std::string ssid = "北门";  // UTF-8 on the wire, 6 bytes
    std::copy(ssid.begin(), ssid.end(), want.begin() + 8);
    want[40] = 6;
    want[42] = kSecurityWep;
    want[42 + 71] = 1;
    want[42 + 72] = 2;
    auto key = [&](int k, const std::string& text, uint8_t format) {
        const size_t at = 42 + 73 + 28 * static_cast<size_t>(k);
        want[at] = format;
        std::copy(text.begin(), text.end(), want.begin() + static_cast<long>(at) + 1);
        want[at + 1 + 26] = static_cast<uint8_t>(text.size());
    };
    key(0, "abcde", 0);  // as it was checked
    key(2, "0123456789", 1);
    EXPECT_EQ(p, want);
}

TEST(BridgeWizardAddress, TheDevicesOwnAddressSkipsTheInUseTest) {
    const ap_info_stu record = Device(5);
    AddressSet a = InitialBridgeAddress(record);
    EXPECT_EQ(a.ip, "192.168.1.20");
    EXPECT_EQ(a.gateway, "192.168.1.1");
    EXPECT_EQ(a.dns2, "0.0.0.0");
    const Ipv4Bytes current = record.info().address().ip();
    const std::vector<std::string> stored = {"192.168.1.20", "192.168.1.21"};
    EXPECT_TRUE(CheckBridgeAddress(a, current, stored).accepted);
    a.ip = "192.168.1.21";
    EXPECT_EQ(CheckBridgeAddress(a, current, stored).key,
              "The ip address is already in use, please respecify!");
    a.ip = "192.168.1.22";
    EXPECT_TRUE(CheckBridgeAddress(a, current, stored).accepted);
    a.dns2 = a.dns1;
    EXPECT_EQ(CheckBridgeAddress(a, current, stored).key,
              "The primary DNS server cannot be the same as the secondary DNS server!");
}

TEST(BridgeWizardScan, SignalPicturesAndTheModeSwitch) {
    for (auto [signal, image] :
         {std::pair{-30, 5}, {-59, 5}, {-60, 3}, {-74, 3}, {-75, 1}, {-90, 1}})
        EXPECT_EQ(SignalImage(signal), image) << signal;
    for (auto [position, blocks] : {std::pair{0, false}, {1, true}, {2, false}, {3, true}}) {
        ap_info_stu r = Device(5);
        DeviceInfoBlock info = r.info();
        info.set_mode_btn_status(static_cast<uint8_t>(position));
        r.set_info(info);
        EXPECT_EQ(ModeSwitchBlocksBridge(r), blocks) << position;
    }
}

}  // namespace
}  // namespace kestrix::testing
