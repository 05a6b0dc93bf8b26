#include "fleet/validation.h"

#include <regex>

#include "base/language.h"
#include "base/profile.h"
#include "base/text_utils.h"
#include "link/wire/text_codec.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

constexpr size_t kMaxNameBytes = 32;

bool IsUnset(std::string_view address) {
    return address.empty() || address == "0.0.0.0";
}

size_t CharWeight(char32_t c) {
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (c < 0x10000) return 3;
    return 6;  // a surrogate pair: two units of 3
}

// One piece of a dotted address: "0" or a decimal number without leading
// zeros, at most 255. Requiring the canonical spelling keeps the text
// comparisons of the address rules (network address, gateway equal to the
// address, address in use) equivalent to comparing the four bytes: "010.0.0.1"
// would otherwise slip past them as a different text for the same address.
bool IsAddressPiece(std::string_view piece) {
    if (piece.empty() || piece.size() > 3) return false;
    if (piece.size() > 1 && piece.front() == '0') return false;
    int value = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

// Exactly four pieces: the text holds exactly three dots.
bool HasFourPieces(std::string_view text) {
    size_t dots = 0;
    for (char c : text) dots += c == '.' ? 1 : 0;
    return dots == 3;
}

bool IsValidHostBytes(const Ipv4Bytes& b) {
    return b[0] != 0 && b[0] != 127 && b[0] < 224 && b[3] != 0 && b[3] != 255;
}

uint32_t ToNumber(const Ipv4Bytes& b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

RuleResult Plain(std::string_view key) {
    return RuleResult::Reject(key, MessageKind::kPlain);
}

constexpr std::string_view kIpInvalid = "The ip address is invalid!";
constexpr std::string_view kMaskInvalid = "The subnet mask is invalid!";
constexpr std::string_view kGatewayInvalid = "The gateway address is invalid!";
constexpr std::string_view kIpIsGateway = "The ip address and gateway address cannot be the same!";
constexpr std::string_view kNetworkSegment = "IP Address can't be the network segment!";
constexpr std::string_view kNotSameSubnet =
    "Ip address and gateway address is not in the same subnet!";
constexpr std::string_view kDns1Invalid = "The primary DNS Server is invalid!";
constexpr std::string_view kDns2Invalid = "The secondary DNS Server is invalid!";
constexpr std::string_view kDnsSame =
    "Primary DNS Server and Secondary DNS Server can't be the same!";
constexpr std::string_view kWizardDnsSame =
    "The primary DNS server cannot be the same as the secondary DNS server!";

// The first steps every address-set variant shares: address, mask, gateway,
// and the address differing from the gateway.
RuleResult CheckAddressBasics(const AddressSet& a) {
    if (!IsValidHostAddress(a.ip, AddressRequirement::kRequired)) return Plain(kIpInvalid);
    if (!IsValidSubnetMask(a.mask)) return Plain(kMaskInvalid);
    if (!IsValidHostAddress(a.gateway, AddressRequirement::kOptional)) {
        return Plain(kGatewayInvalid);
    }
    if (a.ip == a.gateway) return Plain(kIpIsGateway);
    return RuleResult::Accept();
}

RuleResult CheckDnsServers(const AddressSet& a) {
    if (!IsValidHostAddress(a.dns1, AddressRequirement::kOptional)) return Plain(kDns1Invalid);
    if (!IsValidHostAddress(a.dns2, AddressRequirement::kOptional)) return Plain(kDns2Invalid);
    if (DnsPairConflicts(a.dns1, a.dns2)) return Plain(kDnsSame);
    return RuleResult::Accept();
}

RuleResult NameCharsetFailure(bool strict, bool ssid) {
    std::string_view key;
    if (ssid) {
        key = strict ? "SSID maximum allowed 32 bytes, only support combination of Chinese, "
                       "lowercase letters, 0-9 numbers"
                     : "SSID maximum allowed 32 bytes, only support combination of Chinese, "
                       "ASCII characters";
    } else {
        key = strict ? "Device name maximum allowed 32 bytes, only support combination of "
                       "Chinese, lowercase letters, 0-9 numbers"
                     : "Device name maximum allowed 32 bytes, only support combination of "
                       "Chinese, ASCII characters";
    }
    return RuleResult::Reject(key, MessageKind::kWarning,
                              ssid ? FocusField::kSsid : FocusField::kName);
}

}  // namespace

RuleResult RuleResult::Reject(std::string_view key, MessageKind kind, FocusField focus) {
    RuleResult r;
    r.accepted = false;
    r.key = std::string(key);
    r.message = TranslateText(key);
    r.kind = kind;
    r.focus = focus;
    return r;
}

bool IsStrictNameChar(char32_t c) {
    static constexpr std::u32string_view kMarks = U"!#$%&()*+-./<=>?@^_~";
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') ||
           kMarks.find(c) != std::u32string_view::npos || IsChineseChar(c);
}

bool IsOpenNameChar(char32_t c) {
    return (c >= 1 && c <= 127) || IsChineseChar(c);
}

bool UsesStrictNameSet(uint32_t typeCode) {
    return typeCode == 4 || typeCode == 17 || typeCode == 261;
}

size_t TextByteCount(std::string_view text) {
    size_t count = 0;
    for (char32_t c : Utf8ToCodePoints(text)) count += CharWeight(c);
    return count;
}

std::string TruncateToByteCount(std::string_view text, size_t limit) {
    std::u32string chars = Utf8ToCodePoints(text);
    size_t count = 0;
    size_t keep = 0;
    while (keep < chars.size() && count + CharWeight(chars[keep]) <= limit) {
        count += CharWeight(chars[keep]);
        ++keep;
    }
    if (keep == chars.size()) return std::string(text);
    return CodePointsToUtf8(std::u32string_view(chars).substr(0, keep));
}

size_t TextUnitCount(std::string_view text) {
    size_t units = 0;
    for (char32_t c : Utf8ToCodePoints(text)) units += c > 0xFFFF ? 2 : 1;
    return units;
}

bool IsValidHostAddress(std::string_view text, AddressRequirement requirement) {
    if (IsUnset(text)) return requirement == AddressRequirement::kOptional;
    if (!HasFourPieces(text)) return false;
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t dot = text.find('.', start);
        std::string_view piece =
            text.substr(start, dot == std::string_view::npos ? text.size() - start : dot - start);
        if (!IsAddressPiece(piece)) return false;
        start = dot + 1;
    }
    return IsValidHostBytes(IpTextToBytes(text));
}

