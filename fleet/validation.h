#pragma once
// The checks every settings view applies to what the operator typed, before
// anything is sent to a device. Pure functions over UTF-8 texts: they change
// nothing and hold no state. A view applies its rules only when the operator
// confirms, stops at the first rejection, shows the result's message in a box
// of the result's kind and moves the focus where the result says.
//
// Messages: every rule looks its message up itself. RuleResult::key is the
// English key (for a message built from parts, the key of the fixed part
// with the numbers or the label); RuleResult::message is the final text the
// operator reads, already passed through TranslateText. Views only show it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/profile.h"
#include "link/wire/addr_text.h"

namespace kestrix {

enum class MessageKind {
    kNone,           // accepted: nothing to show
    kPlain,          // caption: the application title; no icon; OK
    kWarning,        // empty caption; exclamation icon; OK
    kTitledWarning,  // caption: the application title; exclamation icon; OK
};

// Where the keyboard focus goes after a rejection; views map these to their
// widgets. kVlanField is the VLAN field that was checked.
enum class FocusField { kNone, kName, kSsid, kTxPower, kKeyInterval, kVlanField };

struct RuleResult {
    bool accepted = true;
    std::string key;      // English message key; empty when accepted
    std::string message;  // the text the operator reads
    MessageKind kind = MessageKind::kNone;
    FocusField focus = FocusField::kNone;

    explicit operator bool() const { return accepted; }
    static RuleResult Accept() { return {}; }
    // Looks `key` up and makes the rejection.
    static RuleResult Reject(std::string_view key, MessageKind kind,
                             FocusField focus = FocusField::kNone);
};

// ---- Character classes and byte counts -------------------------------------

bool IsStrictNameChar(
    char32_t c);  // letters, digits, Chinese, ! # $ % & ( ) * + - . / < = > ? @ ^ _ ~
bool IsOpenNameChar(char32_t c);  // ASCII 1..127 or Chinese
// Device types whose names and SSIDs use the strict set: 4, 17 and 261.
bool UsesStrictNameSet(uint32_t typeCode);

// Length in UTF-8 counted per UTF-16 unit: U+0000..U+007F 1, ..U+07FF 2,
// ..U+FFFF 3; a character above U+FFFF is two units of 3 each (6).
size_t TextByteCount(std::string_view text);
// The longest prefix of `text` whose byte count does not exceed `limit`.
std::string TruncateToByteCount(std::string_view text, size_t limit);
// Number of UTF-16 units of the text (the character count the key rules use).
size_t TextUnitCount(std::string_view text);

// Numbers are read with ReadDecimal (base/text_utils.h), the way atoi reads them.

// ---- Addresses --------------------------------------------------------------

enum class AddressRequirement { kRequired, kOptional };

// Host address: exactly four dot-separated decimal numbers of 0..255; the
// first not 0, not 127 and below 224, the last neither 0 nor 255. In the
// optional variant "" and "0.0.0.0" pass (they mean "none"); in the required
// variant they fail.
bool IsValidHostAddress(std::string_view text, AddressRequirement requirement);
// Contiguous masks 128.0.0.0 .. 255.255.255.254.
bool IsValidSubnetMask(std::string_view text);
bool InSameSubnet(std::string_view a, std::string_view b, std::string_view mask);
// True when `address` is the network address of its subnet under `mask`.
bool IsNetworkAddress(std::string_view address, std::string_view mask);
// Two DNS texts conflict when both are set (non-empty, not "0.0.0.0") and equal.
bool DnsPairConflicts(std::string_view primary, std::string_view secondary);

struct AddressSet {
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
};

// Address settings of one device. Plain messages.
RuleResult CheckAddressSet(const AddressSet& a);
// Batch address dialog: `a.ip` is the begin address of the range; the end
// address is checked only when more than one device is selected. Plain messages.
RuleResult CheckAddressRange(const AddressSet& a, std::string_view endIp, size_t deviceCount);
// Bridge wizard: no network-address step, no lone secondary DNS check, and its
// own DNS pair message. Plain messages.
RuleResult CheckWizardAddressSet(const AddressSet& a);
// Applied after the address rules passed: rejects an address that differs
// from the device's current one and is held by any stored device.
RuleResult CheckAddressInUse(std::string_view enteredIp, const Ipv4Bytes& currentIp,
                             const std::vector<std::string>& storedIps);

// ---- Names ------------------------------------------------------------------

// Every character in the type's set and at most 32 bytes (an empty text passes).
bool NamePasses(std::string_view name, uint32_t typeCode);
// Device name: not empty, then NamePasses. Warning kind, focus on the name.
RuleResult CheckDeviceName(std::string_view name, uint32_t typeCode);

enum class SsidCheck {
    kSettings,  // wireless settings: empty, blanks only, then the name rule
    kWizard,    // bridge wizard: empty, then the name rule
};
// Warning kind, focus on the SSID.
RuleResult CheckSsid(std::string_view ssid, uint32_t typeCode,
                     SsidCheck variant = SsidCheck::kSettings);

// ---- Wireless ---------------------------------------------------------------

// Empty, below min or above max is rejected; the message reads the looked-up
// "Power value range:%d-%d" with min and max. Warning kind, focus on power.
RuleResult CheckTxPower(std::string_view text, uint8_t minPower, uint8_t maxPower);
// WPA/WPA2 pass phrase of 8..63 ASCII characters or a key of 64 hex digits.
RuleResult CheckPresharedKey(std::string_view key);

enum class IntervalField {
    kPersonal,    // both failures move the focus to the interval
    kEnterprise,  // only the range failure moves it
};
// Non-empty, then 0 or 60..99999. Warning kind.
RuleResult CheckKeyInterval(std::string_view text, IntervalField field = IntervalField::kPersonal);

// The format chosen in a WEP key's ASCII/Hex list (its item data).
enum class WepKeyFormat : uint8_t { kAscii = 0, kHex = 1 };
// One key: Hex 10 or 26 hex digits, ASCII 5 or 13 characters of code <= 127.
// Titled-warning kind.
RuleResult CheckWepKey(std::string_view key, WepKeyFormat format);
// The four keys (key 1 with leading white space removed), each non-empty one
// by its own format, then the default key (1..4) must not be empty.
RuleResult CheckWepKeys(const std::array<std::string, 4>& keys,
                        const std::array<WepKeyFormat, 4>& formats, int defaultKey);

// Enterprise modes: server address, port (empty counts as 0; 1..65535),
// shared key of 1..64 ASCII characters, then the enterprise key interval.
RuleResult CheckRadius(const Ipv4Bytes& server, std::string_view port, std::string_view sharedKey,
                       std::string_view keyInterval);

// ---- VLAN and timed reboot --------------------------------------------------

// 1..4094. The message is the looked-up label, one space and the looked-up
// "range:1-4094" (e.g. "PVID range:1-4094"); `labelKey` is the field's
// English label ("VLAN", "WLAN", "PVID", "LAN", "LAN2", ...). Warning kind,
// focus on the checked field.
RuleResult CheckVlanId(std::string_view text, std::string_view labelKey);

// Applied only when the timed reboot is enabled. dayBoxes: Monday..Sunday,
// then Everyday. Warning kind.
RuleResult CheckRebootTime(std::string_view hour, std::string_view minute,
                           const std::array<bool, 8>& dayBoxes);

}  // namespace kestrix
