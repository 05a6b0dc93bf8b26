// The generated fleet, the per-device settings and the configuration text.

#include "tools/devsim/fleet.h"

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/text_codec.h"
#include "tools/devsim/config_text.h"
#include "tools/devsim/sim_options.h"

namespace kestrix::devsim {
namespace {

std::vector<DeviceSpec> Build(FleetConfig config) {
    std::vector<DeviceSpec> fleet;
    std::string err;
    EXPECT_TRUE(BuildFleet(config, fleet, err)) << err;
    return fleet;
}

FleetConfig Fleet(int devices, uint64_t seed = 1) {
    FleetConfig c;
    c.devices = devices;
    c.seed = seed;
    return c;
}

bool HasChinese(const std::string& text) {
    for (char32_t c : Utf8ToCodePoints(text)) {
        if (c >= 0x4E00 && c <= 0x9FA5) return true;
    }
    return false;
}

bool IsValidUtf8(const std::string& text) {
    for (char32_t c : Utf8ToCodePoints(text)) {
        if (c == 0xFFFD) return false;
    }
    return true;
}

TEST(FleetGeneration, SameSeedSameFleetOtherSeedOtherFleet) {
    auto a = Build(Fleet(200, 7));
    auto b = Build(Fleet(200, 7));
    auto c = Build(Fleet(200, 8));
    ASSERT_EQ(a.size(), 200u);
    size_t differentMacs = 0, differentNames = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].mac, b[i].mac);
        EXPECT_EQ(a[i].type, b[i].type);
        EXPECT_TRUE(a[i].info == b[i].info) << "device " << i;
        differentMacs += a[i].mac != c[i].mac;
        differentNames += a[i].info.ap_name() != c[i].info.ap_name();
    }
    EXPECT_EQ(differentMacs, a.size());
    EXPECT_GT(differentNames, a.size() / 2);
}

TEST(FleetGeneration, GrowingTheFleetKeepsEveryExistingDevice) {
    auto small = Build(Fleet(50, 3));
    auto large = Build(Fleet(1000, 3));
    for (size_t i = 0; i < small.size(); ++i) {
        EXPECT_EQ(small[i].mac, large[i].mac);
        EXPECT_TRUE(small[i].info == large[i].info) << "device " << i << " changed";
    }
}

TEST(FleetGeneration, MacsAndAddressesAreDistinctAndSkipZeroAndBroadcastNumbers) {
    auto fleet = Build(Fleet(5000));
    std::set<MacBytes> macs;
    std::set<Ipv4Bytes> ips;
    uint32_t previous = 0;
    for (const DeviceSpec& d : fleet) {
        EXPECT_EQ(d.mac[0], 0x02);  // locally administered
        macs.insert(d.mac);
        Ipv4Bytes ip = d.ip();
        ips.insert(ip);
        EXPECT_NE(ip[3], 0);
        EXPECT_NE(ip[3], 255);
        EXPECT_GT(IpToU32(ip), previous);
        previous = IpToU32(ip);
        EXPECT_EQ(d.info.address().ip_mask(), (Ipv4Bytes{255, 254, 0, 0}));
    }
    EXPECT_EQ(macs.size(), fleet.size());
    EXPECT_EQ(ips.size(), fleet.size());
    EXPECT_EQ(fleet[0].ip(), (Ipv4Bytes{198, 18, 0, 2}));
    EXPECT_EQ(fleet[252].ip(), (Ipv4Bytes{198, 18, 0, 254}));
    EXPECT_EQ(fleet[253].ip(), (Ipv4Bytes{198, 18, 1, 1}));
}

TEST(FleetGeneration, AddressRangeThatRunsOutIsRefused) {
    FleetConfig c = Fleet(300);
    c.first_ip = {10, 9, 8, 1};
    c.netmask = {255, 255, 255, 0};
    std::vector<DeviceSpec> fleet;
    std::string err;
    EXPECT_FALSE(BuildFleet(c, fleet, err));
    EXPECT_NE(err.find("no room for 300"), std::string::npos) << err;
    c.devices = 254;
    EXPECT_TRUE(BuildFleet(c, fleet, err)) << err;
    EXPECT_EQ(fleet.back().ip(), (Ipv4Bytes{10, 9, 8, 254}));
}

