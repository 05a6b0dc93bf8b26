#include "tools/cli/bridge_options.h"

#include <algorithm>

#include "base/text_utils.h"
#include "tools/cli/cli_options.h"

namespace kestrix::cli {

namespace {

constexpr std::array<std::string_view, 15> kSingleOptions = {
    "--ap",      "--ssid", "--channel",  "--bandwidth", "--security",
    "--cipher",  "--key",  "--key-time", "--wep-auth",  "--wep-default",
    "--address", "--mask", "--gateway",  "--dns1",      "--dns2"};

// "--wep-key3" -> 2; nothing for anything else.
std::optional<size_t> NumberedOption(std::string_view word, std::string_view stem) {
    if (word.size() != stem.size() + 1 || word.substr(0, stem.size()) != stem) return std::nullopt;
    const char digit = word.back();
    if (digit < '1' || digit > '4') return std::nullopt;
    return static_cast<size_t>(digit - '1');
}

struct Word {
    std::string_view text;
    int code;
};
constexpr Word kModes[] = {{"none", kSecurityNone},
                           {"wep", kSecurityWep},
                           {"wpa-psk", kSecurityWpaPsk},
                           {"wpa2-psk", kSecurityWpa2Psk},
                           {"mixed", kSecurityMixed}};
constexpr Word kCiphers[] = {{"aes", static_cast<int>(PskCipher::kAes)},
                             {"tkip", static_cast<int>(PskCipher::kTkip)},
                             {"tkip+aes", static_cast<int>(PskCipher::kTkipAes)}};
constexpr Word kWepAuths[] = {{"open", 0}, {"share", 1}};
constexpr Word kFormats[] = {{"ascii", 0}, {"hex", 1}};

template <size_t N>
std::optional<int> FindWord(const Word (&words)[N], std::string_view text) {
    const std::string lower = AsciiLower(text);
    for (const Word& w : words) {
        if (w.text == lower) return w.code;
    }
    return std::nullopt;
}

template <size_t N>
std::string WordList(const Word (&words)[N]) {
    std::string out;
    for (const Word& w : words) out += (out.empty() ? "" : "|") + std::string(w.text);
    return out;
}

std::string Offered(const RadioList& list) {
    std::string out;
    for (const RadioEntry& e : list.entries) out += (out.empty() ? "" : ", ") + e.text;
    return out.empty() ? "none" : out;
}

bool Holds(const RadioList& list, int code) {
    const std::vector<int> codes = list.Codes();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

void Select(RadioList& list, int code) {
    for (size_t i = 0; i < list.entries.size(); ++i) {
        if (list.entries[i].code == code) list.selected = static_cast<int>(i);
    }
}

std::optional<int> ReadChannel(std::string_view text) {
    if (AsciiLower(text) == "auto") return 0;
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return ReadDecimal(text);
}

}  // namespace

bool IsBridgeOption(std::string_view word) {
    if (NumberedOption(word, "--wep-key") || NumberedOption(word, "--wep-format")) return true;
    return std::find(kSingleOptions.begin(), kSingleOptions.end(), word) != kSingleOptions.end();
}

std::optional<std::string> SetBridgeOption(BridgeRequest& r, std::string_view word,
                                           const std::string& value) {
    const std::string name(word);
    if (word == "--ap") {
        auto mac = NormaliseMac(value);
        if (!mac) return "'" + value + "' is not a MAC address (aa:bb:cc:dd:ee:ff).";
        r.ap = *mac;
    } else if (word == "--ssid") {
        r.ssid = value;
    } else if (word == "--channel") {
        if (!ReadChannel(value)) return "--channel takes a channel number or Auto.";
        r.channel = value;
    } else if (word == "--bandwidth") {
        if (!ParseBandwidth(value)) return "--bandwidth takes a code 0-7 or a text such as 20MHz.";
        r.bandwidth = value;
    } else if (word == "--security") {
        if (!FindWord(kModes, value)) return "--security takes " + WordList(kModes) + ".";
        r.security = value;
    } else if (word == "--cipher") {
        if (!FindWord(kCiphers, value)) return "--cipher takes " + WordList(kCiphers) + ".";
        r.cipher = value;
    } else if (word == "--key") {
        r.key = value;
    } else if (word == "--key-time") {
        r.keyTime = value;
    } else if (word == "--wep-auth") {
        if (!FindWord(kWepAuths, value)) return "--wep-auth takes " + WordList(kWepAuths) + ".";
        r.wepAuth = value;
    } else if (word == "--wep-default") {
        if (value.size() != 1 || value[0] < '1' || value[0] > '4')
            return "--wep-default takes 1, 2, 3 or 4.";
        r.wepDefault = value;
    } else if (auto k = NumberedOption(word, "--wep-key")) {
        r.wepKeys[*k] = value;
    } else if (auto f = NumberedOption(word, "--wep-format")) {
        if (!FindWord(kFormats, value)) return name + " takes " + WordList(kFormats) + ".";
        r.wepFormats[*f] = value;
    } else if (word == "--address") {
        r.address = value;
    } else if (word == "--mask") {
        r.mask = value;
    } else if (word == "--gateway") {
        r.gateway = value;
    } else if (word == "--dns1") {
        r.dns1 = value;
    } else if (word == "--dns2") {
        r.dns2 = value;
    } else {
        return "Unknown option " + name + ".";
    }
    return std::nullopt;
}

std::optional<std::string> ApplyBridgeOptions(const BridgeRequest& r, const ap_info_stu& record,
                                              const config_otherwl_basic& accessPoint,
                                              BridgePlan& plan) {
    const uint32_t type = record.ap_type();
    plan.security = InitialSecurity(accessPoint, record);
    plan.address = InitialBridgeAddress(record);
    BridgeSecurity& s = plan.security;

    if (r.ssid) s.ssid = *r.ssid;
    if (r.bandwidth) {
        if (!s.bandwidthShown)
            return "--bandwidth: the wizard offers no bandwidth choice for device type " +
                   std::to_string(type) + " (only types 10, 12, 13 and 271).";
        const int code = *ParseBandwidth(*r.bandwidth);
        if (!Holds(s.bandwidths, code))
            return "--bandwidth " + *r.bandwidth + " is not offered; the list holds " +
                   Offered(s.bandwidths) + ".";
        Select(s.bandwidths, code);
        s.channels = BridgeChannelList(record, code, accessPoint.channel());
    }
    if (r.channel) {
        const int channel = *ReadChannel(*r.channel);
        if (!Holds(s.channels, channel))
            return "--channel " + *r.channel + " is not offered; the list holds " +
                   Offered(s.channels) + ".";
        Select(s.channels, channel);
    }
    if (r.security) {
        const int mode = *FindWord(kModes, *r.security);
        const bool listed = std::any_of(s.modes.begin(), s.modes.end(),
                                        [mode](const RadioEntry& e) { return e.code == mode; });
        if (!listed)
            return "--security " + *r.security + " is not offered to device type " +
                   std::to_string(type) + " for this access point.";
        s.mode = mode;
        s.cipher = CipherForMode(mode, s.cipher);
    }
    const SecurityFields fields = FieldsOfMode(s.mode);
    if (r.cipher) {
        const auto cipher = static_cast<PskCipher>(*FindWord(kCiphers, *r.cipher));
        if (!fields.ciphers) return "--cipher applies to wpa-psk, wpa2-psk and mixed only.";
        if (cipher == PskCipher::kTkipAes && !fields.tkipAesEnabled)
            return "--cipher tkip+aes is not offered with wpa-psk.";
        s.cipher = cipher;
    }
    if ((r.key || r.keyTime) && !fields.key)
        return "--key and --key-time apply to wpa-psk, wpa2-psk and mixed only.";
    if (r.key) s.key = *r.key;
    if (r.keyTime) s.keyTime = *r.keyTime;
    const bool wepGiven = r.wepAuth || r.wepDefault ||
                          std::any_of(r.wepKeys.begin(), r.wepKeys.end(),
                                      [](const auto& k) { return k.has_value(); }) ||
                          std::any_of(r.wepFormats.begin(), r.wepFormats.end(),
                                      [](const auto& f) { return f.has_value(); });
    if (wepGiven && !fields.wepPanel) return "The --wep-... options apply to wep only.";
    if (r.wepAuth) s.wep.auth = *FindWord(kWepAuths, *r.wepAuth);
    if (r.wepDefault) s.wep.defaultKey = (*r.wepDefault)[0] - '1';
    for (size_t k = 0; k < 4; ++k) {
        if (r.wepKeys[k]) s.wep.keys[k] = *r.wepKeys[k];
        if (r.wepFormats[k])
            s.wep.formats[k] = static_cast<WepKeyFormat>(*FindWord(kFormats, *r.wepFormats[k]));
    }

    AddressSet& a = plan.address;
    if (r.address) a.ip = *r.address;
    if (r.mask) a.mask = *r.mask;
    if (r.gateway) a.gateway = *r.gateway;
    if (r.dns1) a.dns1 = *r.dns1;
    if (r.dns2) a.dns2 = *r.dns2;
    return std::nullopt;
}

std::string BridgeHelpText() {
    return "Usage: kestrix-cli bridge --mac MAC --ap AP_MAC [OPTIONS]\n"
           "\n"
           "Makes the device MAC a station bridged to the access point AP_MAC, as the bridge\n"
           "page's wizard does: a short search finds the device, the device scans its radio\n"
           "neighbourhood, and the link's settings start from what the scan reports of the\n"
           "access point (SSID, channel, bandwidth, security mode and cipher) and from the\n"
           "device's own record (address settings). The options below override them; the\n"
           "wizard's checks apply, then one SetBridge is sent. The device is done when its\n"
           "status reads \"Bridge success\" (bridge_failed: \"Bridge fail\").\n"
           "\n"
           "Link:\n"
           "  --ssid TEXT              SSID of the access point\n"
           "  --channel N|Auto         channel (one the wizard's list offers)\n"
           "  --bandwidth B            bandwidth, code or text (types 10, 12, 13, 271)\n"
           "  --security MODE          none|wep|wpa-psk|wpa2-psk|mixed\n"
           "  --cipher C               aes|tkip|tkip+aes\n"
           "  --key K, --key-time S    pre-shared key and key update interval (empty: 0)\n"
           "  --wep-auth open|share, --wep-default 1-4\n"
           "  --wep-key1..4 K, --wep-format1..4 ascii|hex\n"
           "Address of the device (default: its current settings):\n"
           "  --address A --mask M --gateway G --dns1 D --dns2 D\n"
           "Run:\n"
           "  --seconds S              length of the search that finds the device (default 3)\n"
           "  --wait S                 longest wait for the device's answer\n"
           "  --yes                    do not ask\n"
           "  --adapter NAME, --json, --csv, --help\n"
           "\n"
           "Exit status: 0 done, 1 not done (not found, mode switch at AP, access point not\n"
           "heard, bridge_failed, no_answer, cancelled), 2 invalid input (nothing sent).\n";
}

}  // namespace kestrix::cli
