#pragma once
// The fields of the per-device configuration views, as their logic names
// them when a rule rejects what the operator entered: the view moves the
// keyboard focus into that field (bringing nothing to the front: the tab
// in front stays where the operator left it).

#include "fleet/validation.h"

namespace kestrix {

enum class ConfigTab { kWireless, kAddress, kVlan, kReboot };

enum class ConfigField {
    kNone,
    // Wireless
    kSsid,
    kTxPower,
    kPskKey,
    kPskInterval,
    kWepKey1,
    kWepKey2,
    kWepKey3,
    kWepKey4,
    kRadiusServer,
    kRadiusPort,
    kRadiusKey,
    kRadiusInterval,
    // Address
    kIp,
    kMask,
    kGateway,
    kPrimaryDns,
    kSecondaryDns,
    kName,
    // VLAN
    kVlanPvid,
    kVlanManage,
    kVlanWlan,
    kVlanLan,
    kVlanLan3,
    kVlanLan4,
    // Timed reboot
    kRebootHour,
    kRebootMinute,
    kRebootDays,
};

// A rejection: the rule's message and where the focus goes.
struct ConfigFailure {
    RuleResult rule;
    ConfigTab tab = ConfigTab::kWireless;
    ConfigField field = ConfigField::kNone;
};

}  // namespace kestrix