bool IsValidSubnetMask(std::string_view text) {
    // The dots are left unescaped on purpose (they match any character);
    // with the four-piece condition the pattern admits exactly the contiguous
    // masks from 128.0.0.0 to 255.255.255.254.
    static const std::regex kMaskPattern(
        "^(254|252|248|240|224|192|128).0.0.0$|^(255.(254|252|248|240|224|192|128|0).0.0)$|^(255."
        "255.(254|252|248|240|224|192|128|0).0)$|^(255.255.255.(254|252|248|240|224|192|128|0))$",
        std::regex::ECMAScript);
    if (!HasFourPieces(text)) return false;
    return std::regex_match(text.begin(), text.end(), kMaskPattern);
}

bool InSameSubnet(std::string_view a, std::string_view b, std::string_view mask) {
    const Ipv4Bytes x = IpTextToBytes(a);
    const Ipv4Bytes y = IpTextToBytes(b);
    const Ipv4Bytes m = IpTextToBytes(mask);
    for (size_t i = 0; i < 4; ++i) {
        if ((x[i] & m[i]) != (y[i] & m[i])) return false;
    }
    return true;
}

bool IsNetworkAddress(std::string_view address, std::string_view mask) {
    const Ipv4Bytes x = IpTextToBytes(address);
    const Ipv4Bytes m = IpTextToBytes(mask);
    Ipv4Bytes network{};
    for (size_t i = 0; i < 4; ++i) network[i] = static_cast<uint8_t>(x[i] & m[i]);
    return IpBytesToText(network) == address;
}

bool DnsPairConflicts(std::string_view primary, std::string_view secondary) {
    return !IsUnset(primary) && !IsUnset(secondary) && primary == secondary;
}

RuleResult CheckAddressSet(const AddressSet& a) {
    if (RuleResult r = CheckAddressBasics(a); !r) return r;
    if (IsNetworkAddress(a.ip, a.mask)) return Plain(kNetworkSegment);
    if (!IsUnset(a.gateway) && !InSameSubnet(a.gateway, a.ip, a.mask)) {
        return Plain(kNotSameSubnet);
    }
    return CheckDnsServers(a);
}

