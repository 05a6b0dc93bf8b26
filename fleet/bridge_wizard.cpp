#include "fleet/bridge_wizard.h"

#include "base/text_utils.h"

namespace kestrix {

namespace {

std::string_view LeadingBlanksRemoved(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    return text.substr(i);
}

}  // namespace

bool ModeSwitchBlocksBridge(const ap_info_stu& record) {
    const uint8_t position = record.info().mode_btn_status();
    return position != 0 && position != 2;
}

int ScanSortKey(int column) {
    switch (column) {
        case kScanColumnSsid:
            return 1;
        case kScanColumnChannel:
            return 2;
        case kScanColumnMac:
            return 0;
        case kScanColumnSecure:
            return 3;
        case kScanColumnSignal:
            return 4;
        default:
            return 1;
    }
}

int SignalImage(int signal) {
    if (signal > -60) return 5;
    if (signal >= -74) return 3;
    return 1;
}

std::vector<RadioEntry> BridgeSecurityModes(uint32_t type, bool accessPointUsesWep) {
    std::vector<RadioEntry> modes = {{kSecurityNone, "None"},
                                     {kSecurityWpaPsk, "WPA-PSK"},
                                     {kSecurityWpa2Psk, "WPA2-PSK"},
                                     {kSecurityMixed, "Mixed WPA/WPA2-PSK"}};
    if (type == 15 || type == 18 || accessPointUsesWep)
        modes.insert(modes.begin() + 1, RadioEntry{kSecurityWep, "WEP"});
    return modes;
}

ScanSecurity SecurityOfScanCode(uint32_t code) {
    using C = PskCipher;
    switch (code) {
        case 1:
            return {kSecurityWep, C::kAes};
        case 2:
            return {kSecurityWpaPsk, C::kAes};
        case 3:
            return {kSecurityWpaPsk, C::kTkip};
        case 4:
            return {kSecurityWpa2Psk, C::kAes};
        case 5:
            return {kSecurityWpa2Psk, C::kTkip};
        case 6:
            return {kSecurityWpa2Psk, C::kTkipAes};
        case 7:
            return {kSecurityMixed, C::kAes};
        case 8:
            return {kSecurityMixed, C::kTkip};
        case 9:
            return {kSecurityMixed, C::kTkipAes};
        case 10:
            return {kSecurityWpaPsk, C::kTkipAes};
        default:
            return {kSecurityNone, C::kAes};
    }
}

SecurityFields FieldsOfMode(int mode) {
    SecurityFields f;
    switch (mode) {
        case kSecurityWep:
            f.wepPanel = true;
            break;
        case kSecurityWpaPsk:
            f.ciphers = true;
            f.key = true;
            break;
        case kSecurityWpa2Psk:
        case kSecurityMixed:
            f.ciphers = true;
            f.tkipAesEnabled = true;
            f.key = true;
            break;
        default:
            break;
    }
    return f;
}

PskCipher CipherForMode(int mode, PskCipher ticked) {
    if (mode == kSecurityWpaPsk && ticked == PskCipher::kTkipAes) return PskCipher::kAes;
    return ticked;
}

bool BridgeShowsBandwidth(uint32_t type) {
    return type == 10 || type == 12 || type == 13 || type == 271;
}

RadioList BridgeChannelList(const ap_info_stu& record, std::optional<int> bandwidth,
                            int wantedChannel) {
    const DeviceInfoBlock info = record.info();
    const WirelessBlock w = info.wireless();
    ChannelQuery q;
    q.type = record.ap_type();
    q.band = BandOfRfType(w.rf_type());
    q.country = CountryOfCodeNumber(w.country_code());
    q.bandwidth = bandwidth;
    q.dfs = info.extension().wl_dfs() != 0;
    q.wanted = wantedChannel;
    q.use = ChannelListUse::kBridgeWizard;
    return ChannelList(q);
}

BridgeSecurity InitialSecurity(const config_otherwl_basic& accessPoint, const ap_info_stu& record) {
    const uint32_t type = record.ap_type();
    const WirelessBlock w = record.info().wireless();
    BridgeSecurity s;
    s.ssid = accessPoint.ssid();
    // The channels at the device's own bandwidth; a change of the bandwidth
    // list rebuilds them at the chosen one.
    s.channels = BridgeChannelList(record, w.bandwidth(), accessPoint.channel());
    s.bandwidths =
        BandwidthList(type, BandOfRfType(w.rf_type()), w.network_mode(), accessPoint.bandwidth());
    s.bandwidthShown = BridgeShowsBandwidth(type);

    const ScanSecurity scanned = SecurityOfScanCode(accessPoint.secure_mode());
    s.modes = BridgeSecurityModes(type, scanned.mode == kSecurityWep);
    s.mode = s.modes.front().code;
    for (const RadioEntry& e : s.modes) {
        if (e.code == scanned.mode) s.mode = e.code;
    }
    s.cipher = CipherForMode(s.mode, scanned.cipher);
    return s;
}

RuleResult CheckBridgeSecurity(const BridgeSecurity& s, uint32_t type) {
    if (RuleResult r = CheckSsid(s.ssid, type, SsidCheck::kWizard); !r) return r;
    if (s.mode == kSecurityWep)
        return CheckWepKeys(s.wep.keys, s.wep.formats, s.wep.defaultKey + 1);
    if (s.mode == kSecurityWpaPsk || s.mode == kSecurityWpa2Psk || s.mode == kSecurityMixed)
        return CheckPresharedKey(s.key);
    return RuleResult::Accept();
}

BridgeBlock BuildBridgeBlock(const BridgeSecurity& s, const MacBytes& accessPointMac) {
    BridgeBlock b;
    b.set_bridge_work_mode(2);  // station
    b.set_bridge_mac(accessPointMac);
    b.set_bridge_channel(static_cast<uint8_t>(s.Channel().value_or(0)));
    b.set_bridge_ssid(s.ssid);
    SecurityBlock sec;
    sec.set_secure_mode(static_cast<uint8_t>(s.mode));
    if (s.mode == kSecurityWep) {
        sec.set_wep_auth_type(static_cast<uint8_t>(s.wep.auth));
        sec.set_wep_key_index(static_cast<uint8_t>(s.wep.defaultKey));
        for (int k = 0; k < 4; ++k) {
            const size_t i = static_cast<size_t>(k);
            sec.set_wep_key_type(k, static_cast<uint8_t>(s.wep.formats[i]));
            // Key 1 was checked without its leading blanks: that is the key.
            const std::string_view key =
                k == 0 ? LeadingBlanksRemoved(s.wep.keys[0]) : std::string_view(s.wep.keys[i]);
            sec.set_wep_key_value(k, key);
        }
    } else if (s.mode == kSecurityWpaPsk || s.mode == kSecurityWpa2Psk ||
               s.mode == kSecurityMixed) {
        sec.set_wpapsk_auth_type(static_cast<uint8_t>(CipherForMode(s.mode, s.cipher)));
        sec.set_wpapsk_key_value(s.key);
        sec.set_wpapsk_key_time(static_cast<uint32_t>(ReadDecimal(s.keyTime)));
    }
    b.set_security(sec);
    return b;
}

AddressSet InitialBridgeAddress(const ap_info_stu& record) {
    const AddressBlock a = record.info().address();
    return {IpBytesToText(a.ip()), IpBytesToText(a.ip_mask()), IpBytesToText(a.ip_gateway()),
            IpBytesToText(a.ip_dns1()), IpBytesToText(a.ip_dns2())};
}

RuleResult CheckBridgeAddress(const AddressSet& a, const Ipv4Bytes& currentIp,
                              const std::vector<std::string>& storedIps) {
    if (RuleResult r = CheckWizardAddressSet(a); !r) return r;
    return CheckAddressInUse(a.ip, currentIp, storedIps);
}

AddressBlock BuildBridgeAddressBlock(const AddressSet& a) {
    AddressBlock b;
    b.set_ip_mode(1);
    b.set_ip(IpTextToBytes(a.ip));
    b.set_ip_mask(IpTextToBytes(a.mask));
    b.set_ip_gateway(IpTextToBytes(a.gateway));
    b.set_ip_dns1(IpTextToBytes(a.dns1));
    b.set_ip_dns2(IpTextToBytes(a.dns2));
    b.set_apply(0);
    return b;
}

std::vector<uint8_t> BridgePayload(const BridgeBlock& bridge, const AddressBlock& address) {
    return BuildSetBridgePayload(bridge, address);
}

SentCommand SendBridge(CommandSink& sink, const SelectedDevice& device, const BridgeBlock& bridge,
                       const AddressBlock& address) {
    const std::vector<uint8_t> payload = BridgePayload(bridge, address);
    SentCommand c{device, MsgType::SetBridge, false, {}};
    c.sent = sink.SendToDevice(device.ip, MsgType::SetBridge, payload.data(), payload.size(),
                               device.mac, true);
    return c;
}

}  // namespace kestrix
