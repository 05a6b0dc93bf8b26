#include "fleet/validation.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using testing::LanguageScope;

const std::string kZhong = "\xE4\xB8\xAD";             // U+4E2D, 3 bytes
const std::string kEAcute = "\xC3\xA9";                // U+00E9, 2 bytes
const std::string kEmoji = "\xF0\x9F\x98\x80";         // U+1F600, two UTF-16 units
const std::string kIdeographicComma = "\xE3\x80\x81";  // U+3001, Chinese punctuation

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Expects a rejection with the English key, kind and focus given.
void ExpectRejected(const RuleResult& r, std::string_view key, MessageKind kind,
                    FocusField focus = FocusField::kNone) {
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.key, key);
    EXPECT_EQ(r.kind, kind);
    EXPECT_EQ(r.focus, focus);
}

TEST(ByteCount, WeightsPerUtf16Unit) {
    EXPECT_EQ(TextByteCount(""), 0u);
    EXPECT_EQ(TextByteCount("abc"), 3u);
    EXPECT_EQ(TextByteCount(kEAcute), 2u);
    EXPECT_EQ(TextByteCount(kZhong), 3u);
    EXPECT_EQ(TextByteCount(kEmoji), 6u);  // two units of three
    EXPECT_EQ(TextUnitCount(kEmoji + "a"), 3u);
    EXPECT_EQ(TextUnitCount(Repeat(kZhong, 4)), 4u);
}

TEST(ByteCount, TruncationKeepsWholeCharacters) {
    EXPECT_EQ(TruncateToByteCount(Repeat(kZhong, 11), 32), Repeat(kZhong, 10));
    EXPECT_EQ(TruncateToByteCount(Repeat(kZhong, 10) + "abc", 32), Repeat(kZhong, 10) + "ab");
    EXPECT_EQ(TruncateToByteCount(std::string(40, 'x'), 32), std::string(32, 'x'));
    EXPECT_EQ(TruncateToByteCount("short", 32), "short");
    EXPECT_EQ(TruncateToByteCount("ab" + kEmoji, 7), "ab");  // the emoji weighs 6
    EXPECT_EQ(TruncateToByteCount("ab" + kEmoji, 8), "ab" + kEmoji);
    EXPECT_EQ(TruncateToByteCount(kZhong, 2), "");
}

TEST(HostAddress, RequiredAndOptionalVariants) {
    for (const char* none : {"", "0.0.0.0"}) {
        EXPECT_FALSE(IsValidHostAddress(none, AddressRequirement::kRequired)) << none;
        EXPECT_TRUE(IsValidHostAddress(none, AddressRequirement::kOptional)) << none;
    }
    for (const char* good : {"126.255.255.1", "1.0.0.1", "223.255.255.254", "10.0.1.128"}) {
        EXPECT_TRUE(IsValidHostAddress(good, AddressRequirement::kRequired)) << good;
    }
    for (const char* bad :
         {"127.0.0.1", "224.0.0.1", "255.1.1.1", "0.1.2.3", "192.168.1.255", "192.168.1.0", "1.2.3",
          "1.2.3.4.", "1.2.3.4.5", "1..2.3", "256.1.1.1", "1.2.3.300", "300.1.1.1", "010.0.0.1",
          " 1.2.3.4", "1.2.3.4 ", "a.b.c.d", "1.2.3.-4"}) {
        EXPECT_FALSE(IsValidHostAddress(bad, AddressRequirement::kRequired)) << bad;
        EXPECT_FALSE(IsValidHostAddress(bad, AddressRequirement::kOptional)) << bad;
    }
}

TEST(SubnetMask, OnlyContiguousMasksFrom128ToSlash31) {
    for (const char* good :
         {"128.0.0.0", "255.0.0.0", "254.0.0.0", "255.128.0.0", "255.255.0.0", "255.255.252.0",
          "255.255.255.0", "255.255.255.128", "255.255.255.254"}) {
        EXPECT_TRUE(IsValidSubnetMask(good)) << good;
    }
    for (const char* bad : {"255.255.255.255", "0.0.0.0", "", "255.255.255.1", "255.0.255.0",
                            "253.0.0.0", "0.255.255.255", "255.255.255", "255.255.255.0.",
                            "255.255.255.0.0", "255x255x255x0", "255.255.255.00"}) {
        EXPECT_FALSE(IsValidSubnetMask(bad)) << bad;
    }
}

