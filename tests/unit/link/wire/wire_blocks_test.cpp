// Every field of every block at its byte offset: the device-information
// payload is filled with a pattern and rebuilt field by field through the
// getters and setters, which must give back every byte but the reserved
// ones; the wide fields and texts are also compared with the pattern read
// independently, which catches a wrong byte order the rebuild cannot see.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/unit/link/wire/wire_test_util.h"

namespace kestrix {
namespace {

using test::Pat;
using test::PatText;
using test::PatU16;
using test::PatU32;

struct TextField {
    size_t offset;
    size_t cap;
};

// Every text of the device information, absolute offsets; the length byte
// follows each area.
const std::vector<TextField> kInfoTexts = {
    {30, 32},  {63, 32},  {131, 32}, {166, 64}, {238, 26}, {266, 26}, {294, 26}, {322, 26},
    {357, 64}, {436, 32}, {472, 64}, {544, 26}, {572, 26}, {600, 26}, {628, 26}, {663, 64},
};

// Bytes no field covers; the setters never write them.
const std::vector<size_t> kInfoReserved = {2,   3,   111, 112, 113, 114, 115, 116,
                                           117, 118, 119, 120, 121, 349, 427, 469,
                                           655, 733, 741, 750, 751, 752, 753, 755};

// The pattern with every text length byte saying "full area", so that every
// text byte belongs to its text and the rebuilt block can match exactly.
std::vector<uint8_t> InfoPattern() {
    auto raw = test::PatternBytes(DeviceInfoBlock::kSize);
    for (const auto& t : kInfoTexts) raw[t.offset + t.cap] = static_cast<uint8_t>(t.cap);
    return raw;
}

Ipv4Bytes PatIp(size_t o) {
    return {Pat(o), Pat(o + 1), Pat(o + 2), Pat(o + 3)};
}
MacBytes PatMac(size_t o) {
    return {Pat(o), Pat(o + 1), Pat(o + 2), Pat(o + 3), Pat(o + 4), Pat(o + 5)};
}

TEST(DeviceInfoLayout, WideFieldsAreLittleEndianAtTheirOffsets) {
    const DeviceInfoBlock info(InfoPattern().data());
    EXPECT_EQ(info.up_time(), PatU32(4));
    EXPECT_EQ(info.reboot_schedule().restart_time(), PatU16(98));
    const SecurityBlock ws = info.wireless().security();
    EXPECT_EQ(ws.wpapsk_key_time(), PatU32(231));  // unaligned
    EXPECT_EQ(ws.wpa_radius_port(), PatU16(354));
    EXPECT_EQ(ws.wpa_key_time(), PatU32(422));  // unaligned
    const SecurityBlock bs = info.bridge().security();
    EXPECT_EQ(bs.wpapsk_key_time(), PatU32(537));
    EXPECT_EQ(bs.wpa_radius_port(), PatU16(660));
    EXPECT_EQ(bs.wpa_key_time(), PatU32(728));
    EXPECT_EQ(info.vlan().vlan_id(), PatU16(734));
    EXPECT_EQ(info.vlan().vlan_id_wlan(), PatU16(736));
    EXPECT_EQ(info.vlan().vlan_id_lan(), PatU16(738));
    EXPECT_EQ(info.extension().vlan_pvid(), PatU16(744));
    EXPECT_EQ(info.extension().vlan_id_lan3(), PatU16(746));
    EXPECT_EQ(info.extension().vlan_id_lan4(), PatU16(748));

    const AddressBlock a = info.address();
    EXPECT_EQ(a.ip(), PatIp(9));
    EXPECT_EQ(a.ip_mask(), PatIp(13));
    EXPECT_EQ(a.ip_gateway(), PatIp(17));
    EXPECT_EQ(a.ip_dns1(), PatIp(21));
    EXPECT_EQ(a.ip_dns2(), PatIp(25));
    EXPECT_EQ(ws.wpa_radius_ip(), PatIp(350));
    EXPECT_EQ(bs.wpa_radius_ip(), PatIp(656));
    EXPECT_EQ(info.wireless().ssid_mac(), PatMac(125));
    EXPECT_EQ(info.bridge().bridge_mac(), PatMac(429));
}

TEST(DeviceInfoLayout, TextsReadFromTheirOffsets) {
    const DeviceInfoBlock info(InfoPattern().data());
    const SecurityBlock ws = info.wireless().security();
    const SecurityBlock bs = info.bridge().security();
    const std::vector<std::string> got = {
        info.ap_name(),         info.version(),
        info.wireless().ssid(), ws.wpapsk_key_value(),
        ws.wep_key_value(0),    ws.wep_key_value(1),
        ws.wep_key_value(2),    ws.wep_key_value(3),
        ws.wpa_key(),           info.bridge().bridge_ssid(),
        bs.wpapsk_key_value(),  bs.wep_key_value(0),
        bs.wep_key_value(1),    bs.wep_key_value(2),
        bs.wep_key_value(3),    bs.wpa_key(),
    };
    ASSERT_EQ(got.size(), kInfoTexts.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i], PatText(kInfoTexts[i].offset, kInfoTexts[i].cap))
            << "text at " << kInfoTexts[i].offset;
    }
    EXPECT_EQ(info.name().ap_name(), info.ap_name());
}

