#include "fleet/vlan_settings.h"

#include <cstring>

#include "base/text_utils.h"

namespace kestrix {

VlanGroup VlanGroupOf(uint16_t type) {
    switch (type) {
        case 10:
        case 268:
        case 269:
            return VlanGroup::kFourPort;
        case 11:
        case 270:
            return VlanGroup::kTwoPort;
        case 15:
        case 18:
            return VlanGroup::kPvidOnly;
        default:
            return VlanGroup::kBasic;
    }
}

VlanLayout VlanLayoutOf(uint16_t type, uint8_t workMode) {
    VlanLayout l;
    l.group = VlanGroupOf(type);
    l.pvid = IsExtendedVlanGroup(l.group);
    l.lan = l.group == VlanGroup::kFourPort || l.group == VlanGroup::kTwoPort;
    l.lan34 = l.group == VlanGroup::kFourPort;
    l.lanLabel = l.group == VlanGroup::kTwoPort ? "LAN" : "LAN2";
    l.readOnly = !(workMode == 1 || type == 15 || type == 18);
    return l;
}

VlanEntries FillVlanEntries(const ap_info_stu& record) {
    const DeviceInfoBlock info = record.info();
    const VlanBlock v = info.vlan();
    const ExtensionBlock x = info.extension();
    VlanEntries e;
    e.enabled = v.vlan_en() != 0;
    e.pvid = std::to_string(x.vlan_pvid());
    e.manage = std::to_string(v.vlan_id());
    e.wlan = std::to_string(v.vlan_id_wlan());
    e.lan = std::to_string(v.vlan_id_lan());
    e.lan3 = std::to_string(x.vlan_id_lan3());
    e.lan4 = std::to_string(x.vlan_id_lan4());
    return e;
}

namespace {

uint16_t Value(const std::string& text) {
    return static_cast<uint16_t>(ReadDecimal(text));
}

}  // namespace

VlanResult CollectVlan(const ap_info_stu& record, const VlanEntries& e) {
    VlanResult out;
    const DeviceInfoBlock info = record.info();
    const VlanBlock storedV = info.vlan();
    const ExtensionBlock storedE = info.extension();
    VlanBlock v = storedV;
    ExtensionBlock x = storedE;
    const VlanGroup group = VlanGroupOf(record.ap_type());

    auto check = [&](const std::string& text, const char* label, ConfigField field) {
        RuleResult r = CheckVlanId(text, label);
        if (!r) out.failure = ConfigFailure{std::move(r), ConfigTab::kVlan, field};
        return static_cast<bool>(!out.failure);
    };

    if (!e.enabled) {
        v.set_vlan_en(0);
    } else {
        v.set_vlan_en(1);
        if (!check(e.manage, "VLAN", ConfigField::kVlanManage)) return out;
        if (!check(e.wlan, "WLAN", ConfigField::kVlanWlan)) return out;
        v.set_vlan_id(Value(e.manage));
        v.set_vlan_id_wlan(Value(e.wlan));
        if (IsExtendedVlanGroup(group)) {
            if (!check(e.pvid, "PVID", ConfigField::kVlanPvid)) return out;
            x.set_vlan_pvid(Value(e.pvid));
        }
        if (group == VlanGroup::kTwoPort) {
            if (!check(e.lan, "LAN", ConfigField::kVlanLan)) return out;
            v.set_vlan_id_lan(Value(e.lan));
        } else if (group == VlanGroup::kFourPort) {
            if (!check(e.lan, "LAN2", ConfigField::kVlanLan)) return out;
            if (!check(e.lan3, "LAN3", ConfigField::kVlanLan3)) return out;
            if (!check(e.lan4, "LAN4", ConfigField::kVlanLan4)) return out;
            v.set_vlan_id_lan(Value(e.lan));
            x.set_vlan_id_lan3(Value(e.lan3));
            x.set_vlan_id_lan4(Value(e.lan4));
        }
    }
    out.changed = !(v == storedV) || (IsExtendedVlanGroup(group) && !(x == storedE));
    v.set_address_follows(0);
    out.vlan = v;
    // The switches as the device reports them, the VLAN numbers, and
    // wl_dfs and the reserved bytes zero.
    std::memcpy(out.extension.data(), x.data(), 10);
    return out;
}

}  // namespace kestrix