TEST(SubnetTests, SameSubnetNetworkAddressAndDnsPair) {
    EXPECT_TRUE(InSameSubnet("192.168.0.2", "192.168.0.254", "255.255.255.0"));
    EXPECT_FALSE(InSameSubnet("10.1.1.1", "192.168.0.2", "255.255.255.0"));
    EXPECT_TRUE(InSameSubnet("10.0.0.1", "10.0.1.1", "255.255.254.0"));
    EXPECT_TRUE(IsNetworkAddress("10.0.1.128", "255.255.255.128"));
    EXPECT_FALSE(IsNetworkAddress("10.0.1.129", "255.255.255.128"));
    EXPECT_TRUE(IsNetworkAddress("10.0.0.0", "255.0.0.0"));
    EXPECT_TRUE(DnsPairConflicts("8.8.8.8", "8.8.8.8"));
    EXPECT_FALSE(DnsPairConflicts("0.0.0.0", "0.0.0.0"));
    EXPECT_FALSE(DnsPairConflicts("", ""));
    EXPECT_FALSE(DnsPairConflicts("8.8.8.8", "8.8.4.4"));
}

AddressSet GoodSet() {
    return {"192.168.0.2", "255.255.255.0", "192.168.0.1", "8.8.8.8", "8.8.4.4"};
}

TEST(AddressSetRule, EachStepInOrder) {
    EXPECT_TRUE(CheckAddressSet(GoodSet()).accepted);

    auto with = [](auto change) {
        AddressSet a = GoodSet();
        change(a);
        return CheckAddressSet(a);
    };
    const MessageKind plain = MessageKind::kPlain;
    ExpectRejected(with([](AddressSet& a) { a.ip = "0.0.0.0"; }), "The ip address is invalid!",
                   plain);
    ExpectRejected(with([](AddressSet& a) { a.ip = ""; }), "The ip address is invalid!", plain);
    // The address is looked at before the mask.
    ExpectRejected(with([](AddressSet& a) {
                       a.ip = "127.0.0.1";
                       a.mask = "0.0.0.0";
                   }),
                   "The ip address is invalid!", plain);
    ExpectRejected(with([](AddressSet& a) { a.mask = "255.255.255.255"; }),
                   "The subnet mask is invalid!", plain);
    ExpectRejected(with([](AddressSet& a) { a.gateway = "1.2.3"; }),
                   "The gateway address is invalid!", plain);
    ExpectRejected(with([](AddressSet& a) { a.gateway = a.ip; }),
                   "The ip address and gateway address cannot be the same!", plain);
    ExpectRejected(with([](AddressSet& a) {
                       a.ip = "10.0.1.128";
                       a.mask = "255.255.255.128";
                       a.gateway = "";
                   }),
                   "IP Address can't be the network segment!", plain);
    ExpectRejected(with([](AddressSet& a) { a.gateway = "10.1.1.1"; }),
                   "Ip address and gateway address is not in the same subnet!", plain);
    EXPECT_TRUE(with([](AddressSet& a) { a.gateway = "0.0.0.0"; }).accepted);
    EXPECT_TRUE(with([](AddressSet& a) { a.gateway = ""; }).accepted);
    ExpectRejected(with([](AddressSet& a) { a.dns1 = "224.0.0.1"; }),
                   "The primary DNS Server is invalid!", plain);
    ExpectRejected(with([](AddressSet& a) { a.dns2 = "8.8.8.0"; }),
                   "The secondary DNS Server is invalid!", plain);
    ExpectRejected(with([](AddressSet& a) { a.dns2 = "8.8.8.8"; }),
                   "Primary DNS Server and Secondary DNS Server can't be the same!", plain);
    EXPECT_TRUE(with([](AddressSet& a) {
                    a.dns1 = "0.0.0.0";
                    a.dns2 = "0.0.0.0";
                }).accepted);
}

