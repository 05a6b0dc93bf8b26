#include "tools/cli/configure_edits.h"

#include <algorithm>
#include <functional>
#include <map>

#include "base/language.h"
#include "base/text_utils.h"
#include "tools/cli/cli_options.h"

namespace kestrix::cli {

namespace {

const std::vector<std::string_view> kOrder = {
    // Wireless, as the tab lays them out (the lists each build on the one before).
    "--ssid", "--hide-ssid", "--dfs", "--network-mode", "--bandwidth", "--power", "--country",
    "--channel", "--extension-channel", "--security", "--cipher", "--key", "--key-time",
    "--wep-auth", "--wep-default-key", "--wep-key1", "--wep-key1-type", "--wep-key2",
    "--wep-key2-type", "--wep-key3", "--wep-key3-type", "--wep-key4", "--wep-key4-type",
    "--radius-cipher", "--radius-ip", "--radius-port", "--radius-key", "--radius-key-time",
    // Address
    "--address", "--mask", "--gateway", "--dns1", "--dns2", "--name",
    // VLAN
    "--vlan", "--pvid", "--manage-vlan", "--wlan", "--lan", "--lan2", "--lan3", "--lan4",
    // Timed reboot
    "--timed-reboot", "--days"};

std::string Offered(const RadioList& list) {
    std::string out;
    for (const RadioEntry& e : list.entries) {
        if (!out.empty()) out += ", ";
        out += e.lookUp ? TranslateText(e.text) : e.text;
    }
    return out.empty() ? "nothing" : out;
}

EditOutcome Refuse(const ConfigureEdit& e, const std::string& why) {
    return {false, e.option + " " + e.value + ": " + why};
}

std::optional<bool> OnOff(std::string_view v) {
    if (v == "on") return true;
    if (v == "off") return false;
    return std::nullopt;
}

// Selects `code` in a list through `select`, or refuses naming the choices.
EditOutcome Choose(const ConfigureEdit& e, const RadioList& list, std::optional<int> code,
                   const std::function<void(int)>& select) {
    const int index = code ? IndexOfCode(list, *code) : -1;
    if (index < 0) return Refuse(e, "not offered (offered: " + Offered(list) + ")");
    select(index);
    return {};
}

struct Day {
    std::string_view name;
    size_t index;
};
constexpr Day kDays[] = {{"mon", 0}, {"tue", 1}, {"wed", 2}, {"thu", 3},
                         {"fri", 4}, {"sat", 5}, {"sun", 6}};

EditOutcome ApplyWireless(WirelessSettings& w, const ConfigureEdit& e) {
    const std::string& o = e.option;
    const std::string& v = e.value;
    if (w.ReadOnly())
        return Refuse(e, "the wireless settings of a device in this work mode cannot be changed");
    WirelessEntries& en = w.Entries();
    auto select = [&](void (WirelessSettings::*handler)(int)) {
        return std::function<void(int)>([&w, handler](int i) { (w.*handler)(i); });
    };
    const SecurityLayout layout = w.Layout();
    if (o == "--ssid") {
        en.ssid = v;
    } else if (o == "--hide-ssid") {
        const auto on = OnOff(v);
        if (!on) return Refuse(e, "give on or off");
        en.hideSsid = *on;
    } else if (o == "--dfs") {
        if (!w.DfsOffered())
            return Refuse(e, "this device type has no DFS switch (types 15 and 18 have)");
        const auto on = OnOff(v);
        if (!on) return Refuse(e, "give on or off");
        w.SetDfs(*on);
    } else if (o == "--network-mode") {
        return Choose(e, w.NetworkModes(), ParseNetworkMode(w.Band(), v),
                      select(&WirelessSettings::SelectNetworkMode));
    } else if (o == "--bandwidth") {
        return Choose(e, w.Bandwidths(), ParseBandwidth(v),
                      select(&WirelessSettings::SelectBandwidth));
    } else if (o == "--power") {
        en.power = v;
    } else if (o == "--country" || o == "--channel" || o == "--extension-channel") {
        if (w.RadioLocked())
            return Refuse(e, "country, channel and extension channel are fixed in this work mode");
        if (o == "--country") {
            const auto c = FindCountry(v);
            return Choose(e, w.Countries(),
                          c ? std::optional<int>(static_cast<int>(*c)) : std::nullopt,
                          select(&WirelessSettings::SelectCountry));
        }
        if (o == "--channel") {
            std::optional<int> ch;
            if (AsciiLower(v) == "auto") {
                ch = 0;
            } else if (!v.empty() &&
                       std::all_of(v.begin(), v.end(),
                                   [](char c) { return c >= '0' && c <= '9'; }) &&
                       v.size() <= 3) {
                ch = ReadDecimal(v);
            }
            return Choose(e, w.Channels(), ch, select(&WirelessSettings::SelectChannel));
        }
        std::optional<int> ext;
        if (v == "below") ext = 0;
        if (v == "above") ext = 1;
        if (!w.Extensions().enabled)
            return Refuse(e, "no extension channel at this network mode, bandwidth and channel");
        return Choose(e, w.Extensions(), ext, select(&WirelessSettings::SelectExtension));
    } else if (o == "--security") {
        static const std::map<std::string, int, std::less<>> kModes = {
            {"none", kSecNone},        {"wep", kSecWep},        {"wpa-psk", kSecWpaPsk},
            {"wpa2-psk", kSecWpa2Psk}, {"mixed", kSecMixedPsk}, {"wpa", kSecWpa},
            {"wpa2", kSecWpa2}};
        const auto it = kModes.find(AsciiLower(v));
        return Choose(e, w.SecurityModes(),
                      it == kModes.end() ? std::nullopt : std::optional<int>(it->second),
                      select(&WirelessSettings::SelectSecurity));
    } else if (o == "--cipher" || o == "--key" || o == "--key-time") {
        if (!layout.pskFields)
            return Refuse(e, "only the pre-shared key modes (wpa-psk, wpa2-psk, mixed) have it");
        if (o == "--key") {
            en.pskKey = v;
        } else if (o == "--key-time") {
            en.pskInterval = v;
        } else {
            const std::string c = AsciiLower(v);
            const PskCipher cipher = c == "aes"    ? PskCipher::kAes
                                     : c == "tkip" ? PskCipher::kTkip
                                                   : PskCipher::kTkipAes;
            if (c != "aes" && c != "tkip" && c != "tkip+aes")
                return Refuse(e, "give aes, tkip or tkip+aes");
            if (cipher == PskCipher::kTkipAes && !layout.tkipAesEnabled)
                return Refuse(e, "not offered in WPA-PSK (offered: aes, tkip)");
            w.SelectCipher(cipher);
        }
    } else if (o.rfind("--wep-", 0) == 0) {
        if (!layout.wepPanel) return Refuse(e, "only the wep security mode has it");
        WepPanelEntries& wep = en.wep;
        if (o == "--wep-auth") {
            if (v != "open" && v != "share") return Refuse(e, "give open or share");
            wep.authType = v == "share" ? 1 : 0;
        } else if (o == "--wep-default-key") {
            if (v.size() != 1 || v[0] < '1' || v[0] > '4') return Refuse(e, "give 1, 2, 3 or 4");
            wep.defaultKey = v[0] - '1';
        } else {
            const size_t k = static_cast<size_t>(o[9] - '1');  // "--wep-keyN..."
            if (o.size() > 10) {                               // "-type"
                if (v != "ascii" && v != "hex") return Refuse(e, "give ascii or hex");
                wep.formats[k] = v == "hex" ? WepKeyFormat::kHex : WepKeyFormat::kAscii;
            } else {
                wep.keys[k] = v;
            }
        }
    } else if (o.rfind("--radius-", 0) == 0) {
        if (!layout.wpaPanel) return Refuse(e, "only the wpa and wpa2 security modes have it");
        WpaPanelEntries& wpa = en.wpa;
        if (o == "--radius-ip") {
            if (!IsDottedQuad(v)) return Refuse(e, "not an IPv4 address");
            wpa.server = IpTextToBytes(v);
        } else if (o == "--radius-port") {
            wpa.port = v;
        } else if (o == "--radius-key") {
            wpa.key = v;
        } else if (o == "--radius-key-time") {
            wpa.interval = v;
        } else {
            const std::string c = AsciiLower(v);
            if (c != "aes" && c != "tkip" && c != "aes+tkip")
                return Refuse(e, "give aes, tkip or aes+tkip");
            wpa.authType = c == "aes" ? 0 : c == "tkip" ? 1 : 2;
        }
    }
    return {};
}

EditOutcome ApplyAddress(AddressEntries& a, const ConfigureEdit& e) {
    const std::string& o = e.option;
    if (o == "--name") {
        a.name = e.value;
        return {};
    }
    // The address fields are IPv4 address controls: four numbers or empty.
    if (!e.value.empty() && !IsDottedQuad(e.value)) return Refuse(e, "not an IPv4 address");
    std::string* field = o == "--address"   ? &a.ip
                         : o == "--mask"    ? &a.mask
                         : o == "--gateway" ? &a.gateway
                         : o == "--dns1"    ? &a.dns1
                                            : &a.dns2;
    *field = e.value;
    return {};
}

EditOutcome ApplyVlan(DeviceConfig& c, const ConfigureEdit& e) {
    const VlanLayout& l = c.vlanLayout;
    const std::string& o = e.option;
    if (l.readOnly)
        return Refuse(e, "the VLAN settings of a device in this work mode cannot be changed");
    if (!VlanTabOffered(c.record.ap_type()))
        return Refuse(e, "this device type has no VLAN settings");
    VlanEntries& v = c.vlan;
    if (o == "--vlan") {
        const auto on = OnOff(e.value);
        if (!on) return Refuse(e, "give on or off");
        v.enabled = *on;
        return {};
    }
    if (!v.enabled) return Refuse(e, "VLAN is off; give --vlan on with it");
    auto offered = [&] {
        std::string s = "Manage VLAN, WLAN";
        if (l.pvid) s = "PVID, " + s;
        if (l.lan) s += l.lan34 ? ", LAN2, LAN3, LAN4" : ", LAN";
        return "offered on this device type: " + s;
    };
    if (o == "--pvid") {
        if (!l.pvid) return Refuse(e, offered());
        v.pvid = e.value;
    } else if (o == "--manage-vlan") {
        v.manage = e.value;
    } else if (o == "--wlan") {
        v.wlan = e.value;
    } else if (o == "--lan") {
        if (!(l.lan && !l.lan34)) return Refuse(e, offered());
        v.lan = e.value;
    } else if (o == "--lan2") {
        if (!l.lan34) return Refuse(e, offered());
        v.lan = e.value;
    } else if (o == "--lan3" || o == "--lan4") {
        if (!l.lan34) return Refuse(e, offered());
        (o == "--lan3" ? v.lan3 : v.lan4) = e.value;
    }
    return {};
}

EditOutcome ApplyReboot(RebootEntries& r, const ConfigureEdit& e, bool timeGiven) {
    if (e.option == "--timed-reboot") {
        if (e.value == "off") {
            r.SetEnabled(false);
            return {};
        }
        const size_t colon = e.value.find(':');
        const std::string hour = e.value.substr(0, colon);
        const std::string minute = colon == std::string::npos ? "" : e.value.substr(colon + 1);
        auto digits = [](const std::string& s) {
            return !s.empty() && s.size() <= 2 &&
                   std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
        };
        if (colon == std::string::npos || !digits(hour) || !digits(minute))
            return Refuse(e, "give off or a time HH:MM");
        r.SetEnabled(true);
        r.hour = hour;
        r.minute = minute;
        return {};
    }
    // --days
    if (!timeGiven || !r.enabled) return Refuse(e, "give --timed-reboot HH:MM with it");
    if (AsciiLower(e.value) == "everyday") {
        r.SetEveryday(true);
        return {};
    }
    std::array<bool, 7> days{};
    for (const std::string& item : SplitList(AsciiLower(e.value))) {
        const std::string_view name = TrimWhiteSpace(item);
        const auto it = std::find_if(std::begin(kDays), std::end(kDays),
                                     [&](const Day& d) { return d.name == name; });
        if (it == std::end(kDays))
            return Refuse(
                e, "days are mon, tue, wed, thu, fri, sat, sun (comma-separated) or everyday");
        days[it->index] = true;
    }
    r.SetEveryday(false);
    r.days = days;
    r.everyday = std::all_of(days.begin(), days.end(), [](bool d) { return d; });
    return {};
}

}  // namespace

bool IsConfigureOption(std::string_view option) {
    return std::find(kOrder.begin(), kOrder.end(), option) != kOrder.end();
}

const std::vector<std::string_view>& ConfigureOptionOrder() {
    return kOrder;
}

EditOutcome ApplyConfigureEdits(DeviceConfig& c, const std::vector<ConfigureEdit>& edits) {
    std::vector<ConfigureEdit> ordered = edits;
    auto rank = [](const ConfigureEdit& e) {
        return std::find(kOrder.begin(), kOrder.end(), e.option) - kOrder.begin();
    };
    std::stable_sort(
        ordered.begin(), ordered.end(),
        [&](const ConfigureEdit& a, const ConfigureEdit& b) { return rank(a) < rank(b); });
    const bool timeGiven = std::any_of(edits.begin(), edits.end(), [](const ConfigureEdit& e) {
        return e.option == "--timed-reboot" && e.value != "off";
    });
    for (const ConfigureEdit& e : ordered) {
        const auto r = rank(e);
        EditOutcome out;
        if (r < 28) {
            out = ApplyWireless(c.wireless, e);
        } else if (r < 34) {
            out = ApplyAddress(c.address, e);
        } else if (r < 42) {
            out = ApplyVlan(c, e);
        } else if (r < static_cast<long>(kOrder.size())) {
            out = ApplyReboot(c.reboot, e, timeGiven);
        } else {
            out = Refuse(e, "not an option of configure");
        }
        if (!out.ok) return out;
    }
    return {};
}

}  // namespace kestrix::cli
