#include "fleet/wireless_settings.h"

#include "base/text_utils.h"

namespace kestrix {

namespace {

constexpr std::array<const char*, 7> kSecurityKeys = {
    "None", "WEP", "WPA-PSK", "WPA2-PSK", "Mixed WPA/WPA2-PSK", "WPA", "WPA2"};

bool HidesWepAndEnterprise(uint16_t type) {
    return type == 12 || type == 13 || type == 271;
}

RadioList BuildCountryList(uint8_t countryCode) {
    RadioList list;
    const auto& table = CountryTable();
    for (size_t i = 0; i < table.size(); ++i) {
        list.entries.push_back({static_cast<int>(i), std::string(table[i].name), true});
    }
    const std::optional<size_t> own = CountryOfCodeNumber(countryCode);
    list.selected = own ? static_cast<int>(*own) : -1;
    return list;
}

RadioList BuildSecurityList(uint16_t type, uint8_t secureMode) {
    RadioList list;
    for (size_t i = 0; i < kSecurityKeys.size(); ++i) {
        const int code = static_cast<int>(i);
        if (HidesWepAndEnterprise(type) && (code == kSecWep || code == kSecWpa || code == kSecWpa2))
            continue;
        list.entries.push_back({code, kSecurityKeys[i], true});
    }
    // A mode the type does not offer leaves the list without a selection
    // (and the record's mode in place when saving).
    list.selected = IndexOfCode(list, secureMode);
    return list;
}

ConfigFailure Fail(RuleResult rule, ConfigField field) {
    return {std::move(rule), ConfigTab::kWireless, field};
}

ConfigField RadiusField(const RuleResult& r) {
    if (r.key == "Please enter a valid RADIUS Server address!") return ConfigField::kRadiusServer;
    if (r.key == "Please specify a valid RADIUS Port!") return ConfigField::kRadiusPort;
    if (r.key == "Please enter a key for 1~64 ASCII characters!") return ConfigField::kRadiusKey;
    return ConfigField::kRadiusInterval;
}

// The key field a rejection of the WEP key set points at: the first key
// that fails on its own, else the empty default key.
ConfigField WepField(const WepPanelEntries& wep) {
    constexpr std::array<ConfigField, 4> kFields = {ConfigField::kWepKey1, ConfigField::kWepKey2,
                                                    ConfigField::kWepKey3, ConfigField::kWepKey4};
    for (size_t k = 0; k < 4; ++k) {
        std::string_view key = wep.keys[k];
        if (k == 0) {
            while (!key.empty() && IsCSpace(key.front())) key.remove_prefix(1);
        }
        if (!key.empty() && !CheckWepKey(key, wep.formats[k])) return kFields[k];
    }
    const int position = wep.defaultKey;
    return position >= 0 && position < 4 ? kFields[static_cast<size_t>(position)]
                                         : ConfigField::kWepKey1;
}

uint32_t ReadUnsigned(std::string_view text) {
    return static_cast<uint32_t>(ReadDecimal(text));
}

}  // namespace

int IndexOfCode(const RadioList& list, int code) {
    for (size_t i = 0; i < list.entries.size(); ++i) {
        if (list.entries[i].code == code) return static_cast<int>(i);
    }
    return -1;
}

SecurityLayout SecurityLayoutFor(int mode) {
    SecurityLayout l;
    switch (mode) {
        case kSecWep:
            l.wepPanel = true;
            break;
        case kSecWpaPsk:
            l.pskFields = true;
            break;
        case kSecWpa2Psk:
        case kSecMixedPsk:
            l.pskFields = true;
            l.tkipAesEnabled = true;
            break;
        case kSecWpa:
        case kSecWpa2:
            l.wpaPanel = true;
            break;
        default:
            break;
    }
    return l;
}

WirelessSettings::WirelessSettings(const ap_info_stu& record) : record_(record) {
    const DeviceInfoBlock info = record.info();
    original_ = info.wireless();
    type_ = record.ap_type();
    workMode_ = info.work_mode();
    band_ = BandOfRfType(original_.rf_type());
    dfs_ = DfsOffered() && info.extension().wl_dfs() == 1;

    entries_.ssid = original_.ssid();
    entries_.hideSsid = original_.ssid_hide() != 0;

    countries_ = BuildCountryList(original_.country_code());
    const SecurityBlock sec = original_.security();
    security_ = BuildSecurityList(type_, sec.secure_mode());
    const uint8_t auth = sec.wpapsk_auth_type();
    cipher_ = auth == 1 ? PskCipher::kTkip : auth == 2 ? PskCipher::kTkipAes : PskCipher::kAes;

    entries_.pskKey = sec.wpapsk_key_value();
    entries_.pskInterval = std::to_string(sec.wpapsk_key_time());
    entries_.power = std::to_string(original_.tx_power());

    RadioQuery q;
    q.type = type_;
    q.band = band_;
    q.country = SelectedCountry();
    q.dfs = dfs_;
    q.networkMode = original_.network_mode();
    q.bandwidth = original_.bandwidth();
    q.channel = original_.channel();
    q.extension = original_.expand_channel();
    lists_ = FillRadioLists(q);

    // The personal modes cannot use both ciphers in plain WPA.
    if (sec.secure_mode() == kSecWpaPsk && cipher_ == PskCipher::kTkipAes)
        cipher_ = PskCipher::kAes;

    WepPanelEntries& wep = entries_.wep;
    wep.authType = sec.wep_auth_type() == 1 ? 1 : 0;
    wep.defaultKey = static_cast<int>(sec.wep_key_index()) - 1;
    for (int k = 0; k < 4; ++k) {
        wep.keys[static_cast<size_t>(k)] = sec.wep_key_value(k);
        wep.formats[static_cast<size_t>(k)] =
            sec.wep_key_type(k) == 1 ? WepKeyFormat::kHex : WepKeyFormat::kAscii;
    }
    WpaPanelEntries& wpa = entries_.wpa;
    wpa.authType = sec.wpa_auth_type() <= 2 ? sec.wpa_auth_type() : 0;
    wpa.server = sec.wpa_radius_ip();
    wpa.port = std::to_string(sec.wpa_radius_port());
    wpa.key = sec.wpa_key();
    wpa.interval = std::to_string(sec.wpa_key_time());
}

std::string WirelessSettings::PowerRange() const {
    return "(" + std::to_string(original_.tx_power_min()) + "-" +
           std::to_string(original_.tx_power_max()) + ")";
}

SecurityLayout WirelessSettings::Layout() const {
    return SecurityLayoutFor(SecurityMode().value_or(original_.security().secure_mode()));
}

std::optional<size_t> WirelessSettings::SelectedCountry() const {
    if (countries_.selected < 0) return std::nullopt;
    return static_cast<size_t>(countries_.selected);
}

void WirelessSettings::RebuildChannels(std::optional<int> bandwidth) {
    ChannelQuery q;
    q.type = type_;
    q.band = band_;
    q.country = SelectedCountry();
    q.bandwidth = bandwidth;
    q.dfs = dfs_;
    q.wanted = lists_.channels.SelectedCode();
    lists_.channels = ChannelList(q);
}

void WirelessSettings::RebuildExtensions(int wanted) {
    lists_.extensionChannels =
        ExtensionChannelList(band_, lists_.networkModes.SelectedCode(),
                             lists_.bandwidths.SelectedCode(), lists_.channels, wanted);
}

void WirelessSettings::SelectCountry(int index) {
    if (index < 0 || index >= static_cast<int>(countries_.entries.size())) return;
    radioTouched_ = true;
    countries_.selected = index;
    RebuildChannels(lists_.bandwidths.SelectedCode());
    RebuildExtensions(2);
}

void WirelessSettings::SelectNetworkMode(int index) {
    if (index < 0 || index >= static_cast<int>(lists_.networkModes.entries.size())) return;
    radioTouched_ = true;
    lists_.networkModes.selected = index;
    const int mode = lists_.networkModes.entries[static_cast<size_t>(index)].code;
    lists_.bandwidths = BandwidthList(type_, band_, mode, lists_.bandwidths.SelectedCode());
    if (RadioLocked()) return;
    // The channels follow the bandwidth now selected, so that the channel
    // sent is always one the bandwidth shown allows.
    RebuildChannels(lists_.bandwidths.SelectedCode());
    RebuildExtensions(2);
}

void WirelessSettings::SelectBandwidth(int index) {
    if (index < 0 || index >= static_cast<int>(lists_.bandwidths.entries.size())) return;
    radioTouched_ = true;
    lists_.bandwidths.selected = index;
    if (workMode_ == 2 || workMode_ == 3 || workMode_ == 6) return;
    RebuildChannels(lists_.bandwidths.SelectedCode());
    RebuildExtensions(2);
}

void WirelessSettings::SelectChannel(int index) {
    if (index < 0 || index >= static_cast<int>(lists_.channels.entries.size())) return;
    radioTouched_ = true;
    lists_.channels.selected = index;
    RebuildExtensions(2);
}

void WirelessSettings::SelectExtension(int index) {
    if (index < 0 || index >= static_cast<int>(lists_.extensionChannels.entries.size())) return;
    radioTouched_ = true;
    lists_.extensionChannels.selected = index;
}

void WirelessSettings::SetDfs(bool on) {
    if (!DfsOffered()) return;
    radioTouched_ = true;
    dfs_ = on;
    RebuildChannels(lists_.bandwidths.SelectedCode());
}

void WirelessSettings::SelectSecurity(int index) {
    if (index < 0 || index >= static_cast<int>(security_.entries.size())) return;
    security_.selected = index;
    if (!Layout().tkipAesEnabled && cipher_ == PskCipher::kTkipAes) cipher_ = PskCipher::kAes;
}

void WirelessSettings::SelectCipher(PskCipher cipher) {
    if (cipher == PskCipher::kTkipAes && !Layout().tkipAesEnabled) return;
    cipher_ = cipher;
}

WirelessSettings::Result WirelessSettings::Collect() const {
    Result out;
    const WirelessEntries& e = entries_;
    if (RuleResult r = CheckSsid(e.ssid, type_); !r) {
        out.failure = Fail(std::move(r), ConfigField::kSsid);
        return out;
    }
    if (RuleResult r = CheckTxPower(e.power, original_.tx_power_min(), original_.tx_power_max());
        !r) {
        out.failure = Fail(std::move(r), ConfigField::kTxPower);
        return out;
    }
    const std::optional<int> mode = SecurityMode();
    const int m = mode.value_or(-1);
    if (m == kSecWep) {
        if (RuleResult r = CheckWepKeys(e.wep.keys, e.wep.formats, e.wep.defaultKey + 1); !r) {
            out.failure = Fail(std::move(r), WepField(e.wep));
            return out;
        }
    } else if (m == kSecWpaPsk || m == kSecWpa2Psk || m == kSecMixedPsk) {
        if (RuleResult r = CheckPresharedKey(e.pskKey); !r) {
            out.failure = Fail(std::move(r), ConfigField::kPskKey);
            return out;
        }
        if (RuleResult r = CheckKeyInterval(e.pskInterval, IntervalField::kPersonal); !r) {
            out.failure = Fail(std::move(r), ConfigField::kPskInterval);
            return out;
        }
    } else if (m == kSecWpa || m == kSecWpa2) {
        if (RuleResult r = CheckRadius(e.wpa.server, e.wpa.port, e.wpa.key, e.wpa.interval); !r) {
            const ConfigField field = RadiusField(r);
            out.failure = Fail(std::move(r), field);
            return out;
        }
    }

    WirelessBlock b = original_;
    b.set_rf_count(1);
    b.set_rf_en(1);
    // A device whose country has no entry keeps its own code.
    if (const std::optional<size_t> country = SelectedCountry(); country && radioTouched_)
        b.set_country_code(CodeNumberOfCountry(*country));
    if (auto v = lists_.networkModes.SelectedCode(); v && radioTouched_)
        b.set_network_mode(static_cast<uint8_t>(*v));
    if (auto v = lists_.bandwidths.SelectedCode(); v && radioTouched_)
        b.set_bandwidth(static_cast<uint8_t>(*v));
    // Without a country of the table no channel list applies: the device
    // keeps its channel (and extension) rather than falling back to "Auto".
    const bool ownChannel = !SelectedCountry().has_value() || !radioTouched_;
    if (auto v = lists_.channels.SelectedCode(); v && !ownChannel)
        b.set_channel(static_cast<uint8_t>(*v));
    b.set_tx_power(static_cast<uint8_t>(ReadDecimal(e.power)));
    if (band_ == RadioBand::k24GHz && !ownChannel) {
        const auto nm = lists_.networkModes.SelectedCode();
        const auto bw = lists_.bandwidths.SelectedCode();
        const auto ch = lists_.channels.SelectedCode();
        const auto ext = lists_.extensionChannels.SelectedCode();
        const bool extended = nm == kMode24BGN && bw == kBw40 && ch.has_value() && *ch != 0;
        b.set_expand_channel(extended && ext ? static_cast<uint8_t>(*ext) : 2);
    }
    b.set_ssid_rf_type(b.rf_type());
    b.set_ssid_id(0);
    b.set_ssid_hide(e.hideSsid ? 1 : 0);
    b.set_ssid(CutUtf8Bytes(e.ssid, 32));
    b.set_ssid_count(1);

    SecurityBlock s = b.security();
    if (mode) s.set_secure_mode(static_cast<uint8_t>(*mode));
    if (m == kSecWep) {
        s.set_wep_auth_type(static_cast<uint8_t>(e.wep.authType));
        s.set_wep_key_index(static_cast<uint8_t>(e.wep.defaultKey + 1));
        for (int k = 0; k < 4; ++k) {
            s.set_wep_key_type(k, static_cast<uint8_t>(e.wep.formats[static_cast<size_t>(k)]));
            s.set_wep_key_value(k, CutUtf8Bytes(e.wep.keys[static_cast<size_t>(k)], 26));
        }
    } else if (m == kSecWpaPsk || m == kSecWpa2Psk || m == kSecMixedPsk) {
        s.set_wpapsk_auth_type(static_cast<uint8_t>(cipher_));
        s.set_wpapsk_key_value(CutUtf8Bytes(e.pskKey, 64));
        s.set_wpapsk_key_time(ReadUnsigned(e.pskInterval));
    } else if (m == kSecWpa || m == kSecWpa2) {
        s.set_wpa_radius_ip(e.wpa.server);
        s.set_wpa_radius_port(static_cast<uint16_t>(ReadDecimal(e.wpa.port)));
        s.set_wpa_auth_type(static_cast<uint8_t>(e.wpa.authType));
        s.set_wpa_key(CutUtf8Bytes(e.wpa.key, 64));
        s.set_wpa_key_time(ReadUnsigned(e.wpa.interval));
    }
    b.set_security(s);

    out.block = b;
    if (DfsOffered()) out.extension.set_wl_dfs(dfs_ ? 1 : 0);
    // Only the types that take the extension send the DFS state; on the
    // others a stored wl_dfs must not make every Save send the block.
    out.changed = !(b == original_) ||
                  (DfsOffered() && out.extension.wl_dfs() != record_.info().extension().wl_dfs());
    return out;
}

}  // namespace kestrix
