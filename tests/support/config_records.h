#pragma once
// Device records with every setting the configuration views read: a
// 2.4 GHz WPA2 device by default, fields changed through DeviceSpec.

#include <string>

#include "link/wire/addr_text.h"
#include "link/wire/wire_format.h"

namespace kestrix::testing {

struct DeviceSpec {
    uint16_t type = 5;
    uint8_t workMode = 1;
    uint8_t rfType = 0;       // 0: 2.4 GHz
    uint8_t countryCode = 1;  // slot 1: "US"
    uint8_t networkMode = 4;
    uint8_t bandwidth = 1;
    uint8_t channel = 6;
    uint8_t expand = 1;
    uint8_t secureMode = 3;
    uint8_t ipMode = 1;
    uint8_t dfs = 0;
    bool vlanOn = false;
    uint16_t manageVlan = 1;
    std::string mac = "02:00:00:00:00:01";
    std::string ip = "192.168.1.20";
};

inline ap_info_stu ConfiguredDevice(const DeviceSpec& s) {
    ap_info_stu r;
    r.set_mac(s.mac);
    r.set_ap_type(s.type);
    r.set_ap_status(1);
    DeviceInfoBlock info;
    info.set_work_mode(s.workMode);
    AddressBlock a;
    a.set_ip_mode(s.ipMode);
    a.set_ip(IpTextToBytes(s.ip));
    a.set_ip_mask(IpTextToBytes("255.255.255.0"));
    a.set_ip_gateway(IpTextToBytes("192.168.1.1"));
    a.set_ip_dns1(IpTextToBytes("8.8.8.8"));
    a.set_apply(1);
    info.set_address(a);
    info.set_ap_name("mast-7");
    WirelessBlock w;
    w.set_rf_count(1);
    w.set_rf_en(1);
    w.set_rf_type(s.rfType);
    w.set_country_code(s.countryCode);
    w.set_network_mode(s.networkMode);
    w.set_bandwidth(s.bandwidth);
    w.set_channel(s.channel);
    w.set_expand_channel(s.expand);
    w.set_tx_power(20);
    w.set_tx_power_min(8);
    w.set_tx_power_max(26);
    w.set_ssid_rf_type(s.rfType);
    w.set_ssid("field-net");
    w.set_ssid_count(1);
    SecurityBlock sec;
    sec.set_secure_mode(s.secureMode);
    sec.set_wpapsk_auth_type(0);
    sec.set_wpapsk_key_value("correct-horse");
    sec.set_wpapsk_key_time(3600);
    sec.set_wep_key_index(1);
    sec.set_wpa_radius_ip(IpTextToBytes("192.168.1.5"));
    sec.set_wpa_radius_port(1812);
    sec.set_wpa_key("radius-secret");
    sec.set_wpa_key_time(0);
    w.set_security(sec);
    info.set_wireless(w);
    VlanBlock v;
    v.set_vlan_en(s.vlanOn ? 1 : 0);
    v.set_vlan_id(s.manageVlan);
    v.set_vlan_id_wlan(2);
    v.set_vlan_id_lan(3);
    v.set_address_follows(0);
    info.set_vlan(v);
    ExtensionBlock x;
    x.set_bridge_transparent(1);
    x.set_tdmaEn(1);
    x.set_vlan_pvid(1);
    x.set_vlan_id_lan3(4);
    x.set_vlan_id_lan4(5);
    x.set_wl_dfs(s.dfs);
    info.set_extension(x);
    RebootScheduleBlock t;
    t.set_restart_en(0);
    t.set_restart_type(0x22);
    t.set_restart_time(210);
    info.set_reboot_schedule(t);
    r.set_info(info);
    return r;
}

inline DeviceSpec FiveGhzSpec(uint16_t type) {
    DeviceSpec s;
    s.type = type;
    s.rfType = 1;
    s.countryCode = 0;  // "CN"
    s.networkMode = 2;  // 11ac
    s.bandwidth = 0;
    s.channel = 149;
    s.expand = 2;
    return s;
}

}  // namespace kestrix::testing