TEST(AddressSetRule, MessagesAreLookedUp) {
    LanguageScope lang("French",
                       "[ProgramOutStr]\nthe ip address is invalid!=Adresse IP invalide !\n");
    RuleResult r = CheckAddressSet({"1.2.3", "255.255.255.0", "", "", ""});
    EXPECT_EQ(r.key, "The ip address is invalid!");
    EXPECT_EQ(r.message, "Adresse IP invalide !");
    // An untranslated message is the English key.
    EXPECT_EQ(CheckAddressSet({"10.0.0.2", "0.0.0.0", "", "", ""}).message,
              "The subnet mask is invalid!");
}

TEST(AddressRangeRule, EndAddressOnlyWithSeveralDevices) {
    AddressSet a = GoodSet();
    a.ip = "192.168.0.10";
    EXPECT_TRUE(CheckAddressRange(a, "", 1).accepted);
    EXPECT_TRUE(CheckAddressRange(a, "192.168.0.20", 2).accepted);
    ExpectRejected(CheckAddressRange(a, "", 2), "The ip address is invalid!", MessageKind::kPlain);
    ExpectRejected(CheckAddressRange(a, "192.168.0.10", 3), "The ip address is invalid!",
                   MessageKind::kPlain);
    ExpectRejected(CheckAddressRange(a, "192.168.0.9", 3), "The ip address is invalid!",
                   MessageKind::kPlain);
    // Compared as numbers, not as texts: .100 is after .20.
    EXPECT_TRUE(CheckAddressRange(a, "192.168.0.100", 2).accepted);
    AddressSet gw = a;
    gw.gateway = "192.168.0.30";
    ExpectRejected(CheckAddressRange(gw, "192.168.0.30", 2),
                   "The ip address and gateway address cannot be the same!", MessageKind::kPlain);
    ExpectRejected(CheckAddressRange(a, "192.168.1.20", 2),
                   "Ip address and gateway address is not in the same subnet!",
                   MessageKind::kPlain);
    AddressSet noGw = a;
    noGw.gateway = "0.0.0.0";
    EXPECT_TRUE(CheckAddressRange(noGw, "192.168.1.20", 2).accepted);
}

TEST(AddressRangeRule, StepOrder) {
    // A begin address that is the network address fails only after the end checks.
    AddressSet a{"10.0.1.128", "255.255.255.128", "", "", ""};
    ExpectRejected(CheckAddressRange(a, "10.0.1.100", 2), "The ip address is invalid!",
                   MessageKind::kPlain);
    ExpectRejected(CheckAddressRange(a, "10.0.1.140", 2),
                   "IP Address can't be the network segment!", MessageKind::kPlain);
    AddressSet dns = GoodSet();
    dns.dns2 = dns.dns1;
    ExpectRejected(CheckAddressRange(dns, "192.168.0.9", 1),
                   "Primary DNS Server and Secondary DNS Server can't be the same!",
                   MessageKind::kPlain);
}

TEST(WizardAddressRule, DiffersFromTheSingleDeviceRule) {
    AddressSet network{"10.0.1.128", "255.255.255.128", "", "", ""};
    EXPECT_TRUE(CheckWizardAddressSet(network).accepted);  // no network-address step
    AddressSet badDns2 = GoodSet();
    badDns2.dns2 = "1.2.3";
    EXPECT_TRUE(CheckWizardAddressSet(badDns2).accepted);  // no lone secondary check
    AddressSet badDns1 = GoodSet();
    badDns1.dns1 = "127.0.0.1";
    ExpectRejected(CheckWizardAddressSet(badDns1), "The primary DNS Server is invalid!",
                   MessageKind::kPlain);
    AddressSet same = GoodSet();
    same.dns2 = same.dns1;
    ExpectRejected(CheckWizardAddressSet(same),
                   "The primary DNS server cannot be the same as the secondary DNS server!",
                   MessageKind::kPlain);
    AddressSet farGateway = GoodSet();
    farGateway.gateway = "10.1.1.1";
    ExpectRejected(CheckWizardAddressSet(farGateway),
                   "Ip address and gateway address is not in the same subnet!",
                   MessageKind::kPlain);
}