RuleResult CheckAddressRange(const AddressSet& a, std::string_view endIp, size_t deviceCount) {
    if (RuleResult r = CheckAddressBasics(a); !r) return r;
    const bool several = deviceCount > 1;
    if (several) {
        if (!IsValidHostAddress(endIp, AddressRequirement::kRequired)) return Plain(kIpInvalid);
        if (ToNumber(IpTextToBytes(a.ip)) >= ToNumber(IpTextToBytes(endIp))) {
            return Plain(kIpInvalid);
        }
        if (endIp == a.gateway) return Plain(kIpIsGateway);
    }
    if (IsNetworkAddress(a.ip, a.mask)) return Plain(kNetworkSegment);
    if (!IsUnset(a.gateway)) {
        if (!InSameSubnet(a.gateway, a.ip, a.mask) ||
            (several && !InSameSubnet(a.gateway, endIp, a.mask))) {
            return Plain(kNotSameSubnet);
        }
    }
    return CheckDnsServers(a);
}

RuleResult CheckWizardAddressSet(const AddressSet& a) {
    if (RuleResult r = CheckAddressBasics(a); !r) return r;
    if (!IsUnset(a.gateway) && !InSameSubnet(a.gateway, a.ip, a.mask)) {
        return Plain(kNotSameSubnet);
    }
    if (!IsValidHostAddress(a.dns1, AddressRequirement::kOptional)) return Plain(kDns1Invalid);
    if (DnsPairConflicts(a.dns1, a.dns2)) return Plain(kWizardDnsSame);
    return RuleResult::Accept();
}

RuleResult CheckAddressInUse(std::string_view enteredIp, const Ipv4Bytes& currentIp,
                             const std::vector<std::string>& storedIps) {
    const std::string_view compared = enteredIp.empty() ? std::string_view("0.0.0.0") : enteredIp;
    if (compared == IpBytesToText(currentIp)) return RuleResult::Accept();
    for (const std::string& stored : storedIps) {
        if (stored == enteredIp) {
            return Plain("The ip address is already in use, please respecify!");
        }
    }
    return RuleResult::Accept();
}

bool NamePasses(std::string_view name, uint32_t typeCode) {
    const bool strict = UsesStrictNameSet(typeCode);
    size_t bytes = 0;
    for (char32_t c : Utf8ToCodePoints(name)) {
        if (!(strict ? IsStrictNameChar(c) : IsOpenNameChar(c))) return false;
        bytes += CharWeight(c);
    }
    return bytes <= kMaxNameBytes;
}

RuleResult CheckDeviceName(std::string_view name, uint32_t typeCode) {
    if (name.empty()) {
        return RuleResult::Reject("The device name can not be empty!", MessageKind::kWarning,
                                  FocusField::kName);
    }
    if (!NamePasses(name, typeCode)) return NameCharsetFailure(UsesStrictNameSet(typeCode), false);
    return RuleResult::Accept();
}

RuleResult CheckSsid(std::string_view ssid, uint32_t typeCode, SsidCheck variant) {
    if (ssid.empty()) {
        return RuleResult::Reject("The ssid can not be empty!", MessageKind::kWarning,
                                  FocusField::kSsid);
    }
    if (variant == SsidCheck::kSettings && ssid.find_first_not_of(' ') == std::string_view::npos) {
        return RuleResult::Reject(
            "Please enter 1 to 32 byte ASCII charaters or chinese characters!",
            MessageKind::kWarning, FocusField::kSsid);
    }
    if (!NamePasses(ssid, typeCode)) return NameCharsetFailure(UsesStrictNameSet(typeCode), true);
    return RuleResult::Accept();
}

RuleResult CheckTxPower(std::string_view text, uint8_t minPower, uint8_t maxPower) {
    const int32_t value = ReadDecimal(text);
    if (!text.empty() && value >= minPower && value <= maxPower) return RuleResult::Accept();
    constexpr std::string_view kKey = "Power value range:%d-%d";
    RuleResult r = RuleResult::Reject(kKey, MessageKind::kWarning, FocusField::kTxPower);
    r.message = FormatNumbers(r.message, {minPower, maxPower});
    return r;
}

RuleResult CheckPresharedKey(std::string_view key) {
    const size_t n = TextUnitCount(key);
    const bool ok = n >= 8 && n <= 64 && (n != 64 || IsHexText(key)) && IsAsciiText(key);
    if (ok) return RuleResult::Accept();
    return RuleResult::Reject(
        "Please enter a key for 8~63 ASCII characters or 8~64 HEX characters!",
        MessageKind::kWarning);
}

RuleResult CheckKeyInterval(std::string_view text, IntervalField field) {
    if (text.empty()) {
        return RuleResult::Reject(
            "The key update interval should not be empty!", MessageKind::kWarning,
            field == IntervalField::kPersonal ? FocusField::kKeyInterval : FocusField::kNone);
    }
    const int32_t value = ReadDecimal(text);
    if (value == 0 || (value >= 60 && value <= 99999)) return RuleResult::Accept();
    return RuleResult::Reject("The key update interval range: 60~99999 or 0!",
                              MessageKind::kWarning, FocusField::kKeyInterval);
}

