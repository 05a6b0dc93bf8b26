#pragma once
// The VLAN settings of one device (the "VLAN" tab and `kestrix-cli
// configure`): which VLAN numbers the type has, and what Save makes of
// them: the 10-byte VlanBlock, the 14-byte ExtensionBlock sent with it by
// the extended types, and a changed flag.

#include <optional>
#include <string>

#include "fleet/config_field.h"
#include "link/wire/wire_format.h"

namespace kestrix {

enum class VlanGroup {
    kFourPort,  // 10, 268, 269: PVID, Manage VLAN, WLAN, LAN2, LAN3, LAN4
    kTwoPort,   // 11, 270: PVID, Manage VLAN, WLAN, LAN
    kPvidOnly,  // 15, 18: PVID, Manage VLAN, WLAN
    kBasic,     // every other type: Manage VLAN, WLAN
};
VlanGroup VlanGroupOf(uint16_t type);
// The extended groups' SetVlan carries the ExtensionBlock.
inline bool IsExtendedVlanGroup(VlanGroup g) {
    return g != VlanGroup::kBasic;
}

// Types 12, 13 and 271 cannot open the VLAN tab (Save still collects it).
inline bool VlanTabOffered(uint16_t type) {
    return type != 12 && type != 13 && type != 271;
}

struct VlanLayout {
    VlanGroup group = VlanGroup::kBasic;
    bool pvid = false;  // the fields offered (the others are hidden)
    bool lan = false;
    bool lan34 = false;
    const char* lanLabel = "LAN2";  // "LAN" on the two-port types
    // Unless the work mode is 1 or the type 15 or 18, nothing can be changed.
    bool readOnly = false;
};
VlanLayout VlanLayoutOf(uint16_t type, uint8_t workMode);

struct VlanEntries {
    bool enabled = false;
    std::string pvid;
    std::string manage;
    std::string wlan;
    std::string lan;
    std::string lan3;
    std::string lan4;
};
VlanEntries FillVlanEntries(const ap_info_stu& record);

struct VlanResult {
    std::optional<ConfigFailure> failure;  // set: not valid
    VlanBlock vlan;                        // byte 8 cleared
    ExtensionBlock extension;              // the last four bytes zero
    bool changed = false;
};
VlanResult CollectVlan(const ap_info_stu& record, const VlanEntries& entries);

}  // namespace kestrix