TEST(AddressInUseRule, OnlyAChangedAddressHeldByAnotherDevice) {
    const std::vector<std::string> stored = {"192.168.0.2", "192.168.0.3"};
    const Ipv4Bytes current{192, 168, 0, 2};
    EXPECT_TRUE(CheckAddressInUse("192.168.0.2", current, stored).accepted);
    ExpectRejected(CheckAddressInUse("192.168.0.3", current, stored),
                   "The ip address is already in use, please respecify!", MessageKind::kPlain);
    EXPECT_TRUE(CheckAddressInUse("192.168.0.4", current, stored).accepted);
    EXPECT_TRUE(CheckAddressInUse("", Ipv4Bytes{0, 0, 0, 0}, {"0.0.0.0"}).accepted);
    EXPECT_TRUE(CheckAddressInUse("192.168.0.3", current, {}).accepted);
}

TEST(NameRule, ByteLimitOf32) {
    EXPECT_TRUE(NamePasses(std::string(32, 'a'), 1));
    EXPECT_FALSE(NamePasses(std::string(33, 'a'), 1));
    EXPECT_FALSE(NamePasses(Repeat(kZhong, 11), 1));
    EXPECT_TRUE(NamePasses(Repeat(kZhong, 10) + "ab", 1));
    EXPECT_FALSE(NamePasses(Repeat(kZhong, 10) + "abc", 1));
    EXPECT_TRUE(NamePasses(Repeat(kZhong, 10) + "ab", 4));
    EXPECT_TRUE(NamePasses("", 1));
}

TEST(NameRule, StrictAndOpenCharacterSets) {
    for (uint32_t strictType : {4u, 17u, 261u}) {
        EXPECT_TRUE(UsesStrictNameSet(strictType));
        EXPECT_FALSE(NamePasses("my ap", strictType));
        EXPECT_TRUE(NamePasses("AP-01_roof", strictType));
    }
    EXPECT_TRUE(NamePasses("!#$%&()*+-./<=>?@^_~", 4));
    for (const char* mark : {" ", ",", ":", ";", "\"", "'", "[", "]", "{", "}", "|", "\\", "`"}) {
        EXPECT_FALSE(NamePasses(mark, 4)) << mark;
        EXPECT_TRUE(NamePasses(mark, 1)) << mark;
    }
    EXPECT_TRUE(NamePasses(kZhong + kIdeographicComma, 4));
    EXPECT_TRUE(NamePasses("my ap, roof: " + kZhong, 1));
    for (uint32_t type : {1u, 4u}) {
        EXPECT_FALSE(NamePasses("caf" + kEAcute, type));
        EXPECT_FALSE(NamePasses("a" + kEmoji, type));
        EXPECT_FALSE(NamePasses("\xE4\xB8", type));  // a broken character
    }
    EXPECT_FALSE(NamePasses(std::string("a\0b", 3), 1));
    EXPECT_FALSE(UsesStrictNameSet(1));
    EXPECT_FALSE(UsesStrictNameSet(262));
}

TEST(NameRule, DeviceNameMessages) {
    ExpectRejected(CheckDeviceName("", 1), "The device name can not be empty!",
                   MessageKind::kWarning, FocusField::kName);
    ExpectRejected(CheckDeviceName("a b", 17),
                   "Device name maximum allowed 32 bytes, only support combination of Chinese, "
                   "lowercase letters, 0-9 numbers",
                   MessageKind::kWarning, FocusField::kName);
    ExpectRejected(CheckDeviceName(std::string(33, 'a'), 1),
                   "Device name maximum allowed 32 bytes, only support combination of Chinese, "
                   "ASCII characters",
                   MessageKind::kWarning, FocusField::kName);
    EXPECT_TRUE(CheckDeviceName("a b", 1).accepted);
}

