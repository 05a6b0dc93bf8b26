#include "tools/devsim/fleet.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "tools/devsim/config_text.h"
#include "tools/devsim/rng.h"

namespace kestrix::devsim {

bool IsModelCode(uint16_t code) {
    return std::find(kModelCodes.begin(), kModelCodes.end(), code) != kModelCodes.end();
}

bool HasPxsync(uint16_t code) {
    static constexpr uint16_t kCodes[] = {6, 8, 9, 10, 11, 15, 18, 265, 266, 267, 268, 269, 270};
    return std::find(std::begin(kCodes), std::end(kCodes), code) != std::end(kCodes);
}

bool LacksTransparentBridge(uint16_t code) {
    return code == 4 || code == 17 || code == 261;
}

namespace {

// Purposes of the per-device random streams; a new attribute gets a new
// stream so that adding it never reshuffles the others.
enum Stream : uint64_t { kBasics = 1, kNames, kRadio, kSecurity, kPeers };

const char* const kPlaces[] = {"北京", "上海", "广州", "深圳", "杭州", "成都", "武汉", "南京",
                               "西安", "重庆", "天津", "苏州", "青岛", "厦门", "昆明", "长沙"};
const char* const kSpots[] = {"基站", "楼顶", "仓库", "东门", "西门", "南区", "北区", "园区",
                              "码头", "水塔", "机房", "厂区", "校区", "路口", "山顶", "桥头"};
const char* const kAsciiSites[] = {"Tower", "Roof",  "Mast",  "Depot",  "Gate",  "Yard",
                                   "Pier",  "Ridge", "Plant", "Bridge", "Field", "Quarry"};
const char* const kAsciiSides[] = {"North", "South", "East", "West", "A", "B", "C", "Main"};

std::string Fmt(const char* format, int a, int b = 0, int c = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

// Names: mostly plain ASCII, a fair share of Chinese ones, and some that fill
// all 32 bytes (ASCII, and ten Chinese characters plus two digits).
std::string MakeName(SplitMix64& r, int index, uint16_t type) {
    switch (r.Below(16)) {
        case 0:
        case 1:
        case 2:
            return std::string(r.Pick(kAsciiSites)) + "-" + r.Pick(kAsciiSides) + "-" +
                   Fmt("%d", index);
        case 3:
        case 4:
            return Fmt("KX%d-%04d", type, index);
        case 5:
        case 6:
            return Fmt("AP-%04d", index);
        case 7:
        case 8:
        case 9:
            return std::string(r.Pick(kPlaces)) + r.Pick(kSpots) + Fmt("-%d", index);
        case 10:
            return std::string(r.Pick(kPlaces)) + "·" + r.Pick(kSpots);
        case 11: {  // exactly 32 ASCII bytes
            std::string s = Fmt("Site-%06d-", index);
            while (s.size() < 32) s.push_back(static_cast<char>('a' + r.Below(26)));
            return s;
        }
        case 12: {  // ten Chinese characters (30 bytes) and two digits: 32 bytes
            std::string s;
            for (int i = 0; i < 5; ++i) s += (i % 2 == 0) ? r.Pick(kPlaces) : r.Pick(kSpots);
            return s + Fmt("%02d", index % 100);
        }
        case 13:
            return Fmt("Roof #%d (east)", index);
        default:
            return Fmt("Node-%d", index);
    }
}

std::string MakeSsid(SplitMix64& r, int index) {
    switch (r.Below(8)) {
        case 0:
            return std::string(r.Pick(kPlaces)) + "无线" + Fmt("%d", index % 100);
        case 1: {  // 32 bytes
            std::string s = Fmt("Backhaul-%05d-", index);
            while (s.size() < 32) s.push_back(static_cast<char>('A' + r.Below(26)));
            return s;
        }
        default:
            return Fmt("KX-Net-%d", index % 500);
    }
}

std::string MakeVersion(SplitMix64& r) {
    int major = r.Between(1, 4), minor = r.Between(0, 9), patch = r.Between(0, 30);
    int year = r.Between(2019, 2024), month = r.Between(1, 12), day = r.Between(1, 28);
    std::string v = Fmt("V%d.%d.%d", major, minor, patch);
    switch (r.Below(8)) {
        case 0:  // some firmware puts its build on a second line
            return v + "\n" + Fmt("build %04d%02d%02d", year, month, day);
        case 1:
        case 2:
            return v;
        default:
            return v + " Build " + Fmt("%04d%02d%02d", year, month, day);
    }
}

// The bandwidth codes the tool offers for this type, band and network mode;
// a generated device uses one of them so that its settings look like ones an
// operator could have made.
std::vector<uint8_t> AllowedBandwidths(uint16_t type, uint8_t rfType, uint8_t networkMode) {
    if (rfType == 0) {
        if (networkMode <= 2) return {0};
        return {2, 0, 1};
    }
    switch (type) {
        case 10:
        case 11:
        case 268:
        case 269:
        case 270:
            if (networkMode == 2) return {2, 4, 0, 5, 1, 6, 7, 3};
            return {2, 4, 0, 5, 1};
        case 6:
        case 8:
        case 9:
        case 265:
        case 266:
        case 267:
            return {2, 4, 0, 5, 1};
        case 13:
        case 271:
            if (networkMode == 1) return {2, 0, 1};
            if (networkMode == 2) return {2, 0, 1, 3};
            return {2, 0};
        case 15:
        case 18:
            if (networkMode == 2) return {2, 0, 1, 3};
            return {2, 0, 1};
        default:
            return {2, 0, 1};
    }
}

std::string HexKey(SplitMix64& r, size_t n) {
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(kHex[r.Below(16)]);
    return s;
}

SecurityBlock MakeSecurity(SplitMix64& r) {
    SecurityBlock s;
    uint32_t pick = r.Below(20);
    uint8_t mode = pick < 2    ? 0
                   : pick < 3  ? 1
                   : pick < 8  ? 2
                   : pick < 14 ? 3
                   : pick < 18 ? 4
                               : 5 + (pick & 1);
    s.set_secure_mode(mode);
    switch (mode) {
        case 1:
            s.set_wep_auth_type(static_cast<uint8_t>(r.Below(2)));
            s.set_wep_key_index(static_cast<uint8_t>(r.Below(4)));
            for (int k = 0; k < 4; ++k) {
                bool hex = r.Below(2) == 1;
                s.set_wep_key_type(k, hex ? 1 : 0);
                s.set_wep_key_value(k,
                                    hex ? HexKey(r, 26) : Fmt("wepkey%07d", r.Between(0, 9999999)));
            }
            break;
        case 2:
        case 3:
        case 4:
            s.set_wpapsk_auth_type(static_cast<uint8_t>(r.Below(3)));
            s.set_wpapsk_key_value(r.Below(4) == 0 ? HexKey(r, 64)
                                                   : "kx-" + HexKey(r, 5 + r.Below(20)));
            s.set_wpapsk_key_time(3600u * r.Between(0, 24));
            break;
        case 5:
        case 6:
            s.set_wpa_radius_ip({198, 18, 0, 1});
            s.set_wpa_radius_port(1812);
            s.set_wpa_auth_type(static_cast<uint8_t>(r.Below(3)));
            s.set_wpa_key("radius-" + HexKey(r, 12));
            s.set_wpa_key_time(86400);
            break;
        default:
            break;
    }
    return s;
}

MacBytes MakeMac(uint64_t seed, int index) {
    // An odd multiplier makes index -> low 24 bits a bijection, so MACs stay
    // distinct; the seed shifts the whole series.
    uint32_t low =
        (static_cast<uint32_t>(index) * 0x9E3779u + static_cast<uint32_t>(seed * 0x2545F491u)) &
        0xFFFFFFu;
    return {0x02,
            0x4b,
            0x58,
            static_cast<uint8_t>(low >> 16),
            static_cast<uint8_t>(low >> 8),
            static_cast<uint8_t>(low)};
}

DeviceSpec MakeDevice(const FleetConfig& config, int index, const Ipv4Bytes& ip) {
    DeviceSpec d;
    SplitMix64 basics(StreamSeed(config.seed, static_cast<uint64_t>(index), kBasics));
    d.mac = MakeMac(config.seed, index);
    d.type = kModelCodes[basics.Below(kModelCodes.size())];
    d.uptime = basics.Below(90u * 86400u);
    DeviceInfoBlock& info = d.info;

    // Device 0 is always an access point so that even a tiny fleet has one
    // for its stations to bridge to.
    uint32_t modePick = basics.Below(20);
    uint8_t mode = index == 0 || modePick < 9 ? kModeAp
                   : modePick < 16            ? kModeStation
                                              : 3 + modePick % 5;
    info.set_work_mode(mode);
    info.set_mode_btn_status(static_cast<uint8_t>(basics.Below(2)));

    AddressBlock address;
    address.set_ip_mode(1);
    address.set_ip(ip);
    address.set_ip_mask(config.netmask);
    address.set_ip_gateway(config.gateway);
    address.set_ip_dns1(config.gateway);
    address.set_ip_dns2(basics.Below(2) ? Ipv4Bytes{198, 18, 0, 53} : Ipv4Bytes{0, 0, 0, 0});
    info.set_address(address);

    SplitMix64 names(StreamSeed(config.seed, static_cast<uint64_t>(index), kNames));
    info.set_ap_name(MakeName(names, index, d.type));
    info.set_version(MakeVersion(names));

    RebootScheduleBlock reboot;
    if (basics.Below(4) == 0) {
        reboot.set_restart_en(1);
        reboot.set_restart_type(
            basics.Below(3) == 0 ? 0xFE : static_cast<uint8_t>(basics.Below(127) << 1 | 2));
        reboot.set_restart_time(
            static_cast<uint16_t>(basics.Below(24) * 60 + basics.Below(4) * 15));
    }
    info.set_reboot_schedule(reboot);

    SplitMix64 radio(StreamSeed(config.seed, static_cast<uint64_t>(index), kRadio));
    WirelessBlock w;
    bool fiveGig =
        d.type == 13 || d.type == 271 || d.type == 15 || d.type == 18 || radio.Below(2) == 1;
    w.set_rf_count(1);
    w.set_rf_en(radio.Below(16) == 0 ? 0 : 1);
    w.set_rf_type(fiveGig ? 1 : 0);
    w.set_country_code(static_cast<uint8_t>(radio.Below(4)));
    uint8_t networkMode = static_cast<uint8_t>(fiveGig ? radio.Below(3) : radio.Below(5));
    w.set_network_mode(networkMode);
    auto bandwidths = AllowedBandwidths(d.type, w.rf_type(), networkMode);
    w.set_bandwidth(bandwidths[radio.Below(static_cast<uint32_t>(bandwidths.size()))]);
    static const uint8_t kFive[] = {36, 40, 44, 48, 149, 153, 157, 161, 165};
    uint8_t channel = fiveGig ? radio.Pick(kFive) : static_cast<uint8_t>(radio.Between(1, 13));
    if (radio.Below(10) == 0) channel = 0;  // automatic
    w.set_channel(channel);
    w.set_expand_channel(static_cast<uint8_t>(radio.Below(2)));
    w.set_tx_power_min(static_cast<uint8_t>(radio.Between(0, 5)));
    w.set_tx_power_max(static_cast<uint8_t>(radio.Between(20, 30)));
    w.set_tx_power(static_cast<uint8_t>(radio.Between(w.tx_power_min(), w.tx_power_max())));
    w.set_ssid_rf_type(w.rf_type());
    w.set_ssid_hide(radio.Below(10) == 0 ? 1 : 0);
    w.set_ssid_mac(d.mac);
    w.set_ssid(MakeSsid(names, index));
    SplitMix64 sec(StreamSeed(config.seed, static_cast<uint64_t>(index), kSecurity));
    w.set_security(MakeSecurity(sec));
    w.set_ssid_count(1);
    info.set_wireless(w);

    VlanBlock vlan;
    if (basics.Below(5) == 0) {
        vlan.set_vlan_en(1);
        vlan.set_vlan_id(static_cast<uint16_t>(basics.Between(1, 4094)));
        vlan.set_vlan_id_wlan(static_cast<uint16_t>(basics.Between(1, 4094)));
        vlan.set_vlan_id_lan(static_cast<uint16_t>(basics.Between(1, 4094)));
    }
    info.set_vlan(vlan);

    ExtensionBlock ext;
    ext.set_bridge_transparent(
        LacksTransparentBridge(d.type) ? 0 : static_cast<uint8_t>(basics.Below(2)));
    ext.set_tdmaEn(HasPxsync(d.type) ? static_cast<uint8_t>(basics.Below(2)) : 0);
    ext.set_vlan_pvid(1);
    ext.set_vlan_id_lan3(vlan.vlan_en() ? static_cast<uint16_t>(basics.Between(1, 4094)) : 0);
    ext.set_vlan_id_lan4(vlan.vlan_en() ? static_cast<uint16_t>(basics.Between(1, 4094)) : 0);
    ext.set_wl_dfs((d.type == 15 || d.type == 18) ? static_cast<uint8_t>(basics.Below(2)) : 0);
    info.set_extension(ext);

    d.neighbours = basics.Between(4, 40);
    return d;
}

bool ParseBool(std::string_view v, bool& out) {
    if (v == "1" || v == "on" || v == "yes" || v == "true") {
        out = true;
        return true;
    }
    if (v == "0" || v == "off" || v == "no" || v == "false") {
        out = false;
        return true;
    }
    return false;
}

}  // namespace

bool NthAddress(const FleetConfig& config, int i, Ipv4Bytes& out) {
    uint32_t mask = IpToU32(config.netmask);
    uint32_t first = IpToU32(config.first_ip);
    uint32_t net = first & mask;
    uint32_t broadcast = net | ~mask;
    // Addresses come in blocks of 254 per /24 (skipping .0 and .255).
    uint32_t a = first;
    if ((a & 0xFF) == 0) ++a;
    if ((a & 0xFF) == 255) a += 2;
    uint64_t pos = static_cast<uint64_t>((a & 0xFF) - 1) + static_cast<uint64_t>(i);
    uint64_t value = static_cast<uint64_t>(a & ~0xFFu) + (pos / 254) * 256 + (pos % 254) + 1;
    if (value >= broadcast || value > 0xFFFFFFFFull ||
        (static_cast<uint32_t>(value) & mask) != net) {
        return false;
    }
    out = U32ToIp(static_cast<uint32_t>(value));
    return true;
}

void BridgeTo(DeviceSpec& station, const DeviceSpec& ap) {
    DeviceInfoBlock& info = station.info;
    info.set_work_mode(kModeStation);
    WirelessBlock apRadio = ap.info.wireless();
    BridgeBlock bridge;
    bridge.set_bridge_work_mode(kModeStation);
    bridge.set_bridge_mac(ap.mac);
    bridge.set_bridge_channel(apRadio.channel());
    bridge.set_bridge_ssid(apRadio.ssid());
    bridge.set_security(apRadio.security());
    info.set_bridge(bridge);
    WirelessBlock own = info.wireless();
    own.set_channel(apRadio.channel());
    own.set_rf_type(apRadio.rf_type());
    info.set_wireless(own);
}

int FindByMac(const std::vector<DeviceSpec>& fleet, const MacBytes& mac) {
    for (size_t i = 0; i < fleet.size(); ++i) {
        if (fleet[i].mac == mac) return static_cast<int>(i);
    }
    return -1;
}

uint8_t ScanSecurityCode(const SecurityBlock& security) {
    uint8_t cipher = security.wpapsk_auth_type();
    switch (security.secure_mode()) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return cipher == 0 ? 2 : cipher == 1 ? 3 : 10;
        case 3:
            return cipher == 0 ? 4 : cipher == 1 ? 5 : 6;
        case 4:
            return cipher == 0 ? 7 : cipher == 1 ? 8 : 9;
        default:
            return 11;  // enterprise modes have no code of their own in a scan
    }
}

bool IsFaultKey(std::string_view key) {
    return key == "mute-info" || key == "bridge-fail" || key == "claim" || key == "upgrade-fail" ||
           key == "upgrade-version";
}

bool ApplyFaultSetting(DeviceFaults& faults, int index, int count, std::string_view key,
                       std::string_view value, std::string& err) {
    auto bad = [&](const char* what) {
        err = "device " + std::to_string(index) + ": " + std::string(key) + "='" +
              std::string(value) + "' is not " + what;
        return false;
    };
    if (key == "mute-info") {
        if (!ParseBool(value, faults.mute_info)) return bad("0 or 1");
    } else if (key == "bridge-fail") {
        auto v = ParseInteger(value, 0, 255);
        if (!v) return bad("0, 1 or a result byte 1..255");
        faults.bridge_fail = *v != 0;
        faults.bridge_result = *v == 0 ? 1 : static_cast<uint8_t>(*v);
    } else if (key == "claim") {
        if (value == "none" || value == "-1") {
            faults.claim = -1;
        } else {
            auto v = ParseInteger(value, 0, count - 1);
            if (!v || *v == index) return bad("the index of another device, or none");
            faults.claim = static_cast<int>(*v);
        }
    } else if (key == "upgrade-fail") {
        if (!ParseBool(value, faults.upgrade_fail)) return bad("0 or 1");
    } else if (key == "upgrade-version") {
        if (value.size() > 32) return bad("a version of at most 32 bytes");
        faults.upgrade_version = std::string(value);
    } else {
        err = "'" + std::string(key) +
              "' is not a device fault (mute-info, bridge-fail, claim, upgrade-fail, "
              "upgrade-version)";
        return false;
    }
    return true;
}

bool ApplyDeviceSetting(std::vector<DeviceSpec>& fleet, int index, std::string_view keyValue,
                        std::string& err) {
    size_t eq = keyValue.find('=');
    if (eq == std::string_view::npos) {
        err = "device setting '" + std::string(keyValue) + "' is not key=value";
        return false;
    }
    std::string_view key = keyValue.substr(0, eq);
    std::string_view value = keyValue.substr(eq + 1);
    DeviceSpec& d = fleet[static_cast<size_t>(index)];
    const int count = static_cast<int>(fleet.size());
    auto bad = [&](const char* what) {
        err = "device " + std::to_string(index) + ": " + std::string(key) + "='" +
              std::string(value) + "' is not " + what;
        return false;
    };
    auto textFits = [&](size_t cap) { return value.size() <= cap; };

    if (key == "mac") {
        auto mac = ParseMacStrict(value);
        if (!mac) return bad("a MAC such as 02:4b:58:00:00:07");
        d.mac = *mac;
        WirelessBlock w = d.info.wireless();
        w.set_ssid_mac(*mac);
        d.info.set_wireless(w);
    } else if (key == "ip") {
        auto ip = ParseIpStrict(value);
        if (!ip) return bad("an IPv4 address");
        AddressBlock a = d.info.address();
        a.set_ip(*ip);
        d.info.set_address(a);
    } else if (key == "type") {
        auto v = ParseInteger(value, 0, 65535);
        if (!v) return bad("a type code 0..65535");
        d.type = static_cast<uint16_t>(*v);
    } else if (key == "name") {
        if (!textFits(32)) return bad("a name of at most 32 bytes");
        d.info.set_ap_name(value);
    } else if (key == "version") {
        if (!textFits(32)) return bad("a version of at most 32 bytes");
        d.info.set_version(value);
    } else if (key == "mode") {
        auto v = ParseInteger(value, 0, 255);
        if (!v) return bad("a work mode 0..255");
        d.info.set_work_mode(static_cast<uint8_t>(*v));
    } else if (key == "ssid") {
        if (!textFits(32)) return bad("an SSID of at most 32 bytes");
        WirelessBlock w = d.info.wireless();
        w.set_ssid(value);
        d.info.set_wireless(w);
    } else if (key == "channel") {
        auto v = ParseInteger(value, 0, 255);
        if (!v) return bad("a channel 0..255");
        WirelessBlock w = d.info.wireless();
        w.set_channel(static_cast<uint8_t>(*v));
        d.info.set_wireless(w);
    } else if (key == "secure") {
        auto v = ParseInteger(value, 0, 6);
        if (!v) return bad("a security mode 0..6");
        WirelessBlock w = d.info.wireless();
        SecurityBlock s = w.security();
        s.set_secure_mode(static_cast<uint8_t>(*v));
        w.set_security(s);
        d.info.set_wireless(w);
    } else if (key == "psk") {
        if (!textFits(64)) return bad("a key of at most 64 bytes");
        WirelessBlock w = d.info.wireless();
        SecurityBlock s = w.security();
        s.set_wpapsk_key_value(value);
        w.set_security(s);
        d.info.set_wireless(w);
    } else if (key == "transparent" || key == "pxsync") {
        bool on = false;
        if (!ParseBool(value, on)) return bad("0 or 1");
        ExtensionBlock e = d.info.extension();
        if (key == "transparent") {
            e.set_bridge_transparent(on ? 1 : 0);
        } else {
            e.set_tdmaEn(on ? 1 : 0);
        }
        d.info.set_extension(e);
    } else if (key == "btn") {
        bool on = false;
        if (!ParseBool(value, on)) return bad("0 or 1");
        d.info.set_mode_btn_status(on ? 1 : 0);
    } else if (key == "uptime") {
        auto v = ParseInteger(value, 0, 0xFFFFFFFFll);
        if (!v) return bad("a number of seconds");
        d.uptime = static_cast<uint32_t>(*v);
    } else if (key == "neighbours") {
        auto v = ParseInteger(value, 0, 255 * 32);
        if (!v) return bad("a count 0..8160");
        d.neighbours = static_cast<int>(*v);
    } else if (key == "bridge-to") {
        auto v = ParseInteger(value, 0, count - 1);
        if (!v || *v == index) return bad("the index of another device");
        BridgeTo(d, fleet[static_cast<size_t>(*v)]);
    } else if (IsFaultKey(key)) {
        return ApplyFaultSetting(d.faults, index, count, key, value, err);
    } else {
        err = "unknown device setting '" + std::string(key) + "'";
        return false;
    }
    return true;
}

bool ApplySettingLine(std::vector<DeviceSpec>& fleet, std::string_view line, std::string& err) {
    std::vector<std::string> words;
    if (!SplitWords(line, words, err)) return false;
    if (words.size() < 2) {
        err = "device setting '" + std::string(line) + "' needs a selector and key=value";
        return false;
    }
    std::vector<int> selected;
    auto byMac = [&fleet](const MacBytes& mac) { return FindByMac(fleet, mac); };
    if (!ParseSelector(words[0], static_cast<int>(fleet.size()), byMac, selected, err))
        return false;
    for (int index : selected) {
        for (size_t i = 1; i < words.size(); ++i) {
            if (!ApplyDeviceSetting(fleet, index, words[i], err)) return false;
        }
    }
    return true;
}

bool BuildFleet(const FleetConfig& config, std::vector<DeviceSpec>& fleet, std::string& err) {
    fleet.clear();
    if (config.devices < 0 || config.devices > kMaxDevices) {
        err = "the fleet holds 0 to " + std::to_string(kMaxDevices) + " devices";
        return false;
    }
    fleet.reserve(static_cast<size_t>(config.devices));
    for (int i = 0; i < config.devices; ++i) {
        Ipv4Bytes ip{};
        if (!NthAddress(config, i, ip)) {
            err = "the address range from " + IpBytesToText(config.first_ip) + " with mask " +
                  IpBytesToText(config.netmask) + " has no room for " +
                  std::to_string(config.devices) + " devices";
            return false;
        }
        fleet.push_back(MakeDevice(config, i, ip));
    }
    // Stations bridge to access points of the fleet, so the tool's bridge
    // questions (which stations hang on this AP?) have real answers. Each
    // picks among the access points before it, so growing the fleet never
    // moves an existing station (device 0 is always an access point).
    std::vector<size_t> aps;
    for (size_t i = 0; i < fleet.size(); ++i) {
        uint8_t mode = fleet[i].info.work_mode();
        if (mode == kModeStation && !aps.empty()) {
            SplitMix64 peers(StreamSeed(config.seed, i, kPeers));
            BridgeTo(fleet[i], fleet[aps[peers.Below(static_cast<uint32_t>(aps.size()))]]);
        } else if (mode == kModeAp) {
            aps.push_back(i);
        }
    }
    for (const std::string& line : config.settings) {
        if (!ApplySettingLine(fleet, line, err)) return false;
    }
    std::unordered_map<uint64_t, size_t> seen;
    for (size_t i = 0; i < fleet.size(); ++i) {
        uint64_t key = 0;
        for (uint8_t b : fleet[i].mac) key = key << 8 | b;
        auto [it, fresh] = seen.emplace(key, i);
        if (!fresh) {
            err = "devices " + std::to_string(it->second) + " and " + std::to_string(i) +
                  " have the same MAC " + MacBytesToText(fleet[i].mac);
            return false;
        }
        if (key == 0) {
            err = "device " + std::to_string(i) + " has the all-zero MAC";
            return false;
        }
    }
    return true;
}

}  // namespace kestrix::devsim