TEST(FleetGeneration, NamesMixAsciiChineseAndFullThirtyTwoBytes) {
    auto fleet = Build(Fleet(1000));
    size_t chinese = 0, fullAscii = 0, fullChinese = 0;
    for (const DeviceSpec& d : fleet) {
        std::string name = d.info.ap_name();
        ASSERT_LE(name.size(), 32u);
        ASSERT_TRUE(IsValidUtf8(name)) << name;
        EXPECT_FALSE(name.empty());
        bool cjk = HasChinese(name);
        chinese += cjk;
        fullAscii += !cjk && name.size() == 32;
        fullChinese += cjk && name.size() == 32;
        EXPECT_LE(d.info.version().size(), 32u);
        EXPECT_LE(d.info.wireless().ssid().size(), 32u);
    }
    EXPECT_GT(chinese, 100u);
    EXPECT_GT(fullAscii, 10u);
    EXPECT_GT(fullChinese, 10u);
}

TEST(FleetGeneration, TypesComeFromTheModelTableInAWideMix) {
    auto fleet = Build(Fleet(1000));
    std::set<uint16_t> seen;
    for (const DeviceSpec& d : fleet) {
        EXPECT_TRUE(IsModelCode(d.type)) << d.type;
        seen.insert(d.type);
        // Switches a type does not have stay off.
        if (!HasPxsync(d.type)) {
            EXPECT_EQ(d.info.extension().tdmaEn(), 0);
        }
        if (LacksTransparentBridge(d.type)) {
            EXPECT_EQ(d.info.extension().bridge_transparent(), 0);
        }
    }
    EXPECT_EQ(seen.size(), kModelCodes.size());
    EXPECT_FALSE(IsModelCode(14));
    EXPECT_FALSE(IsModelCode(0));
}

TEST(FleetGeneration, StationsAreBridgedToAccessPointsOfTheFleet) {
    auto fleet = Build(Fleet(500));
    size_t stations = 0;
    ASSERT_EQ(fleet[0].info.work_mode(), kModeAp);
    for (const DeviceSpec& d : fleet) {
        if (d.info.work_mode() != kModeStation) continue;
        ++stations;
        BridgeBlock bridge = d.info.bridge();
        int ap = FindByMac(fleet, bridge.bridge_mac());
        ASSERT_GE(ap, 0) << "bridged to a MAC outside the fleet";
        const DeviceSpec& peer = fleet[static_cast<size_t>(ap)];
        EXPECT_EQ(peer.info.work_mode(), kModeAp);
        EXPECT_EQ(bridge.bridge_ssid(), peer.info.wireless().ssid());
        EXPECT_EQ(bridge.bridge_channel(), peer.info.wireless().channel());
        EXPECT_EQ(d.info.wireless().channel(), peer.info.wireless().channel());
        EXPECT_TRUE(bridge.security() == peer.info.wireless().security());
    }
    EXPECT_GT(stations, 100u);
}

TEST(DeviceSettings, OverridesChangeOnlyTheirDevice) {
    FleetConfig c = Fleet(20);
    c.settings = {"3 name=\"北门 基站\" type=268 ip=198.18.9.9 mode=1",
                  "5-6 mute-info=1 bridge-fail=7", "7 claim=2", "9 bridge-to=3",
                  "02:4b:58:00:00:00 channel=11"};
    auto plain = Build(Fleet(20));
    std::vector<DeviceSpec> fleet;
    std::string err;
    // The MAC selector names no device of this seed: the whole build fails.
    ASSERT_FALSE(BuildFleet(c, fleet, err));
    EXPECT_NE(err.find("02:4b:58:00:00:00"), std::string::npos) << err;
    c.settings.pop_back();
    fleet = Build(c);
    EXPECT_EQ(fleet[3].info.ap_name(), "北门 基站");
    EXPECT_EQ(fleet[3].type, 268);
    EXPECT_EQ(fleet[3].ip(), (Ipv4Bytes{198, 18, 9, 9}));
    EXPECT_TRUE(fleet[5].faults.mute_info);
    EXPECT_TRUE(fleet[6].faults.bridge_fail);
    EXPECT_EQ(fleet[6].faults.bridge_result, 7);
    EXPECT_EQ(fleet[7].faults.claim, 2);
    EXPECT_EQ(fleet[9].info.work_mode(), kModeStation);
    EXPECT_EQ(fleet[9].info.bridge().bridge_mac(), fleet[3].mac);
    for (int i : {0, 1, 2, 4, 8, 10, 19}) {
        EXPECT_TRUE(fleet[static_cast<size_t>(i)].info == plain[static_cast<size_t>(i)].info) << i;
        EXPECT_EQ(fleet[static_cast<size_t>(i)].faults, DeviceFaults{}) << i;
    }
}