TEST(SsidRule, EmptyBlankAndCharacterSet) {
    ExpectRejected(CheckSsid("", 1), "The ssid can not be empty!", MessageKind::kWarning,
                   FocusField::kSsid);
    ExpectRejected(CheckSsid("   ", 1),
                   "Please enter 1 to 32 byte ASCII charaters or chinese characters!",
                   MessageKind::kWarning, FocusField::kSsid);
    ExpectRejected(CheckSsid("net 1", 261),
                   "SSID maximum allowed 32 bytes, only support combination of Chinese, "
                   "lowercase letters, 0-9 numbers",
                   MessageKind::kWarning, FocusField::kSsid);
    ExpectRejected(CheckSsid(Repeat(kZhong, 11), 1),
                   "SSID maximum allowed 32 bytes, only support combination of Chinese, ASCII "
                   "characters",
                   MessageKind::kWarning, FocusField::kSsid);
    EXPECT_TRUE(CheckSsid(" net 1 ", 1).accepted);
    // The wizard has no blanks-only step: blanks are judged by the character set.
    EXPECT_TRUE(CheckSsid("   ", 1, SsidCheck::kWizard).accepted);
    EXPECT_FALSE(CheckSsid("   ", 4, SsidCheck::kWizard).accepted);
    ExpectRejected(CheckSsid("", 1, SsidCheck::kWizard), "The ssid can not be empty!",
                   MessageKind::kWarning, FocusField::kSsid);
}

TEST(TxPowerRule, RangeOfTheDevice) {
    EXPECT_TRUE(CheckTxPower("8", 8, 26).accepted);
    EXPECT_TRUE(CheckTxPower("26", 8, 26).accepted);
    EXPECT_TRUE(CheckTxPower(" 20dBm", 8, 26).accepted);
    for (const char* bad : {"7", "27", "", "abc", "-10", "99999999999"}) {
        RuleResult r = CheckTxPower(bad, 8, 26);
        ExpectRejected(r, "Power value range:%d-%d", MessageKind::kWarning, FocusField::kTxPower);
        EXPECT_EQ(r.message, "Power value range:8-26") << bad;
    }
    EXPECT_TRUE(CheckTxPower("0", 0, 0).accepted);
    EXPECT_FALSE(CheckTxPower("", 0, 30).accepted);  // empty fails although it reads as 0
}

TEST(TxPowerRule, TranslatedPatternGetsTheNumbers) {
    LanguageScope lang("French",
                       "[ProgramOutStr]\npower value range:%d-%d=Puissance %s : %d a %d\n");
    EXPECT_EQ(CheckTxPower("30", 8, 26).message, "Puissance %s : 8 a 26");
}

TEST(PresharedKeyRule, PassPhraseOrHexKey) {
    const std::string_view msg =
        "Please enter a key for 8~63 ASCII characters or 8~64 HEX characters!";
    EXPECT_TRUE(CheckPresharedKey("12345678").accepted);
    EXPECT_TRUE(CheckPresharedKey(std::string(62, 'a') + "g").accepted);  // 63: a pass phrase
    EXPECT_TRUE(CheckPresharedKey(std::string(64, 'F')).accepted);
    ExpectRejected(CheckPresharedKey("1234567"), msg, MessageKind::kWarning);
    ExpectRejected(CheckPresharedKey(std::string(63, 'a') + "g"), msg, MessageKind::kWarning);
    ExpectRejected(CheckPresharedKey(std::string(65, 'a')), msg, MessageKind::kWarning);
    ExpectRejected(CheckPresharedKey("1234567" + kEAcute), msg, MessageKind::kWarning);
    ExpectRejected(CheckPresharedKey(""), msg, MessageKind::kWarning);
}

