// kestrix-cli bridge: what its command line accepts and refuses, and how
// its options override what the wizard's steps start with.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/addr_text.h"
#include "tools/cli/cli_options.h"

namespace kestrix::cli {
namespace {

const char* const kDevice = "00:11:22:33:44:55";
const char* const kAp = "a0:b1:c2:d3:e4:f5";

ParseOutcome Parse(std::vector<std::string> extra) {
    std::vector<std::string> args = {"bridge", "--mac", kDevice, "--ap", kAp};
    args.insert(args.end(), extra.begin(), extra.end());
    return ParseArguments(args);
}

ap_info_stu Device(uint16_t type) {
    ap_info_stu r;
    r.set_mac(kDevice);
    r.set_ap_type(type);
    DeviceInfoBlock info;
    AddressBlock a;
    a.set_ip(IpTextToBytes("192.168.1.20"));
    a.set_ip_mask(IpTextToBytes("255.255.255.0"));
    info.set_address(a);
    WirelessBlock w;
    w.set_rf_type(1);
    w.set_country_code(0);  // China
    w.set_network_mode(kMode5AN);
    w.set_bandwidth(kBw20);
    info.set_wireless(w);
    r.set_info(info);
    return r;
}

config_otherwl_basic Entry(uint8_t secure) {
    config_otherwl_basic e;
    e.set_mac(MacTextToBytes(kAp));
    e.set_channel(149);
    e.set_secure_mode(secure);
    e.set_ssid("Tower");
    e.set_bandwidth(kBw20);
    return e;
}

TEST(CliBridge, CommandLinesRefusedBeforeAnythingIsSent) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"bridge", "--mac", kDevice}, "needs --ap"},
        {{"bridge", "--mac", kDevice, "--mac", "00:11:22:33:44:56", "--ap", kAp}, "one --mac"},
        {{"bridge", "--ip", "1.2.3.4", "--ap", kAp}, "one --mac"},
        {{"bridge", "--all", "--ap", kAp}, "one --mac"},
        {{"bridge", "--mac", kDevice, "--ap", "a0:b1"}, "not a MAC"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--security", "wpa3"}, "--security takes"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--cipher", "des"}, "--cipher takes"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--wep-default", "5"}, "1, 2, 3 or 4"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--wep-format2", "bin"}, "ascii|hex"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--wep-key5", "x"}, "Unknown option"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--channel", "abc"}, "--channel takes"},
        {{"bridge", "--mac", kDevice, "--ap", kAp, "--begin", "1.2.3.4"}, "does not apply"},
    };
    for (const Case& c : cases) {
        const ParseOutcome p = ParseArguments(c.args);
        EXPECT_FALSE(p.ok) << c.says;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << p.error;
    }
    const ParseOutcome ok = Parse({"--security", "WEP", "--wep-key3=0123456789", "--wep-format3",
                                   "hex", "--mask", "255.255.0.0", "--yes"});
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.options.command, Command::kBridge);
    EXPECT_EQ(ok.options.bridge.ap, kAp);
    EXPECT_EQ(ok.options.bridge.wepKeys[2], "0123456789");
    EXPECT_EQ(ok.options.bridge.mask, "255.255.0.0");
    EXPECT_TRUE(ok.options.yes);
}

TEST(CliBridge, OptionsOverrideTheWizardsStartAndAreHeldToItsLists) {
    struct Case {
        const char* what;
        uint16_t type;
        uint8_t secure;
        std::vector<std::string> extra;
        const char* error;  // nullptr: applied
    };
    const Case cases[] = {
        {"channel offered", 5, 4, {"--channel", "36"}, nullptr},
        {"channel filtered", 5, 4, {"--channel", "100"}, "not offered"},
        {"no bandwidth choice", 5, 4, {"--bandwidth", "40MHz"}, "no bandwidth choice"},
        {"bandwidth offered", 10, 4, {"--bandwidth", "40MHz"}, nullptr},
        {"bandwidth not offered", 13, 4, {"--bandwidth", "80MHz"}, "not offered"},
        {"wep not on type 5", 5, 4, {"--security", "wep"}, "not offered"},
        {"wep for a wep access point", 5, 1, {"--wep-key1", "abcde"}, nullptr},
        {"tkip+aes with wpa-psk",
         5,
         4,
         {"--security", "wpa-psk", "--cipher", "tkip+aes"},
         "not offered with wpa-psk"},
        {"key with none", 5, 0, {"--key", "secretpass"}, "apply to wpa-psk"},
        {"wep options with wpa2", 5, 4, {"--wep-auth", "share"}, "apply to wep only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ParseOutcome p = Parse(c.extra);
        ASSERT_TRUE(p.ok) << p.error;
        BridgePlan plan;
        const auto error =
            ApplyBridgeOptions(p.options.bridge, Device(c.type), Entry(c.secure), plan);
        if (c.error == nullptr) {
            EXPECT_FALSE(error.has_value()) << *error;
        } else {
            ASSERT_TRUE(error.has_value());
            EXPECT_NE(error->find(c.error), std::string::npos) << *error;
        }
    }
}

TEST(CliBridge, WhatIsNotGivenIsWhatTheWizardStartsWith) {
    const ParseOutcome p = Parse({"--key", "secretpass", "--cipher", "tkip", "--address",
                                  "192.168.1.30", "--key-time", "600"});
    ASSERT_TRUE(p.ok) << p.error;
    BridgePlan plan;
    ASSERT_FALSE(ApplyBridgeOptions(p.options.bridge, Device(5), Entry(4), plan).has_value());
    EXPECT_EQ(plan.security.ssid, "Tower");
    EXPECT_EQ(plan.security.Channel(), 149);
    EXPECT_EQ(plan.security.mode, kSecurityWpa2Psk);
    EXPECT_EQ(plan.security.cipher, PskCipher::kTkip);
    EXPECT_EQ(plan.security.key, "secretpass");
    EXPECT_EQ(plan.address.ip, "192.168.1.30");
    EXPECT_EQ(plan.address.mask, "255.255.255.0");
    // Switching the mode to WPA-PSK moves a TKIP&AES tick to AES, as the
    // wizard's radios do.
    const ParseOutcome mixed = Parse({"--security", "wpa-psk"});
    ASSERT_FALSE(ApplyBridgeOptions(mixed.options.bridge, Device(5), Entry(6), plan).has_value());
    EXPECT_EQ(plan.security.cipher, PskCipher::kAes);
}

}  // namespace
}  // namespace kestrix::cli