TEST(DeviceSettings, BadSettingsAreRefusedWithTheirReason) {
    struct Case {
        const char* line;
        const char* reason;
    } cases[] = {
        {"3 colour=red", "unknown device setting 'colour'"},
        {"30 name=x", "within 0..19"},
        {"3 name=abcdefghijklmnopqrstuvwxyz0123456", "at most 32 bytes"},
        {"3 ip=198.18.1", "IPv4"},
        {"3 claim=3", "another device"},
        {"3 bridge-to=99", "another device"},
        {"3 mac=02:4b:58:zz:00:01", "MAC"},
        {"3", "needs a selector"},
        {"3 name=\"open", "unterminated quote"},
    };
    for (const Case& k : cases) {
        FleetConfig c = Fleet(20);
        c.settings = {k.line};
        std::vector<DeviceSpec> fleet;
        std::string err;
        EXPECT_FALSE(BuildFleet(c, fleet, err)) << k.line;
        EXPECT_NE(err.find(k.reason), std::string::npos) << k.line << " -> " << err;
    }
    // Two devices with one MAC would make dispatch by MAC ambiguous.
    auto plain = Build(Fleet(5));
    FleetConfig c = Fleet(5);
    c.settings = {"4 mac=" + MacBytesToText(plain[1].mac)};
    std::vector<DeviceSpec> fleet;
    std::string err;
    EXPECT_FALSE(BuildFleet(c, fleet, err));
    EXPECT_NE(err.find("same MAC"), std::string::npos) << err;
}

TEST(ConfigText, WordsDurationsProbabilitiesAndSelectors) {
    std::vector<std::string> words;
    std::string err;
    ASSERT_TRUE(SplitWords("  3  name=\"Roof \\\"east\\\"\"  type=5 ", words, err));
    EXPECT_EQ(words, (std::vector<std::string>{"3", "name=Roof \"east\"", "type=5"}));

    EXPECT_EQ(ParseDurationMs("250ms"), 250);
    EXPECT_EQ(ParseDurationMs("10s"), 10000);
    EXPECT_EQ(ParseDurationMs("1.5"), 1500);
    EXPECT_EQ(ParseDurationMs("2m"), 120000);
    EXPECT_FALSE(ParseDurationMs("-1s"));
    EXPECT_FALSE(ParseDurationMs("10 s"));
    EXPECT_FALSE(ParseDurationMs("ms"));

    EXPECT_DOUBLE_EQ(*ParseProbability("30%"), 0.3);
    EXPECT_DOUBLE_EQ(*ParseProbability("1"), 1.0);
    EXPECT_FALSE(ParseProbability("1.5"));
    EXPECT_FALSE(ParseProbability("-0.1"));

    EXPECT_TRUE(ParseIpStrict("198.18.0.2"));
    EXPECT_FALSE(ParseIpStrict("198.18.0.256"));
    EXPECT_FALSE(ParseIpStrict("198.18.0"));
    EXPECT_FALSE(ParseIpStrict("198.18.0.2.1"));

    auto noMacs = [](const MacBytes&) { return -1; };
    auto oneMac = [](const MacBytes& m) { return m == MacBytes{2, 0x4b, 0x58, 0, 0, 9} ? 9 : -1; };
    std::vector<int> sel;
    ASSERT_TRUE(ParseSelector("1,4-6,5,02:4b:58:00:00:09", 10, oneMac, sel, err)) << err;
    EXPECT_EQ(sel, (std::vector<int>{1, 4, 5, 6, 9}));
    ASSERT_TRUE(ParseSelector("all", 3, noMacs, sel, err));
    EXPECT_EQ(sel, (std::vector<int>{0, 1, 2}));
    ASSERT_TRUE(ParseSelector("none", 3, noMacs, sel, err));
    EXPECT_TRUE(sel.empty());
    EXPECT_FALSE(ParseSelector("6-4", 10, noMacs, sel, err));
    EXPECT_FALSE(ParseSelector("1,,2", 10, noMacs, sel, err));
    EXPECT_FALSE(ParseSelector("10", 10, noMacs, sel, err));
}