TEST(KeyIntervalRule, ZeroOrSixtyTo99999) {
    for (const char* good : {"0", "60", "3600", "99999", "abc"}) {
        EXPECT_TRUE(CheckKeyInterval(good).accepted) << good;
    }
    for (const char* bad : {"59", "1", "100000", "-1"}) {
        ExpectRejected(CheckKeyInterval(bad), "The key update interval range: 60~99999 or 0!",
                       MessageKind::kWarning, FocusField::kKeyInterval);
        ExpectRejected(CheckKeyInterval(bad, IntervalField::kEnterprise),
                       "The key update interval range: 60~99999 or 0!", MessageKind::kWarning,
                       FocusField::kKeyInterval);
    }
    ExpectRejected(CheckKeyInterval(""), "The key update interval should not be empty!",
                   MessageKind::kWarning, FocusField::kKeyInterval);
    ExpectRejected(CheckKeyInterval("", IntervalField::kEnterprise),
                   "The key update interval should not be empty!", MessageKind::kWarning,
                   FocusField::kNone);
}

TEST(WepKeyRule, HexAndAsciiFormats) {
    const std::string_view hexMsg = "WEP key is invalid! Please enter 10 or 26 HEX characters!";
    const std::string_view asciiMsg = "WEP key is invalid! Please enter 5 or 13 ASCII characters!";
    const std::string_view charsMsg =
        "WEP key includes invalid characters (It should only include 0-9,a-z,A-Z,@,*,- and _.)!";
    const MessageKind titled = MessageKind::kTitledWarning;
    EXPECT_TRUE(CheckWepKey("0123456789", WepKeyFormat::kHex).accepted);
    EXPECT_TRUE(CheckWepKey(std::string(26, 'a'), WepKeyFormat::kHex).accepted);
    ExpectRejected(CheckWepKey("0123456789abc", WepKeyFormat::kHex), hexMsg, titled);
    ExpectRejected(CheckWepKey("012345678g", WepKeyFormat::kHex), hexMsg, titled);
    EXPECT_TRUE(CheckWepKey("abcde", WepKeyFormat::kAscii).accepted);
    EXPECT_TRUE(CheckWepKey("abc de!@#$%^&", WepKeyFormat::kAscii).accepted);
    ExpectRejected(CheckWepKey("abcdef", WepKeyFormat::kAscii), asciiMsg, titled);
    ExpectRejected(CheckWepKey("0123456789", WepKeyFormat::kAscii), asciiMsg, titled);
    // Five characters, one of them not ASCII: the length passes, the characters do not.
    ExpectRejected(CheckWepKey("abcd" + kZhong, WepKeyFormat::kAscii), charsMsg, titled);
}

TEST(WepKeySetRule, KeysInOrderThenTheDefaultKey) {
    using F = WepKeyFormat;
    const std::array<F, 4> formats{F::kAscii, F::kHex, F::kAscii, F::kHex};
    EXPECT_TRUE(CheckWepKeys({"abcde", "", "", ""}, formats, 1).accepted);
    // Key 1 loses its leading white space, key 2 does not.
    EXPECT_TRUE(CheckWepKeys({" \tabcde", "", "", ""}, formats, 1).accepted);
    EXPECT_FALSE(CheckWepKeys({"abcde", " 123456789", "", ""}, formats, 1).accepted);
    // The first failing key decides the message.
    ExpectRejected(CheckWepKeys({"abcde", "123", "ab", ""}, formats, 1),
                   "WEP key is invalid! Please enter 10 or 26 HEX characters!",
                   MessageKind::kTitledWarning);
    ExpectRejected(CheckWepKeys({"abcde", "", "ab", "123"}, formats, 1),
                   "WEP key is invalid! Please enter 5 or 13 ASCII characters!",
                   MessageKind::kTitledWarning);
    ExpectRejected(CheckWepKeys({"abcde", "", "", ""}, formats, 3), "Please enter the WEP key3!",
                   MessageKind::kTitledWarning);
    ExpectRejected(CheckWepKeys({"   ", "", "", ""}, formats, 1), "Please enter the WEP key1!",
                   MessageKind::kTitledWarning);
    ExpectRejected(CheckWepKeys({"", "", "", ""}, formats, 4), "Please enter the WEP key4!",
                   MessageKind::kTitledWarning);
    EXPECT_TRUE(CheckWepKeys({"", "0123456789", "", ""}, formats, 2).accepted);
}