SecurityBlock RebuildSecurity(const SecurityBlock& s) {
    SecurityBlock o;
    o.set_secure_mode(s.secure_mode());
    o.set_wpapsk_auth_type(s.wpapsk_auth_type());
    o.set_wpapsk_key_value(s.wpapsk_key_value());
    o.set_wpapsk_key_time(s.wpapsk_key_time());
    o.set_wep_auth_type(s.wep_auth_type());
    o.set_wep_key_index(s.wep_key_index());
    for (int i = 0; i < 4; ++i) {
        o.set_wep_key_type(i, s.wep_key_type(i));
        o.set_wep_key_value(i, s.wep_key_value(i));
    }
    o.set_wpa_radius_ip(s.wpa_radius_ip());
    o.set_wpa_radius_port(s.wpa_radius_port());
    o.set_wpa_auth_type(s.wpa_auth_type());
    o.set_wpa_key(s.wpa_key());
    o.set_wpa_key_time(s.wpa_key_time());
    return o;
}

// Every field copied through its getter and setter into a zeroed block.
DeviceInfoBlock RebuildInfo(const DeviceInfoBlock& in) {
    DeviceInfoBlock o;
    o.set_work_mode(in.work_mode());
    o.set_mode_btn_status(in.mode_btn_status());
    o.set_up_time(in.up_time());

    const AddressBlock a = in.address();
    AddressBlock ao;
    ao.set_ip_mode(a.ip_mode());
    ao.set_ip(a.ip());
    ao.set_ip_mask(a.ip_mask());
    ao.set_ip_gateway(a.ip_gateway());
    ao.set_ip_dns1(a.ip_dns1());
    ao.set_ip_dns2(a.ip_dns2());
    ao.set_apply(a.apply());
    o.set_address(ao);

    o.set_ap_name(in.ap_name());
    o.set_version(in.version());

    RebootScheduleBlock r;
    r.set_restart_en(in.reboot_schedule().restart_en());
    r.set_restart_type(in.reboot_schedule().restart_type());
    r.set_restart_time(in.reboot_schedule().restart_time());
    o.set_reboot_schedule(r);

    const WirelessBlock w = in.wireless();
    WirelessBlock wo;
    wo.set_rf_count(w.rf_count());
    wo.set_rf_en(w.rf_en());
    wo.set_rf_type(w.rf_type());
    wo.set_country_code(w.country_code());
    wo.set_network_mode(w.network_mode());
    wo.set_bandwidth(w.bandwidth());
    wo.set_channel(w.channel());
    wo.set_expand_channel(w.expand_channel());
    wo.set_tx_power(w.tx_power());
    wo.set_tx_power_min(w.tx_power_min());
    wo.set_tx_power_max(w.tx_power_max());
    wo.set_ssid_rf_type(w.ssid_rf_type());
    wo.set_ssid_id(w.ssid_id());
    wo.set_ssid_hide(w.ssid_hide());
    wo.set_ssid_mac(w.ssid_mac());
    wo.set_ssid(w.ssid());
    wo.set_security(RebuildSecurity(w.security()));
    wo.set_ssid_count(w.ssid_count());
    o.set_wireless(wo);

    const BridgeBlock b = in.bridge();
    BridgeBlock bo;
    bo.set_bridge_work_mode(b.bridge_work_mode());
    bo.set_bridge_mac(b.bridge_mac());
    bo.set_bridge_channel(b.bridge_channel());
    bo.set_bridge_ssid(b.bridge_ssid());
    bo.set_security(RebuildSecurity(b.security()));
    o.set_bridge(bo);

    const VlanBlock v = in.vlan();
    VlanBlock vo;
    vo.set_vlan_en(v.vlan_en());
    vo.set_vlan_id(v.vlan_id());
    vo.set_vlan_id_wlan(v.vlan_id_wlan());
    vo.set_vlan_id_lan(v.vlan_id_lan());
    vo.set_address_follows(v.address_follows());
    o.set_vlan(vo);

    const ExtensionBlock e = in.extension();
    ExtensionBlock eo;
    eo.set_bridge_transparent(e.bridge_transparent());
    eo.set_tdmaEn(e.tdmaEn());
    eo.set_vlan_pvid(e.vlan_pvid());
    eo.set_vlan_id_lan3(e.vlan_id_lan3());
    eo.set_vlan_id_lan4(e.vlan_id_lan4());
    eo.set_wl_dfs(e.wl_dfs());
    o.set_extension(eo);
    return o;
}