TEST(CommandLine, FleetFileIsReadFirstAndFlagsOverrideIt) {
    std::string path = ::testing::TempDir() + "/devsim_fleet.txt";
    {
        FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(
            "# a small fleet\n"
            "devices 40   # forty\n"
            "seed 7\n"
            "heartbeat 2s\n"
            "device 0 name=\"北门 #1\" type=268\n"
            "device 5-7 mute-info=1\n",
            f);
        std::fclose(f);
    }
    SimConfig config;
    std::string err;
    ASSERT_TRUE(ParseCommandLine({"--devices", "12", "--fleet", path, "--loss=25%", "--delay",
                                  "300ms", "--claim", "2:1", "--set", "3 name=x"},
                                 config, err))
        << err;
    EXPECT_EQ(config.fleet.devices, 12);
    EXPECT_EQ(config.fleet.seed, 7u);
    EXPECT_EQ(config.timing.heartbeat_ms, 2000);
    EXPECT_DOUBLE_EQ(config.faults.loss_rx, 0.25);
    EXPECT_DOUBLE_EQ(config.faults.loss_tx, 0.25);
    EXPECT_EQ(config.faults.delay_ms, 300);
    std::vector<DeviceSpec> fleet;
    ASSERT_TRUE(BuildFleet(config.fleet, fleet, err)) << err;
    EXPECT_EQ(fleet[0].info.ap_name(), "北门 #1");  // '#' inside quotes is no comment
    EXPECT_TRUE(fleet[6].faults.mute_info);
    EXPECT_EQ(fleet[2].faults.claim, 1);
    EXPECT_EQ(fleet[3].info.ap_name(), "x");
}

TEST(CommandLine, MistakesNameTheirPlace) {
    SimConfig config;
    std::string err;
    EXPECT_FALSE(ParseCommandLine({"--devices", "many"}, config, err));
    EXPECT_NE(err.find("devices"), std::string::npos);
    EXPECT_FALSE(ParseCommandLine({"--heartbeat", "0"}, config, err));
    EXPECT_FALSE(ParseCommandLine({"--claim", "3"}, config, err));
    EXPECT_FALSE(ParseCommandLine({"--devices"}, config, err));
    EXPECT_FALSE(ParseCommandLine({"stray"}, config, err));
    EXPECT_FALSE(ParseFleetText("devices 10\nfrobnicate 3\n", "f.txt", config, err));
    EXPECT_EQ(err.rfind("f.txt:2: ", 0), 0u) << err;
    EXPECT_FALSE(ParseFleetText("device 3\n", "f.txt", config, err));
    EXPECT_FALSE(ParseFleetText("fleet other.txt\n", "f.txt", config, err));
    SimConfig help;
    ASSERT_TRUE(ParseCommandLine({"--devices", "3", "--help"}, help, err));
    EXPECT_EQ(help.mode, Mode::Help);
    SimConfig ctl;
    ASSERT_TRUE(ParseCommandLine({"--ctl", "/tmp/s", "set", "3", "mute-info=1"}, ctl, err));
    EXPECT_EQ(ctl.mode, Mode::Control);
    EXPECT_EQ(ctl.ctl_command, "set 3 mute-info=1");
}

}  // namespace
}  // namespace kestrix::devsim