TEST(RadiusRule, ServerPortKeyAndInterval) {
    const Ipv4Bytes server{192, 168, 0, 10};
    EXPECT_TRUE(CheckRadius(server, "1812", "secret", "0").accepted);
    for (const Ipv4Bytes& bad :
         {Ipv4Bytes{0, 1, 1, 1}, Ipv4Bytes{127, 0, 0, 1}, Ipv4Bytes{224, 0, 0, 1},
          Ipv4Bytes{10, 0, 0, 0}, Ipv4Bytes{10, 0, 0, 255}}) {
        ExpectRejected(CheckRadius(bad, "1812", "secret", "0"),
                       "Please enter a valid RADIUS Server address!", MessageKind::kWarning);
    }
    EXPECT_TRUE(CheckRadius(server, "65535", "secret", "0").accepted);
    EXPECT_TRUE(CheckRadius(server, "1", "secret", "0").accepted);
    for (const char* port : {"", "0", "65536", "-1", "port"}) {
        ExpectRejected(CheckRadius(server, port, "secret", "0"),
                       "Please specify a valid RADIUS Port!", MessageKind::kWarning);
    }
    EXPECT_TRUE(CheckRadius(server, "1812", std::string(64, 'k'), "0").accepted);
    for (const std::string& key : {std::string(), std::string(65, 'k'), "s" + kEAcute}) {
        ExpectRejected(CheckRadius(server, "1812", key, "0"),
                       "Please enter a key for 1~64 ASCII characters!", MessageKind::kWarning);
    }
    ExpectRejected(CheckRadius(server, "1812", "secret", ""),
                   "The key update interval should not be empty!", MessageKind::kWarning);
    ExpectRejected(CheckRadius(server, "1812", "secret", "59"),
                   "The key update interval range: 60~99999 or 0!", MessageKind::kWarning,
                   FocusField::kKeyInterval);
}

TEST(VlanIdRule, RangeAndComposedMessage) {
    EXPECT_TRUE(CheckVlanId("1", "VLAN").accepted);
    EXPECT_TRUE(CheckVlanId("4094", "VLAN").accepted);
    for (const char* bad : {"0", "4095", "", "x", "-1"}) {
        RuleResult r = CheckVlanId(bad, "PVID");
        ExpectRejected(r, "range:1-4094", MessageKind::kWarning, FocusField::kVlanField);
        EXPECT_EQ(r.message, "PVID range:1-4094") << bad;
    }
    LanguageScope lang("French", "[ProgramOutStr]\nwlan=Sans fil\nrange:1-4094=plage : 1 a 4094\n");
    EXPECT_EQ(CheckVlanId("5000", "WLAN").message, "Sans fil plage : 1 a 4094");
    EXPECT_EQ(CheckVlanId("5000", "LAN3").message, "LAN3 plage : 1 a 4094");
}

TEST(RebootTimeRule, TimeThenDays) {
    std::array<bool, 8> monday{true, false, false, false, false, false, false, false};
    std::array<bool, 8> everyday{false, false, false, false, false, false, false, true};
    std::array<bool, 8> none{};
    EXPECT_TRUE(CheckRebootTime("23", "59", monday).accepted);
    EXPECT_TRUE(CheckRebootTime("0", "0", everyday).accepted);
    ExpectRejected(CheckRebootTime("24", "00", monday), "The time is error!",
                   MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("0", "60", monday), "The time is error!", MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("-1", "0", monday), "The time is error!", MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("3", "-5", monday), "The time is error!", MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("", "30", monday), "The time can not be empty!",
                   MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("3", "", none), "The time can not be empty!",
                   MessageKind::kWarning);
    ExpectRejected(CheckRebootTime("3", "30", none),
                   "Please selectting the day that you want to reboot!", MessageKind::kWarning);
}

}  // namespace
}  // namespace kestrix