TEST(DeviceInfoLayout, SettersRebuildEveryByteButTheReservedOnes) {
    const auto raw = InfoPattern();
    const DeviceInfoBlock rebuilt = RebuildInfo(DeviceInfoBlock(raw.data()));
    auto expected = raw;
    for (size_t o : kInfoReserved) expected[o] = 0;
    for (size_t i = 0; i < DeviceInfoBlock::kSize; ++i) {
        EXPECT_EQ(rebuilt.data()[i], expected[i]) << "byte " << i;
    }
}

TEST(DeviceInfoLayout, TheDeviceRecordHoldsThePayloadAt24) {
    const auto raw = InfoPattern();
    ap_info_stu rec;
    rec.set_mac("00:1a:2b:3c:4d:5e");
    rec.set_ap_type(0x0110);
    rec.set_ap_status(0x01020304);
    rec.set_info(DeviceInfoBlock(raw.data()));

    for (size_t i = 0; i < raw.size(); ++i) ASSERT_EQ(rec.data()[24 + i], raw[i]) << i;
    EXPECT_EQ(rec.info(), DeviceInfoBlock(raw.data()));
    EXPECT_EQ(rec.info_data(), rec.data() + 24);
    EXPECT_EQ(rec.mac(), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(rec.data()[17], 0);
    EXPECT_EQ(rec.data()[18], 0x10);  // ap_type, little-endian
    EXPECT_EQ(rec.data()[19], 0x01);
    EXPECT_EQ(rec.data()[20], 0x04);  // ap_status
    EXPECT_EQ(rec.data()[23], 0x01);
    EXPECT_EQ(rec.ap_type(), 0x0110);
    EXPECT_EQ(rec.ap_status(), 0x01020304u);

    // The record's copy reads like the payload itself.
    EXPECT_EQ(rec.info().wireless().security().wpa_key_time(), PatU32(422));
    EXPECT_EQ(rec.info().bridge().bridge_ssid(), PatText(436, 32));
}

TEST(DeviceInfoLayout, RecordMacTextNeverReachesTheTypeField) {
    ap_info_stu rec;
    rec.set_ap_type(0xFFFF);
    rec.set_mac("00:1a:2b:3c:4d:5e:ff:ff");  // too long: cut to 17 characters
    EXPECT_EQ(rec.mac(), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(rec.ap_type(), 0xFFFF);

    // A record whose text area is full (no terminator) still reads 17.
    auto raw = test::PatternBytes(ap_info_stu::kSize);
    const ap_info_stu full(raw.data());
    EXPECT_EQ(full.mac(), PatText(0, 17));
}

TEST(OtherBlocksLayout, AnnounceHeartbeatNeighbourAndHeader) {
    auto raw = test::PatternBytes(112);
    raw[32] = 32;
    raw[72] = 32;
    raw[105] = 32;
    const AnnounceBlock an(raw.data());
    EXPECT_EQ(an.version(), PatText(0, 32));
    EXPECT_EQ(an.work_mode(), Pat(33));
    EXPECT_EQ(an.mode_btn_status(), Pat(34));
    EXPECT_EQ(an.up_time(), PatU32(36));
    EXPECT_EQ(an.ap_name(), PatText(40, 32));
    EXPECT_EQ(an.ssid(), PatText(73, 32));
    EXPECT_EQ(an.channel(), Pat(106));
    EXPECT_EQ(an.bridge_transparent(), Pat(107));
    EXPECT_EQ(an.pxsync(), Pat(108));

    // The simulator builds announcements through the setters.
    AnnounceBlock built;
    built.set_version(an.version());
    built.set_work_mode(an.work_mode());
    built.set_mode_btn_status(an.mode_btn_status());
    built.set_up_time(an.up_time());
    built.set_ap_name(an.ap_name());
    built.set_ssid(an.ssid());
    built.set_channel(an.channel());
    built.set_bridge_transparent(an.bridge_transparent());
    built.set_pxsync(an.pxsync());
    for (size_t o : {35, 109, 110, 111}) raw[o] = 0;  // reserved
    EXPECT_EQ(built.ToVector(), raw);

    const HeartbeatBlock hb(raw.data());
    EXPECT_EQ(hb.version(), PatText(0, 32));
    EXPECT_EQ(hb.up_time(), PatU32(36));

    auto nraw = test::PatternBytes(44);
    nraw[41] = 32;
    const config_otherwl_basic nb(nraw.data());
    EXPECT_EQ(nb.mac(), PatMac(0));
    EXPECT_EQ(nb.signal(), static_cast<int8_t>(Pat(6)));
    EXPECT_EQ(nb.channel(), Pat(7));
    EXPECT_EQ(nb.secure_mode(), Pat(8));
    EXPECT_EQ(nb.ssid(), PatText(9, 32));
    EXPECT_EQ(nb.exchannel(), Pat(42));
    EXPECT_EQ(nb.bandwidth(), Pat(43));
    config_otherwl_basic nbuilt;
    nbuilt.set_mac(nb.mac());
    nbuilt.set_signal(nb.signal());
    nbuilt.set_channel(nb.channel());
    nbuilt.set_secure_mode(nb.secure_mode());
    nbuilt.set_ssid(nb.ssid());
    nbuilt.set_exchannel(nb.exchannel());
    nbuilt.set_bandwidth(nb.bandwidth());
    EXPECT_EQ(nbuilt.ToVector(), nraw);
    config_otherwl_basic weak;
    weak.set_signal(-87);
    EXPECT_EQ(weak.data()[6], 0xA9);
    EXPECT_EQ(weak.signal(), -87);

    const MessageHeader h(raw.data());
    EXPECT_EQ(h.magic(), PatU16(0));
    EXPECT_EQ(h.device_type(), PatU16(2));
    EXPECT_EQ(h.type(), PatU16(4));
    EXPECT_EQ(h.multicast(), Pat(6));
    EXPECT_EQ(h.mac(), PatMac(8));
    EXPECT_EQ(h.length(), PatU16(14));
}

TEST(FixedText, LengthByteIsClampedToTheArea) {
    auto raw = test::PatternBytes(DeviceInfoBlock::kSize);
    raw[62] = 200;  // name length beyond its 32-byte area
    raw[163] = 5;   // SSID shorter than its area
    const DeviceInfoBlock info(raw.data());
    EXPECT_EQ(info.ap_name(), PatText(30, 32));
    EXPECT_EQ(info.wireless().ssid(), PatText(131, 5));
}

TEST(FixedText, ReadingStopsAtPadding) {
    NameBlock b;
    b.set_ap_name("mast-7");
    b.data()[32] = 32;  // a device that counts its zero padding
    EXPECT_EQ(b.ap_name(), "mast-7");
}

TEST(FixedText, WritingZeroFillsAndCountsBytes) {
    auto raw = test::PatternBytes(NameBlock::kSize);
    NameBlock b(raw.data());
    b.set_ap_name("ab");
    EXPECT_EQ(b.ap_name_len(), 2);
    EXPECT_EQ(b.data()[0], 'a');
    EXPECT_EQ(b.data()[1], 'b');
    for (size_t i = 2; i < 32; ++i) EXPECT_EQ(b.data()[i], 0) << i;

    b.set_ap_name(std::string(40, 'x'));
    EXPECT_EQ(b.ap_name_len(), 32);
    EXPECT_EQ(b.ap_name(), std::string(32, 'x'));
}

TEST(FixedText, AnOverlongTextIsCutBeforeASplitCharacter) {
    // 31 ASCII bytes and a three-byte character do not fit in 32: the
    // character goes whole rather than leave two bytes of it behind.
    NameBlock b;
    b.set_ap_name(std::string(31, 'a') + test::kZhong);
    EXPECT_EQ(b.ap_name_len(), 31);
    EXPECT_EQ(b.data()[31], 0);

    // A four-byte character split after its first byte.
    b.set_ap_name(std::string(31, 'a') + "\xF0\x9F\x93\xA1");
    EXPECT_EQ(b.ap_name_len(), 31);

    // Exactly fitting: kept whole.
    b.set_ap_name(std::string(29, 'a') + test::kZhong);
    EXPECT_EQ(b.ap_name_len(), 32);

    // Bytes that are not UTF-8 are cut where they are.
    b.set_ap_name(std::string(40, '\x80'));
    EXPECT_EQ(b.ap_name_len(), 32);
}

}  // namespace
}  // namespace kestrix