RuleResult CheckWepKey(std::string_view key, WepKeyFormat format) {
    const size_t n = TextUnitCount(key);
    if (format == WepKeyFormat::kHex) {
        if ((n == 10 || n == 26) && IsHexText(key)) return RuleResult::Accept();
        return RuleResult::Reject("WEP key is invalid! Please enter 10 or 26 HEX characters!",
                                  MessageKind::kTitledWarning);
    }
    if (n != 5 && n != 13) {
        return RuleResult::Reject("WEP key is invalid! Please enter 5 or 13 ASCII characters!",
                                  MessageKind::kTitledWarning);
    }
    if (!IsAsciiText(key)) {
        return RuleResult::Reject(
            "WEP key includes invalid characters (It should only include 0-9,a-z,A-Z,@,*,- and "
            "_.)!",
            MessageKind::kTitledWarning);
    }
    return RuleResult::Accept();
}

RuleResult CheckWepKeys(const std::array<std::string, 4>& keys,
                        const std::array<WepKeyFormat, 4>& formats, int defaultKey) {
    std::array<std::string_view, 4> examined{keys[0], keys[1], keys[2], keys[3]};
    // Key 1 alone is examined without its leading white space.
    while (!examined[0].empty() && IsCSpace(examined[0].front())) examined[0].remove_prefix(1);
    for (size_t k = 0; k < 4; ++k) {
        if (examined[k].empty()) continue;
        if (RuleResult r = CheckWepKey(examined[k], formats[k]); !r) return r;
    }
    static constexpr std::array<std::string_view, 4> kMissingKey = {
        "Please enter the WEP key1!", "Please enter the WEP key2!", "Please enter the WEP key3!",
        "Please enter the WEP key4!"};
    if (defaultKey >= 1 && defaultKey <= 4 &&
        examined[static_cast<size_t>(defaultKey - 1)].empty()) {
        return RuleResult::Reject(kMissingKey[static_cast<size_t>(defaultKey - 1)],
                                  MessageKind::kTitledWarning);
    }
    return RuleResult::Accept();
}

RuleResult CheckRadius(const Ipv4Bytes& server, std::string_view port, std::string_view sharedKey,
                       std::string_view keyInterval) {
    if (!IsValidHostBytes(server)) {
        return RuleResult::Reject("Please enter a valid RADIUS Server address!",
                                  MessageKind::kWarning);
    }
    const int32_t portValue = ReadDecimal(port);  // an empty text reads as 0
    if (portValue < 1 || portValue > 65535) {
        return RuleResult::Reject("Please specify a valid RADIUS Port!", MessageKind::kWarning);
    }
    const size_t n = TextUnitCount(sharedKey);
    if (n < 1 || n > 64 || !IsAsciiText(sharedKey)) {
        return RuleResult::Reject("Please enter a key for 1~64 ASCII characters!",
                                  MessageKind::kWarning);
    }
    return CheckKeyInterval(keyInterval, IntervalField::kEnterprise);
}

RuleResult CheckVlanId(std::string_view text, std::string_view labelKey) {
    const int32_t value = ReadDecimal(text);
    if (!text.empty() && value >= 1 && value <= 4094) return RuleResult::Accept();
    constexpr std::string_view kKey = "range:1-4094";
    RuleResult r = RuleResult::Reject(kKey, MessageKind::kWarning, FocusField::kVlanField);
    r.message = TranslateText(labelKey) + " " + r.message;
    return r;
}

RuleResult CheckRebootTime(std::string_view hour, std::string_view minute,
                           const std::array<bool, 8>& dayBoxes) {
    if (hour.empty() || minute.empty()) {
        return RuleResult::Reject("The time can not be empty!", MessageKind::kWarning);
    }
    // Compared without sign, so a negative hour or minute counts as too large.
    if (static_cast<uint32_t>(ReadDecimal(hour)) > 23 ||
        static_cast<uint32_t>(ReadDecimal(minute)) > 59) {
        return RuleResult::Reject("The time is error!", MessageKind::kWarning);
    }
    for (bool ticked : dayBoxes) {
        if (ticked) return RuleResult::Accept();
    }
    return RuleResult::Reject("Please selectting the day that you want to reboot!",
                              MessageKind::kWarning);
}

}  // namespace kestrix
