// One device's configuration: the four views' Collect against what a device
// must receive, byte by byte, and the Save sequence's order of commands.

#include "fleet/device_config.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/addr_text.h"
#include "tests/support/config_records.h"

namespace kestrix {
namespace {

using testing::ConfiguredDevice;
using Spec = testing::DeviceSpec;

ap_info_stu Device(const Spec& s) {
    return ConfiguredDevice(s);
}

Spec FiveGhz(uint16_t type) {
    return testing::FiveGhzSpec(type);
}

std::vector<int> Codes(const RadioList& l) {
    return l.Codes();
}

// Records every call in order, as the link would receive them.
class Recorder : public CommandSink {
public:
    struct Call {
        std::string what;
        MsgType type = MsgType::Announce;
        std::vector<uint8_t> payload;
        std::string newIp;
    };
    bool SendToDevice(const std::string&, MsgType type, const uint8_t* payload, size_t length,
                      const std::string&, bool retry) override {
        EXPECT_TRUE(retry);
        calls.push_back({"send", type, {payload, payload + length}, {}});
        return true;
    }
    void NoteNewAddress(const std::string&, const std::string&, const std::string& newIp) override {
        calls.push_back({"note", MsgType::Announce, {}, newIp});
    }
    std::vector<MsgType> Types() const {
        std::vector<MsgType> t;
        for (const Call& c : calls)
            if (c.what == "send") t.push_back(c.type);
        return t;
    }
    std::vector<Call> calls;
};

// ---- Wireless --------------------------------------------------------------

TEST(WirelessSettings, OpeningAndSavingChangesNothing) {
    Spec type12Wpa;  // a mode the type does not offer stays as reported
    type12Wpa.type = 12;
    type12Wpa.secureMode = 5;
    Spec unknownCountry;
    unknownCountry.countryCode = 7;  // "NL": a code without an entry
    Spec stationMode;
    stationMode.workMode = 2;
    Spec otherTypeWithDfsByte;
    otherTypeWithDfsByte.dfs = 1;
    Spec type18 = FiveGhz(18);
    type18.dfs = 1;
    type18.channel = 100;
    Spec notOffered;  // set on the device's own page: the US list stops at 11
    notOffered.channel = 13;
    Spec fiveNotOffered = FiveGhz(1);
    fiveNotOffered.channel = 165;
    fiveNotOffered.bandwidth = 3;
    for (const Spec& s : {Spec{}, FiveGhz(10), type18, type12Wpa, unknownCountry, stationMode,
                          otherTypeWithDfsByte, notOffered, fiveNotOffered}) {
        const ap_info_stu r = Device(s);
        const WirelessSettings::Result out = WirelessSettings(r).Collect();
        ASSERT_FALSE(out.failure) << out.failure->rule.key;
        EXPECT_FALSE(out.changed) << s.type << " mode " << int(s.workMode);
        EXPECT_EQ(out.block, r.info().wireless());
    }
}

TEST(WirelessSettings, AChannelTheListsLackGoesOnlyWhenTheRadioIsTouched) {
    Spec s;
    s.channel = 13;
    WirelessSettings w(Device(s));
    EXPECT_EQ(w.Channels().SelectedCode(), 0);  // not offered: the first entry shows
    w.Entries().ssid = "renamed";
    EXPECT_EQ(w.Collect().block.channel(), 13);
    w.SelectBandwidth(IndexOfCode(w.Bandwidths(), kBwAuto));
    const WirelessSettings::Result out = w.Collect();
    EXPECT_EQ(out.block.channel(), 0);
    EXPECT_EQ(out.block.bandwidth(), kBwAuto);
    EXPECT_TRUE(out.changed);
}

TEST(WirelessSettings, FillSelectsFromTheRecord) {
    WirelessSettings us(Device({}));
    EXPECT_EQ(Codes(us.Channels()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(us.Channels().SelectedCode(), 6);
    EXPECT_EQ(Codes(us.Extensions()), (std::vector<int>{0, 1}));  // 2 and 10
    EXPECT_EQ(us.Extensions().entries[1].text, "10");
    EXPECT_EQ(us.Extensions().SelectedCode(), 1);
    EXPECT_EQ(us.PowerRange(), "(8-26)");

    Spec nl;
    nl.countryCode = 7;
    EXPECT_EQ(WirelessSettings(Device(nl)).Countries().selected, -1);

    // Types 12, 13 and 271 offer neither WEP nor the enterprise modes.
    for (uint16_t t : {12, 13, 271}) {
        Spec s;
        s.type = t;
        EXPECT_EQ(Codes(WirelessSettings(Device(s)).SecurityModes()),
                  (std::vector<int>{0, 2, 3, 4}));
    }
    EXPECT_EQ(Codes(WirelessSettings(Device({})).SecurityModes()).size(), 7u);
}

TEST(WirelessSettings, ChangeHandlersRebuildTheDependentLists) {
    // 5 GHz, type 10, 11ac at 80 MHz: switching to 11a drops 80 MHz; the
    // channels follow the bandwidth now selected.
    Spec s = FiveGhz(10);
    s.bandwidth = 3;
    s.channel = 36;
    WirelessSettings w(Device(s));
    ASSERT_EQ(w.Bandwidths().SelectedCode(), kBw80);
    w.SelectNetworkMode(IndexOfCode(w.NetworkModes(), kMode5A));
    EXPECT_EQ(w.Bandwidths().SelectedCode(), kBwAuto);
    EXPECT_EQ(Codes(w.Channels()), (std::vector<int>{0, 36, 40, 44, 48, 149, 153, 157, 161, 165}));
    EXPECT_EQ(w.Channels().SelectedCode(), 36);  // still offered: kept

    // DFS on a type-15 device adds the group's 100..140.
    Spec d = FiveGhz(15);
    WirelessSettings dfs(Device(d));
    EXPECT_EQ(IndexOfCode(dfs.Channels(), 100), -1);
    dfs.SetDfs(true);
    EXPECT_NE(IndexOfCode(dfs.Channels(), 100), -1);
    EXPECT_NE(IndexOfCode(dfs.Channels(), 132), -1);

    // 2.4 GHz: channel 3 leaves only 7 as extension; the country change
    // rebuilds the channels (Germany: 1..13).
    WirelessSettings g(Device({}));
    g.SelectChannel(IndexOfCode(g.Channels(), 3));
    EXPECT_EQ(g.Extensions().entries.size(), 1u);
    EXPECT_EQ(g.Extensions().entries[0].text, "7");
    g.SelectCountry(static_cast<int>(*FindCountry("Germany")));
    EXPECT_EQ(g.Channels().Codes().back(), 13);
    EXPECT_EQ(g.Channels().SelectedCode(), 3);

    // Work mode 6 keeps the channel list as it is when the mode changes.
    Spec six;
    six.workMode = 6;
    WirelessSettings locked(Device(six));
    const std::vector<int> before = Codes(locked.Channels());
    locked.SelectBandwidth(IndexOfCode(locked.Bandwidths(), kBw20));
    EXPECT_EQ(Codes(locked.Channels()), before);
    EXPECT_EQ(Codes(locked.Extensions()), (std::vector<int>{0, 1}));

    // WPA-PSK cannot keep TKIP and AES together.
    WirelessSettings c(Device({}));
    c.SelectCipher(PskCipher::kTkipAes);
    c.SelectSecurity(IndexOfCode(c.SecurityModes(), kSecWpaPsk));
    EXPECT_EQ(c.Cipher(), PskCipher::kAes);
    c.SelectCipher(PskCipher::kTkipAes);
    EXPECT_EQ(c.Cipher(), PskCipher::kAes);
}

TEST(WirelessSettings, CollectWritesTheEditedFields) {
    struct Case {
        const char* what;
        Spec spec;
        std::function<void(WirelessSettings&)> edit;
        std::function<void(const WirelessBlock&, const ExtensionBlock&)> check;
    };
    const Case cases[] = {
        {"none keeps every other security field",
         {},
         [](WirelessSettings& w) { w.SelectSecurity(IndexOfCode(w.SecurityModes(), kSecNone)); },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             EXPECT_EQ(b.security().secure_mode(), 0);
             EXPECT_EQ(b.security().wpapsk_key_value(), "correct-horse");
             EXPECT_EQ(b.security().wpa_radius_port(), 1812);
         }},
        {"wpa2-psk key, cipher and interval",
         {},
         [](WirelessSettings& w) {
             w.SelectCipher(PskCipher::kTkipAes);
             w.Entries().pskKey = std::string(64, 'a');
             w.Entries().pskInterval = "0";
         },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             EXPECT_EQ(b.security().wpapsk_auth_type(), 2);
             EXPECT_EQ(b.security().wpapsk_key_value(), std::string(64, 'a'));
             EXPECT_EQ(b.data()[64 + 66], 64);  // length byte
             EXPECT_EQ(b.security().wpapsk_key_time(), 0u);
         }},
        {"wep keys and formats",
         {},
         [](WirelessSettings& w) {
             w.SelectSecurity(IndexOfCode(w.SecurityModes(), kSecWep));
             w.Entries().wep.authType = 1;
             w.Entries().wep.defaultKey = 2;
             w.Entries().wep.keys = {"", "", "0123456789", "abcde"};
             w.Entries().wep.formats[2] = WepKeyFormat::kHex;
         },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             const SecurityBlock s = b.security();
             EXPECT_EQ(s.secure_mode(), 1);
             EXPECT_EQ(s.wep_auth_type(), 1);
             EXPECT_EQ(s.wep_key_index(), 3);
             EXPECT_EQ(s.wep_key_type(2), 1);
             EXPECT_EQ(s.wep_key_value(2), "0123456789");
             EXPECT_EQ(s.wep_key_value(3), "abcde");
             EXPECT_EQ(s.wpapsk_key_value(), "correct-horse");
         }},
        {"radius server, port, key",
         {},
         [](WirelessSettings& w) {
             w.SelectSecurity(IndexOfCode(w.SecurityModes(), kSecWpa2));
             w.Entries().wpa = {2, IpTextToBytes("10.9.8.7"), "65535", "k", "60"};
         },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             const SecurityBlock s = b.security();
             EXPECT_EQ(s.secure_mode(), 6);
             EXPECT_EQ(IpBytesToText(s.wpa_radius_ip()), "10.9.8.7");
             EXPECT_EQ(s.wpa_radius_port(), 65535);
             EXPECT_EQ(s.wpa_auth_type(), 2);
             EXPECT_EQ(s.wpa_key(), "k");
             EXPECT_EQ(s.wpa_key_time(), 60u);
         }},
        {"ssid, hide, power, country",
         {},
         [](WirelessSettings& w) {
             w.Entries().ssid = "新的网络";
             w.Entries().hideSsid = true;
             w.Entries().power = "26";
             w.SelectCountry(static_cast<int>(*FindCountry("Germany")));
         },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             EXPECT_EQ(b.ssid(), "新的网络");
             EXPECT_EQ(b.data()[63], 12);
             EXPECT_EQ(b.ssid_hide(), 1);
             EXPECT_EQ(b.tx_power(), 26);
             EXPECT_EQ(b.country_code(), 6);  // "DE"
         }},
        {"20 MHz on 2.4 GHz has no extension channel",
         {},
         [](WirelessSettings& w) { w.SelectBandwidth(IndexOfCode(w.Bandwidths(), kBw20)); },
         [](const WirelessBlock& b, const ExtensionBlock&) {
             EXPECT_EQ(b.bandwidth(), 0);
             EXPECT_EQ(b.expand_channel(), 2);
         }},
        {"dfs on type 18: block equal, extension differs", FiveGhz(18),
         [](WirelessSettings& w) { w.SetDfs(true); },
         [](const WirelessBlock& b, const ExtensionBlock& x) {
             EXPECT_EQ(b.channel(), 149);
             EXPECT_EQ(x.wl_dfs(), 1);
             ExtensionBlock onlyDfs;
             onlyDfs.set_wl_dfs(1);
             EXPECT_EQ(x, onlyDfs);
         }},
        {"unknown country keeps its code",
         [] {
             Spec s;
             s.countryCode = 7;
             return s;
         }(),
         [](WirelessSettings& w) { w.Entries().power = "21"; },
         [](const WirelessBlock& b, const ExtensionBlock&) { EXPECT_EQ(b.country_code(), 7); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ap_info_stu r = Device(c.spec);
        WirelessSettings w(r);
        c.edit(w);
        const WirelessSettings::Result out = w.Collect();
        ASSERT_FALSE(out.failure) << out.failure->rule.key;
        EXPECT_TRUE(out.changed);
        c.check(out.block, out.extension);
        // Outside the edited fields the block is the record's copy.
        EXPECT_EQ(out.block.rf_type(), r.info().wireless().rf_type());
        EXPECT_EQ(out.block.tx_power_max(), 26);
    }
}

TEST(WirelessSettings, FailingRulesNameTheirField) {
    struct Case {
        std::function<void(WirelessSettings&)> edit;
        std::string key;
        ConfigField field;
    };
    auto mode = [](int m) {
        return [m](WirelessSettings& w) { w.SelectSecurity(IndexOfCode(w.SecurityModes(), m)); };
    };
    const Case cases[] = {
        {[](WirelessSettings& w) { w.Entries().ssid = ""; }, "The ssid can not be empty!",
         ConfigField::kSsid},
        {[](WirelessSettings& w) { w.Entries().power = "27"; }, "Power value range:%d-%d",
         ConfigField::kTxPower},
        {[](WirelessSettings& w) { w.Entries().pskKey = "short"; },
         "Please enter a key for 8~63 ASCII characters or 8~64 HEX characters!",
         ConfigField::kPskKey},
        {[](WirelessSettings& w) { w.Entries().pskInterval = "59"; },
         "The key update interval range: 60~99999 or 0!", ConfigField::kPskInterval},
        {[&](WirelessSettings& w) {
             mode(kSecWep)(w);
             w.Entries().wep.keys = {"abcde", "abc", "", ""};
         },
         "WEP key is invalid! Please enter 5 or 13 ASCII characters!", ConfigField::kWepKey2},
        {[&](WirelessSettings& w) {
             mode(kSecWep)(w);
             w.Entries().wep.keys = {"abcde", "", "", ""};
             w.Entries().wep.defaultKey = 3;
         },
         "Please enter the WEP key4!", ConfigField::kWepKey4},
        {[&](WirelessSettings& w) {
             mode(kSecWpa)(w);
             w.Entries().wpa.port = "";
         },
         "Please specify a valid RADIUS Port!", ConfigField::kRadiusPort},
        {[&](WirelessSettings& w) {
             mode(kSecWpa)(w);
             w.Entries().wpa.server = IpTextToBytes("127.0.0.1");
         },
         "Please enter a valid RADIUS Server address!", ConfigField::kRadiusServer},
    };
    for (const Case& c : cases) {
        WirelessSettings w(Device({}));
        c.edit(w);
        const WirelessSettings::Result out = w.Collect();
        ASSERT_TRUE(out.failure) << c.key;
        EXPECT_EQ(out.failure->rule.key, c.key);
        EXPECT_EQ(out.failure->field, c.field) << c.key;
        EXPECT_EQ(out.failure->tab, ConfigTab::kWireless);
    }
}

// ---- Address ---------------------------------------------------------------

TEST(AddressSettings, Collect) {
    const std::vector<std::string> stored = {"192.168.1.20", "192.168.1.30"};
    struct Case {
        const char* what;
        std::function<void(AddressEntries&)> edit;
        bool addressChanged, nameChanged;
        std::string failKey;  // empty: valid
        ConfigField field = ConfigField::kNone;
    };
    const Case cases[] = {
        {"no edits", [](AddressEntries&) {}, false, false, ""},
        {"secondary dns", [](AddressEntries& e) { e.dns2 = "8.8.4.4"; }, true, false, ""},
        {"own address again", [](AddressEntries& e) { e.ip = "192.168.1.20"; }, false, false, ""},
        {"address of another device", [](AddressEntries& e) { e.ip = "192.168.1.30"; }, true, false,
         "The ip address is already in use, please respecify!", ConfigField::kIp},
        {"invalid gateway", [](AddressEntries& e) { e.gateway = "10.1.1.1"; }, true, false,
         "Ip address and gateway address is not in the same subnet!", ConfigField::kGateway},
        {"bad mask", [](AddressEntries& e) { e.mask = "255.255.255.255"; }, true, false,
         "The subnet mask is invalid!", ConfigField::kMask},
        {"name only", [](AddressEntries& e) { e.name = std::string(32, 'n'); }, false, true, ""},
        {"empty name", [](AddressEntries& e) { e.name = ""; }, false, false,
         "The device name can not be empty!", ConfigField::kName},
        {"33-byte name",
         [](AddressEntries& e) {
             e.name.clear();
             for (int i = 0; i < 11; ++i) e.name += "塔";
         },
         false, false,
         "Device name maximum allowed 32 bytes, only support combination of Chinese, ASCII "
         "characters",
         ConfigField::kName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Spec s;
        s.ipMode = 0;  // opening the tab must not count the forced ip_mode
        const ap_info_stu r = Device(s);
        AddressEntries e = FillAddressEntries(r);
        c.edit(e);
        const AddressResult out = CollectAddress(r, e, stored);
        if (!c.failKey.empty()) {
            ASSERT_TRUE(out.failure);
            EXPECT_EQ(out.failure->rule.key, c.failKey);
            EXPECT_EQ(out.failure->field, c.field);
            continue;
        }
        ASSERT_FALSE(out.failure) << out.failure->rule.key;
        EXPECT_EQ(out.addressChanged, c.addressChanged);
        EXPECT_EQ(out.nameChanged, c.nameChanged);
        EXPECT_EQ(out.address.ip_mode(), 1);
        EXPECT_EQ(out.address.apply(), 1);
        EXPECT_EQ(IpBytesToText(out.address.ip_dns2()), e.dns2);
        EXPECT_EQ(out.name.ap_name(), e.name);
        EXPECT_EQ(out.name.ap_name_len(), e.name.size());
    }
    // The strict set of type 4 has no space.
    Spec t4;
    t4.type = 4;
    AddressEntries e = FillAddressEntries(Device(t4));
    e.name = "mast 7";
    EXPECT_EQ(CollectAddress(Device(t4), e, stored).failure->field, ConfigField::kName);
}

// ---- VLAN ------------------------------------------------------------------

TEST(VlanSettings, LayoutByType) {
    struct Case {
        uint16_t type;
        uint8_t workMode;
        VlanGroup group;
        bool pvid, lan, lan34, readOnly;
        std::string lanLabel;
    };
    const Case cases[] = {
        {10, 1, VlanGroup::kFourPort, true, true, true, false, "LAN2"},
        {270, 1, VlanGroup::kTwoPort, true, true, false, false, "LAN"},
        {18, 2, VlanGroup::kPvidOnly, true, false, false, false, "LAN2"},
        {5, 2, VlanGroup::kBasic, false, false, false, true, "LAN2"},
        {13, 1, VlanGroup::kBasic, false, false, false, false, "LAN2"},
    };
    for (const Case& c : cases) {
        const VlanLayout l = VlanLayoutOf(c.type, c.workMode);
        EXPECT_EQ(l.group, c.group) << c.type;
        EXPECT_EQ(l.pvid, c.pvid) << c.type;
        EXPECT_EQ(l.lan, c.lan) << c.type;
        EXPECT_EQ(l.lan34, c.lan34) << c.type;
        EXPECT_EQ(l.readOnly, c.readOnly) << c.type;
        EXPECT_EQ(l.lanLabel, c.lanLabel) << c.type;
    }
}

TEST(VlanSettings, Collect) {
    struct Case {
        const char* what;
        uint16_t type;
        bool storedOn;
        uint16_t storedManage;
        std::function<void(VlanEntries&)> edit;
        bool changed;
        std::string failMessage;
        ConfigField field = ConfigField::kNone;
    };
    const Case cases[] = {
        {"unticking sends the old numbers unchecked", 10, true, 0,
         [](VlanEntries& e) { e.enabled = false; }, true, ""},
        {"unchanged", 10, true, 7, [](VlanEntries&) {}, false, ""},
        {"basic type, stored PVID 0", 5, false, 7,
         [](VlanEntries& e) {
             e.enabled = true;
             e.pvid = "0";
         },
         true, ""},
        {"only LAN3 on a four-port type", 268, true, 7, [](VlanEntries& e) { e.lan3 = "40"; }, true,
         ""},
        {"type 13 with Manage VLAN 0", 13, true, 0, [](VlanEntries&) {}, false, "VLAN range:1-4094",
         ConfigField::kVlanManage},
        {"two-port LAN", 11, true, 7, [](VlanEntries& e) { e.lan = "4095"; }, false,
         "LAN range:1-4094", ConfigField::kVlanLan},
        {"four-port LAN2", 10, true, 7, [](VlanEntries& e) { e.lan = ""; }, false,
         "LAN2 range:1-4094", ConfigField::kVlanLan},
        {"PVID", 15, true, 7, [](VlanEntries& e) { e.pvid = "0"; }, false, "PVID range:1-4094",
         ConfigField::kVlanPvid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Spec s;
        s.type = c.type;
        s.vlanOn = c.storedOn;
        s.manageVlan = c.storedManage;
        ap_info_stu r = Device(s);
        if (c.type == 5) {  // a basic type with a PVID of 0 stored
            DeviceInfoBlock info = r.info();
            ExtensionBlock x = info.extension();
            x.set_vlan_pvid(0);
            info.set_extension(x);
            r.set_info(info);
        }
        VlanEntries e = FillVlanEntries(r);
        c.edit(e);
        const VlanResult out = CollectVlan(r, e);
        if (!c.failMessage.empty()) {
            ASSERT_TRUE(out.failure);
            EXPECT_EQ(out.failure->rule.message, c.failMessage);
            EXPECT_EQ(out.failure->field, c.field);
            continue;
        }
        ASSERT_FALSE(out.failure) << out.failure->rule.message;
        EXPECT_EQ(out.changed, c.changed);
        EXPECT_EQ(out.vlan.vlan_en(), e.enabled ? 1 : 0);
        EXPECT_EQ(out.vlan.vlan_id(), c.storedManage);
        EXPECT_EQ(out.vlan.address_follows(), 0);
        // The switches as reported; DFS and the reserved bytes zero.
        EXPECT_EQ(out.extension.bridge_transparent(), 1);
        EXPECT_EQ(out.extension.tdmaEn(), 1);
        for (size_t b = 10; b < 14; ++b) EXPECT_EQ(out.extension.data()[b], 0);
    }
}

// ---- Timed reboot ------------------------------------------------------------

TEST(RebootSettings, Collect) {
    RebootScheduleBlock received;  // off, Monday and Friday, 03:30
    received.set_restart_type(0x22);
    received.set_restart_time(210);
    struct Case {
        const char* what;
        std::function<void(RebootEntries&)> edit;
        uint8_t en, days;
        uint16_t time;
        bool changed;
        std::string failKey;
        ConfigField field = ConfigField::kNone;
    };
    const Case cases[] = {
        {"unchanged", [](RebootEntries&) {}, 0, 0x22, 210, false, ""},
        {"on, Monday and Friday at 03:30", [](RebootEntries& e) { e.SetEnabled(true); }, 1, 0x22,
         210, true, ""},
        {"everyday at 00:00",
         [](RebootEntries& e) {
             e.SetEnabled(true);
             e.SetEveryday(true);
             e.hour = "";
             e.minute = "0";
             e.hour = "0";
         },
         1, 0xFE, 0, true, ""},
        {"hour 24",
         [](RebootEntries& e) {
             e.SetEnabled(true);
             e.hour = "24";
         },
         0, 0, 0, false, "The time is error!", ConfigField::kRebootHour},
        {"hour empty",
         [](RebootEntries& e) {
             e.SetEnabled(true);
             e.hour = "";
         },
         0, 0, 0, false, "The time can not be empty!", ConfigField::kRebootHour},
        {"no day",
         [](RebootEntries& e) {
             e.SetEnabled(true);
             e.days.fill(false);
         },
         0, 0, 0, false, "Please selectting the day that you want to reboot!",
         ConfigField::kRebootDays},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RebootEntries e = FillRebootEntries(received);
        c.edit(e);
        const RebootResult out = CollectReboot(received, e);
        if (!c.failKey.empty()) {
            ASSERT_TRUE(out.failure);
            EXPECT_EQ(out.failure->rule.key, c.failKey);
            EXPECT_EQ(out.failure->field, c.field);
            continue;
        }
        ASSERT_FALSE(out.failure);
        EXPECT_EQ(out.schedule.restart_en(), c.en);
        EXPECT_EQ(out.schedule.restart_type(), c.days);
        EXPECT_EQ(out.schedule.restart_time(), c.time);
        EXPECT_EQ(out.changed, c.changed);
    }
    // Switching off keeps the days and the time.
    RebootScheduleBlock on = received;
    on.set_restart_en(1);
    RebootEntries e = FillRebootEntries(on);
    e.SetEnabled(false);
    const RebootResult off = CollectReboot(on, e);
    EXPECT_EQ(ScheduleValue(off.schedule), ScheduleValue(received));
    EXPECT_TRUE(off.changed);
    // All seven days open with Everyday ticked and the weekdays still free.
    on.set_restart_type(kEveryDayBits);
    const RebootEntries all = FillRebootEntries(on);
    EXPECT_TRUE(all.everyday);
    EXPECT_TRUE(all.weekdaysEnabled);
}

// ---- Save ----------------------------------------------------------------------

TEST(DeviceConfigSave, SequencesAndWaits) {
    struct Case {
        const char* what;
        Spec spec;
        std::function<void(DeviceConfig&)> edit;
        std::vector<MsgType> sent;
        ConfigWait wait;
    };
    const Case cases[] = {
        {"no edits", {}, [](DeviceConfig&) {}, {}, {}},
        {"only the name",
         {},
         [](DeviceConfig& c) { c.address.name = "mast-8"; },
         {MsgType::SetName},
         {}},
        {"name, wireless, address",
         {},
         [](DeviceConfig& c) {
             c.address.name = "mast-8";
             c.wireless.Entries().ssid = "other";
             c.address.ip = "192.168.1.21";
         },
         {MsgType::SetName, MsgType::SetWireless, MsgType::SetAddress},
         {15, true, 3}},
        {"only the timed reboot",
         {},
         [](DeviceConfig& c) { c.reboot.SetEnabled(true); },
         {MsgType::SetTimedReboot},
         {}},
        {"address and VLAN",
         {},
         [](DeviceConfig& c) {
             c.address.ip = "192.168.1.21";
             c.vlan.enabled = true;
         },
         {MsgType::SetVlan, MsgType::SetAddress},
         {60, false, 0}},
        {"everything",
         FiveGhz(10),
         [](DeviceConfig& c) {
             c.address.name = "x";
             c.wireless.Entries().power = "9";
             c.reboot.SetEnabled(true);
             c.vlan.enabled = true;
             c.address.dns2 = "1.1.1.1";
         },
         {MsgType::SetName, MsgType::SetWireless, MsgType::SetTimedReboot, MsgType::SetVlan,
          MsgType::SetAddress},
         {60, false, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeviceConfig config(Device(c.spec));
        c.edit(config);
        const SaveOutcome out = CollectForSave(config, {"192.168.1.20"});
        ASSERT_FALSE(out.failure) << out.failure->rule.key;
        EXPECT_EQ(out.wait, c.wait);
        Recorder sink;
        const SelectedDevice target{"192.168.1.20", "02:00:00:00:00:01", c.spec.type};
        RunConfigSendWorker(sink, target, out.pending);
        EXPECT_EQ(sink.Types(), c.sent);
        for (const Recorder::Call& call : sink.calls) {
            if (call.type == MsgType::SetVlan) {
                EXPECT_EQ(call.payload.size(), c.spec.type == 10 ? 24u : 10u);
                EXPECT_EQ(call.payload[8], out.pending.addressChanged ? 1 : 0);
            }
            if (call.type == MsgType::SetAddress) {
                EXPECT_EQ(call.payload.size(), 22u);
                EXPECT_EQ(call.payload[21], out.pending.vlanChanged ? 0 : 1);
                // The link heard of the new address just before.
                EXPECT_EQ(sink.calls[sink.calls.size() - 2].what, "note");
            }
            if (call.type == MsgType::SetWireless) {
                EXPECT_EQ(call.payload.size(), 328u);
            }
        }
    }
}

TEST(DeviceConfigSave, DfsOnlyOnType18SendsTheLongBlock) {
    DeviceConfig config(Device(FiveGhz(18)));
    config.wireless.SetDfs(true);
    const SaveOutcome out = CollectForSave(config, {});
    ASSERT_FALSE(out.failure);
    Recorder sink;
    RunConfigSendWorker(sink, {"192.168.1.20", "02:00:00:00:00:01", 18}, out.pending);
    ASSERT_EQ(sink.Types(), std::vector<MsgType>{MsgType::SetWireless});
    ASSERT_EQ(sink.calls[0].payload.size(), 342u);
    EXPECT_EQ(sink.calls[0].payload[328 + 12], 1);
}

TEST(DeviceConfigSave, StopsAtTheFirstFailureOnAnyTab) {
    // Type 13 has no VLAN tab; its stored Manage VLAN of 0 still stops Save.
    Spec s;
    s.type = 13;
    s.vlanOn = true;
    s.manageVlan = 0;
    DeviceConfig config(Device(s));
    config.address.name = "renamed";
    SaveOutcome out = CollectForSave(config, {});
    ASSERT_TRUE(out.failure);
    EXPECT_EQ(out.failure->tab, ConfigTab::kVlan);
    EXPECT_EQ(out.failure->rule.message, "VLAN range:1-4094");

    // The wireless tab is collected first.
    DeviceConfig both(Device({}));
    both.wireless.Entries().ssid = "";
    both.address.gateway = "10.0.0.1";
    out = CollectForSave(both, {});
    ASSERT_TRUE(out.failure);
    EXPECT_EQ(out.failure->tab, ConfigTab::kWireless);
}

TEST(DeviceConfigSave, AStoppedWorkerSendsNothingMore) {
    DeviceConfig config(Device({}));
    config.address.name = "n2";
    config.reboot.SetEnabled(true);
    const SaveOutcome out = CollectForSave(config, {});
    std::stop_source stop;
    stop.request_stop();
    Recorder sink;
    RunConfigSendWorker(sink, {"192.168.1.20", "02:00:00:00:00:01", 5}, out.pending,
                        stop.get_token());
    EXPECT_TRUE(sink.calls.empty());
}

}  // namespace
}  // namespace kestrix
