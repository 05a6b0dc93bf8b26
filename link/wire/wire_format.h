#pragma once
// The device management protocol on the wire: a 16-byte header and a
// payload whose layout depends on the message type. Every structure here is
// a fixed-size byte array with typed little-endian accessors at the exact
// offsets the devices use; nothing is a packed struct cast over a buffer.
//
// Texts inside blocks are fixed byte areas followed by a length byte. The
// getters return the first min(length, area) bytes as they are; conversion
// between device and local encoding is done by the callers that know which
// direction a text travels (text_codec.h).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/wire/addr_text.h"
#include "link/wire/byte_io.h"

namespace kestrix {

// ---------------------------------------------------------------------------
// Transport constants

inline constexpr uint16_t kWireMagic = 0x1986;
inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kMaxDatagram = 1472;
inline constexpr size_t kMaxPayload = kMaxDatagram - kHeaderSize;  // 1456

inline constexpr uint16_t kPortAnnounce = 9785;   // device announcements arrive here
inline constexpr uint16_t kPortSearch = 9786;     // search broadcasts leave from and go to
inline constexpr uint16_t kPortHeartbeat = 9787;  // heartbeats arrive; multicast commands leave
inline constexpr uint16_t kPortReply = 9788;      // replies, device information, scans
inline constexpr const char* kMulticastGroup = "239.255.255.250";
inline constexpr const char* kGlobalBroadcast = "255.255.255.255";

enum class MsgType : uint16_t {
    Announce = 1,
    DeviceInfo = 2,
    SetAddress = 3,
    SetWireless = 4,
    SetTimedReboot = 5,
    ScanNeighbours = 6,
    SetBridge = 7,
    SetName = 8,
    Reboot = 9,
    Restore = 10,
    UpgradeRequest = 11,
    UpgradeStatus = 12,
    SetVlan = 13,
    Unused14 = 14,
    Heartbeat = 15,
    UpgradeStart = 16,
    Release = 17,
    SetTransparentBridge = 18,
    SetPxsync = 19,
};

inline constexpr uint16_t ToCode(MsgType t) {
    return static_cast<uint16_t>(t);
}

// ---------------------------------------------------------------------------
// Fixed-size block base

// Reads a text area of `cap` bytes whose length byte says `len`: at most
// `cap` bytes are taken whatever the length byte claims, and the text ends
// at the first NUL within them (the areas are NUL-padded, and a device that
// counts its padding must not put NULs into a name).
std::string ReadFixedText(const uint8_t* area, size_t cap, uint8_t len);
// Writes `text` into the area, zero-fills the rest and stores the byte count
// in *lenByte. A text longer than `cap` (or than 255, the most a length byte
// can count) is cut before the UTF-8 character that would be split.
void WriteFixedText(uint8_t* area, size_t cap, uint8_t* lenByte, std::string_view text);

template <size_t N>
class WireBlock {
public:
    static constexpr size_t kSize = N;

    WireBlock() { bytes_.fill(0); }
    // Copies exactly N bytes from src.
    explicit WireBlock(const uint8_t* src) { std::memcpy(bytes_.data(), src, N); }
    // Copies min(len, N) bytes from src; the rest stays zero.
    WireBlock(const uint8_t* src, size_t len) {
        bytes_.fill(0);
        if (src != nullptr) std::memcpy(bytes_.data(), src, len < N ? len : N);
    }

    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    static constexpr size_t size() { return N; }
    void CopyTo(uint8_t* dst) const { std::memcpy(dst, bytes_.data(), N); }
    std::vector<uint8_t> ToVector() const { return {bytes_.begin(), bytes_.end()}; }
    bool operator==(const WireBlock&) const = default;

protected:
    uint8_t u8(size_t o) const { return bytes_[o]; }
    void set_u8(size_t o, uint8_t v) { bytes_[o] = v; }
    uint16_t u16(size_t o) const { return LoadU16(bytes_.data() + o); }
    void set_u16(size_t o, uint16_t v) { StoreU16(bytes_.data() + o, v); }
    uint32_t u32(size_t o) const { return LoadU32(bytes_.data() + o); }
    void set_u32(size_t o, uint32_t v) { StoreU32(bytes_.data() + o, v); }
    Ipv4Bytes ip4(size_t o) const {
        return {bytes_[o], bytes_[o + 1], bytes_[o + 2], bytes_[o + 3]};
    }
    void set_ip4(size_t o, const Ipv4Bytes& v) { std::memcpy(bytes_.data() + o, v.data(), 4); }
    MacBytes mac6(size_t o) const {
        MacBytes m;
        std::memcpy(m.data(), bytes_.data() + o, 6);
        return m;
    }
    void set_mac6(size_t o, const MacBytes& v) { std::memcpy(bytes_.data() + o, v.data(), 6); }
    // Text area at o of cap bytes, length byte right after it.
    std::string text(size_t o, size_t cap) const {
        return ReadFixedText(bytes_.data() + o, cap, bytes_[o + cap]);
    }
    void set_text(size_t o, size_t cap, std::string_view t) {
        WriteFixedText(bytes_.data() + o, cap, bytes_.data() + o + cap, t);
    }
    uint8_t text_len(size_t o, size_t cap) const { return bytes_[o + cap]; }
    template <class B>
    B sub(size_t o) const {
        return B(bytes_.data() + o);
    }
    template <class B>
    void set_sub(size_t o, const B& b) {
        b.CopyTo(bytes_.data() + o);
    }

    std::array<uint8_t, N> bytes_;
};

// ---------------------------------------------------------------------------
// Header

class MessageHeader : public WireBlock<16> {
public:
    using WireBlock::WireBlock;
    uint16_t magic() const { return u16(0); }
    void set_magic(uint16_t v) { set_u16(0, v); }
    uint16_t device_type() const { return u16(2); }
    void set_device_type(uint16_t v) { set_u16(2, v); }
    uint16_t type() const { return u16(4); }
    void set_type(uint16_t v) { set_u16(4, v); }
    uint8_t multicast() const { return u8(6); }
    void set_multicast(uint8_t v) { set_u8(6, v); }
    MacBytes mac() const { return mac6(8); }
    void set_mac(const MacBytes& m) { set_mac6(8, m); }
    uint16_t length() const { return u16(14); }
    void set_length(uint16_t v) { set_u16(14, v); }
};

// ---------------------------------------------------------------------------
// Payload blocks

// 112 bytes, the payload of an Announce from a device.
class AnnounceBlock : public WireBlock<112> {
public:
    using WireBlock::WireBlock;
    std::string version() const { return text(0, 32); }
    void set_version(std::string_view t) { set_text(0, 32, t); }
    uint8_t work_mode() const { return u8(33); }
    void set_work_mode(uint8_t v) { set_u8(33, v); }
    uint8_t mode_btn_status() const { return u8(34); }
    void set_mode_btn_status(uint8_t v) { set_u8(34, v); }
    uint32_t up_time() const { return u32(36); }
    void set_up_time(uint32_t v) { set_u32(36, v); }
    std::string ap_name() const { return text(40, 32); }
    void set_ap_name(std::string_view t) { set_text(40, 32, t); }
    std::string ssid() const { return text(73, 32); }
    void set_ssid(std::string_view t) { set_text(73, 32, t); }
    uint8_t channel() const { return u8(106); }
    void set_channel(uint8_t v) { set_u8(106, v); }
    uint8_t bridge_transparent() const { return u8(107); }
    void set_bridge_transparent(uint8_t v) { set_u8(107, v); }
    uint8_t pxsync() const { return u8(108); }
    void set_pxsync(uint8_t v) { set_u8(108, v); }
};
// A payload of this many bytes or fewer carries only the version.
inline constexpr size_t kAnnounceVersionOnly = 33;

// Payload of a Heartbeat from a device: version (32 + length at 32) and the
// uptime at 36. Forty bytes are sent; nothing past 40 is read.
class HeartbeatBlock : public WireBlock<40> {
public:
    using WireBlock::WireBlock;
    std::string version() const { return text(0, 32); }
    void set_version(std::string_view t) { set_text(0, 32, t); }
    uint32_t up_time() const { return u32(36); }
    void set_up_time(uint32_t v) { set_u32(36, v); }
};

// 22 bytes; device information offset 8.
class AddressBlock : public WireBlock<22> {
public:
    using WireBlock::WireBlock;
    uint8_t ip_mode() const { return u8(0); }
    void set_ip_mode(uint8_t v) { set_u8(0, v); }
    Ipv4Bytes ip() const { return ip4(1); }
    void set_ip(const Ipv4Bytes& v) { set_ip4(1, v); }
    Ipv4Bytes ip_mask() const { return ip4(5); }
    void set_ip_mask(const Ipv4Bytes& v) { set_ip4(5, v); }
    Ipv4Bytes ip_gateway() const { return ip4(9); }
    void set_ip_gateway(const Ipv4Bytes& v) { set_ip4(9, v); }
    Ipv4Bytes ip_dns1() const { return ip4(13); }
    void set_ip_dns1(const Ipv4Bytes& v) { set_ip4(13, v); }
    Ipv4Bytes ip_dns2() const { return ip4(17); }
    void set_ip_dns2(const Ipv4Bytes& v) { set_ip4(17, v); }
    // 1: apply now; 0: the address waits for the SetVlan of the same save.
    uint8_t apply() const { return u8(21); }
    void set_apply(uint8_t v) { set_u8(21, v); }
};

// 33 bytes; device information offset 30.
class NameBlock : public WireBlock<33> {
public:
    using WireBlock::WireBlock;
    std::string ap_name() const { return text(0, 32); }
    void set_ap_name(std::string_view t) { set_text(0, 32, t); }
    uint8_t ap_name_len() const { return u8(32); }
};

// 4 bytes; device information offset 96.
class RebootScheduleBlock : public WireBlock<4> {
public:
    using WireBlock::WireBlock;
    uint8_t restart_en() const { return u8(0); }
    void set_restart_en(uint8_t v) { set_u8(0, v); }
    uint8_t restart_type() const { return u8(1); }
    void set_restart_type(uint8_t v) { set_u8(1, v); }
    uint16_t restart_time() const { return u16(2); }
    void set_restart_time(uint16_t v) { set_u16(2, v); }
};

// 262 bytes; inside WirelessBlock at 64 and BridgeBlock at 42. The two key
// times are unaligned u32 fields.
class SecurityBlock : public WireBlock<262> {
public:
    using WireBlock::WireBlock;
    uint8_t secure_mode() const { return u8(0); }
    void set_secure_mode(uint8_t v) { set_u8(0, v); }
    uint8_t wpapsk_auth_type() const { return u8(1); }
    void set_wpapsk_auth_type(uint8_t v) { set_u8(1, v); }
    std::string wpapsk_key_value() const { return text(2, 64); }
    void set_wpapsk_key_value(std::string_view t) { set_text(2, 64, t); }
    uint32_t wpapsk_key_time() const { return u32(67); }
    void set_wpapsk_key_time(uint32_t v) { set_u32(67, v); }
    uint8_t wep_auth_type() const { return u8(71); }
    void set_wep_auth_type(uint8_t v) { set_u8(71, v); }
    uint8_t wep_key_index() const { return u8(72); }
    void set_wep_key_index(uint8_t v) { set_u8(72, v); }
    // WEP keys 0..3: type byte at 73 + 28*i, 26-byte text at 74 + 28*i.
    uint8_t wep_key_type(int i) const { return u8(73 + 28 * static_cast<size_t>(i)); }
    void set_wep_key_type(int i, uint8_t v) { set_u8(73 + 28 * static_cast<size_t>(i), v); }
    std::string wep_key_value(int i) const { return text(74 + 28 * static_cast<size_t>(i), 26); }
    void set_wep_key_value(int i, std::string_view t) {
        set_text(74 + 28 * static_cast<size_t>(i), 26, t);
    }
    Ipv4Bytes wpa_radius_ip() const { return ip4(186); }
    void set_wpa_radius_ip(const Ipv4Bytes& v) { set_ip4(186, v); }
    uint16_t wpa_radius_port() const { return u16(190); }
    void set_wpa_radius_port(uint16_t v) { set_u16(190, v); }
    uint8_t wpa_auth_type() const { return u8(192); }
    void set_wpa_auth_type(uint8_t v) { set_u8(192, v); }
    std::string wpa_key() const { return text(193, 64); }
    void set_wpa_key(std::string_view t) { set_text(193, 64, t); }
    uint32_t wpa_key_time() const { return u32(258); }
    void set_wpa_key_time(uint32_t v) { set_u32(258, v); }
};

// 328 bytes; device information offset 100.
class WirelessBlock : public WireBlock<328> {
public:
    using WireBlock::WireBlock;
    uint8_t rf_count() const { return u8(0); }
    void set_rf_count(uint8_t v) { set_u8(0, v); }
    uint8_t rf_en() const { return u8(1); }
    void set_rf_en(uint8_t v) { set_u8(1, v); }
    uint8_t rf_type() const { return u8(2); }
    void set_rf_type(uint8_t v) { set_u8(2, v); }
    uint8_t country_code() const { return u8(3); }
    void set_country_code(uint8_t v) { set_u8(3, v); }
    uint8_t network_mode() const { return u8(4); }
    void set_network_mode(uint8_t v) { set_u8(4, v); }
    uint8_t bandwidth() const { return u8(5); }
    void set_bandwidth(uint8_t v) { set_u8(5, v); }
    uint8_t channel() const { return u8(6); }
    void set_channel(uint8_t v) { set_u8(6, v); }
    uint8_t expand_channel() const { return u8(7); }
    void set_expand_channel(uint8_t v) { set_u8(7, v); }
    uint8_t tx_power() const { return u8(8); }
    void set_tx_power(uint8_t v) { set_u8(8, v); }
    uint8_t tx_power_min() const { return u8(9); }
    void set_tx_power_min(uint8_t v) { set_u8(9, v); }
    uint8_t tx_power_max() const { return u8(10); }
    void set_tx_power_max(uint8_t v) { set_u8(10, v); }
    uint8_t ssid_rf_type() const { return u8(22); }
    void set_ssid_rf_type(uint8_t v) { set_u8(22, v); }
    uint8_t ssid_id() const { return u8(23); }
    void set_ssid_id(uint8_t v) { set_u8(23, v); }
    uint8_t ssid_hide() const { return u8(24); }
    void set_ssid_hide(uint8_t v) { set_u8(24, v); }
    MacBytes ssid_mac() const { return mac6(25); }
    void set_ssid_mac(const MacBytes& v) { set_mac6(25, v); }
    std::string ssid() const { return text(31, 32); }
    void set_ssid(std::string_view t) { set_text(31, 32, t); }
    SecurityBlock security() const { return sub<SecurityBlock>(64); }
    void set_security(const SecurityBlock& b) { set_sub(64, b); }
    uint8_t ssid_count() const { return u8(326); }
    void set_ssid_count(uint8_t v) { set_u8(326, v); }
};

// 304 bytes; device information offset 428.
class BridgeBlock : public WireBlock<304> {
public:
    using WireBlock::WireBlock;
    uint8_t bridge_work_mode() const { return u8(0); }
    void set_bridge_work_mode(uint8_t v) { set_u8(0, v); }
    MacBytes bridge_mac() const { return mac6(1); }
    void set_bridge_mac(const MacBytes& v) { set_mac6(1, v); }
    uint8_t bridge_channel() const { return u8(7); }
    void set_bridge_channel(uint8_t v) { set_u8(7, v); }
    std::string bridge_ssid() const { return text(8, 32); }
    void set_bridge_ssid(std::string_view t) { set_text(8, 32, t); }
    SecurityBlock security() const { return sub<SecurityBlock>(42); }
    void set_security(const SecurityBlock& b) { set_sub(42, b); }
};

// 10 bytes; device information offset 732.
class VlanBlock : public WireBlock<10> {
public:
    using WireBlock::WireBlock;
    uint8_t vlan_en() const { return u8(0); }
    void set_vlan_en(uint8_t v) { set_u8(0, v); }
    uint16_t vlan_id() const { return u16(2); }
    void set_vlan_id(uint16_t v) { set_u16(2, v); }
    uint16_t vlan_id_wlan() const { return u16(4); }
    void set_vlan_id_wlan(uint16_t v) { set_u16(4, v); }
    uint16_t vlan_id_lan() const { return u16(6); }
    void set_vlan_id_lan(uint16_t v) { set_u16(6, v); }
    // 1 when the same save sends a SetAddress whose apply flag is 0.
    uint8_t address_follows() const { return u8(8); }
    void set_address_follows(uint8_t v) { set_u8(8, v); }
};

// 14 bytes; device information offset 742.
class ExtensionBlock : public WireBlock<14> {
public:
    using WireBlock::WireBlock;
    uint8_t bridge_transparent() const { return u8(0); }
    void set_bridge_transparent(uint8_t v) { set_u8(0, v); }
    uint8_t tdmaEn() const { return u8(1); }  // the PX-SYNC switch
    void set_tdmaEn(uint8_t v) { set_u8(1, v); }
    uint16_t vlan_pvid() const { return u16(2); }
    void set_vlan_pvid(uint16_t v) { set_u16(2, v); }
    uint16_t vlan_id_lan3() const { return u16(4); }
    void set_vlan_id_lan3(uint16_t v) { set_u16(4, v); }
    uint16_t vlan_id_lan4() const { return u16(6); }
    void set_vlan_id_lan4(uint16_t v) { set_u16(6, v); }
    uint8_t wl_dfs() const { return u8(12); }
    void set_wl_dfs(uint8_t v) { set_u8(12, v); }
};

// 756 bytes: the payload of a DeviceInfo reply, and bytes 24..779 of the
// device record.
class DeviceInfoBlock : public WireBlock<756> {
public:
    using WireBlock::WireBlock;
    static constexpr size_t kAddressOffset = 8;
    static constexpr size_t kNameOffset = 30;
    static constexpr size_t kNameLenOffset = 62;
    static constexpr size_t kVersionOffset = 63;
    static constexpr size_t kRebootOffset = 96;
    static constexpr size_t kWirelessOffset = 100;
    static constexpr size_t kSsidOffset = 131;
    static constexpr size_t kSsidLenOffset = 163;
    static constexpr size_t kBridgeOffset = 428;
    static constexpr size_t kBridgeSsidOffset = 436;
    static constexpr size_t kBridgeSsidLenOffset = 468;
    static constexpr size_t kVlanOffset = 732;
    static constexpr size_t kExtensionOffset = 742;

    uint8_t work_mode() const { return u8(0); }
    void set_work_mode(uint8_t v) { set_u8(0, v); }
    uint8_t mode_btn_status() const { return u8(1); }
    void set_mode_btn_status(uint8_t v) { set_u8(1, v); }
    uint32_t up_time() const { return u32(4); }
    void set_up_time(uint32_t v) { set_u32(4, v); }
    AddressBlock address() const { return sub<AddressBlock>(kAddressOffset); }
    void set_address(const AddressBlock& b) { set_sub(kAddressOffset, b); }
    NameBlock name() const { return sub<NameBlock>(kNameOffset); }
    void set_name(const NameBlock& b) { set_sub(kNameOffset, b); }
    std::string ap_name() const { return text(kNameOffset, 32); }
    void set_ap_name(std::string_view t) { set_text(kNameOffset, 32, t); }
    std::string version() const { return text(kVersionOffset, 32); }
    void set_version(std::string_view t) { set_text(kVersionOffset, 32, t); }
    RebootScheduleBlock reboot_schedule() const { return sub<RebootScheduleBlock>(kRebootOffset); }
    void set_reboot_schedule(const RebootScheduleBlock& b) { set_sub(kRebootOffset, b); }
    WirelessBlock wireless() const { return sub<WirelessBlock>(kWirelessOffset); }
    void set_wireless(const WirelessBlock& b) { set_sub(kWirelessOffset, b); }
    BridgeBlock bridge() const { return sub<BridgeBlock>(kBridgeOffset); }
    void set_bridge(const BridgeBlock& b) { set_sub(kBridgeOffset, b); }
    VlanBlock vlan() const { return sub<VlanBlock>(kVlanOffset); }
    void set_vlan(const VlanBlock& b) { set_sub(kVlanOffset, b); }
    ExtensionBlock extension() const { return sub<ExtensionBlock>(kExtensionOffset); }
    void set_extension(const ExtensionBlock& b) { set_sub(kExtensionOffset, b); }

    // Applies the receive text rule to the three device texts (name, SSID,
    // bridge SSID), rewriting their length bytes.
    void ConvertDeviceTexts();
};

// 268 bytes, the payload of an UpgradeRequest.
class UpgradeRequestBlock : public WireBlock<268> {
public:
    using WireBlock::WireBlock;
    // File name without directory, NUL-padded; its length at 260 (a length
    // byte, so at most 255 bytes are written).
    std::string file_name() const { return ReadFixedText(bytes_.data(), 260, bytes_[260]); }
    void set_file_name(std::string_view t) { set_text(0, 260, t); }
    uint32_t file_size() const { return u32(264); }
    void set_file_size(uint32_t v) { set_u32(264, v); }
};

// 44 bytes: one neighbouring access point of a radio scan.
class config_otherwl_basic : public WireBlock<44> {
public:
    using WireBlock::WireBlock;
    MacBytes mac() const { return mac6(0); }
    void set_mac(const MacBytes& v) { set_mac6(0, v); }
    int8_t signal() const { return static_cast<int8_t>(u8(6)); }
    void set_signal(int8_t v) { set_u8(6, static_cast<uint8_t>(v)); }
    uint8_t channel() const { return u8(7); }
    void set_channel(uint8_t v) { set_u8(7, v); }
    uint8_t secure_mode() const { return u8(8); }
    void set_secure_mode(uint8_t v) { set_u8(8, v); }
    std::string ssid() const { return text(9, 32); }
    void set_ssid(std::string_view t) { set_text(9, 32, t); }
    uint8_t exchannel() const { return u8(42); }
    void set_exchannel(uint8_t v) { set_u8(42, v); }
    uint8_t bandwidth() const { return u8(43); }
    void set_bandwidth(uint8_t v) { set_u8(43, v); }
};

// The payload of a ScanNeighbours report, read as a 1414-byte structure.
inline constexpr size_t kNeighbourReportSize = 1414;
inline constexpr size_t kMaxNeighboursPerReport = 32;
struct NeighbourReport {
    uint8_t packet_count = 0;
    uint8_t packet_id = 0;
    uint8_t icount = 0;  // as received
    // min(icount, 32) entries, fewer when the payload ends earlier.
    std::vector<config_otherwl_basic> entries;
};

// ---------------------------------------------------------------------------
// The device record shared by link, store and pages: 780 bytes.

class ap_info_stu : public WireBlock<780> {
public:
    using WireBlock::WireBlock;
    static constexpr size_t kInfoOffset = 24;
    static constexpr uint32_t kStatusAnnounced = 10;

    // MAC text at 0, NUL-terminated, at most 17 characters.
    std::string mac() const;
    void set_mac(std::string_view macText);
    uint16_t ap_type() const { return u16(18); }
    void set_ap_type(uint16_t v) { set_u16(18, v); }
    uint32_t ap_status() const { return u32(20); }
    void set_ap_status(uint32_t v) { set_u32(20, v); }
    DeviceInfoBlock info() const { return sub<DeviceInfoBlock>(kInfoOffset); }
    void set_info(const DeviceInfoBlock& b) { set_sub(kInfoOffset, b); }
    uint8_t* info_data() { return bytes_.data() + kInfoOffset; }
    const uint8_t* info_data() const { return bytes_.data() + kInfoOffset; }
};

// ---------------------------------------------------------------------------
// Building and accepting datagrams

// Builds header + payload: magic, the type, the multicast flag, the MAC
// parsed from macText (zero when empty), the payload length. A payload
// longer than 1456 bytes is cut; a null payload counts as none. The result
// is exactly 16 + length bytes.
// deviceType is 0 in every message of the tool; devices put theirs there.
std::vector<uint8_t> BuildMessage(MsgType type, std::string_view macText, const uint8_t* payload,
                                  size_t length, bool multicast, uint16_t deviceType = 0);
std::vector<uint8_t> BuildMessage(uint16_t typeCode, const MacBytes& mac, const uint8_t* payload,
                                  size_t length, bool multicast, uint16_t deviceType = 0);

// The per-port type filter: 9785 keeps Announce, 9787 keeps Heartbeat, 9788
// keeps everything; any other port keeps nothing.
bool PortAcceptsType(uint16_t localPort, uint16_t typeCode);

// A datagram as the receivers queue it: the sender and the datagram copied
// into a zeroed 1472-byte area, so fields past its end read as zero.
struct ReceivedPacket {
    uint32_t sender_addr = 0;  // IPv4 address, network byte order
    uint16_t sender_port = 0;  // host byte order
    uint16_t size = 0;         // bytes received, 16..1472
    std::array<uint8_t, kMaxDatagram> area{};

    MessageHeader header() const { return MessageHeader(area.data()); }
    uint16_t type() const { return LoadU16(area.data() + 4); }
    uint16_t device_type() const { return LoadU16(area.data() + 2); }
    // The header's length field, never more than 1456.
    size_t payload_length() const;
    const uint8_t* payload() const { return area.data() + kHeaderSize; }
    std::string sender_text() const;  // dotted
    std::string mac_text() const;     // lower-case header MAC
    const uint8_t* mac_bytes() const { return area.data() + 8; }

    // The payload as structure B: min(header length, B::kSize) bytes, the
    // rest zero.
    template <class B>
    B PayloadAs() const {
        return B(payload(), payload_length());
    }
};

// Datagram acceptance: size 16..1472, magic 0x1986 (little-endian) and a
// type the receiving port keeps. Anything else gives nothing.
std::optional<ReceivedPacket> AcceptDatagram(const uint8_t* data, size_t size, uint16_t localPort,
                                             uint32_t senderAddr, uint16_t senderPort);

// Reads a ScanNeighbours report from a packet (payload read as a 1414-byte
// structure, entries limited by icount, by 32 and by the payload length:
// only entries that arrived whole are read; for a packet the payload is what
// arrived, even when the length field claims more). The SSIDs are returned
// as received; callers apply the text rule.
NeighbourReport ParseNeighbourReport(const ReceivedPacket& packet);
NeighbourReport ParseNeighbourReport(const uint8_t* payload, size_t length);

// ---------------------------------------------------------------------------
// Command payloads (what the tool sends)

// SetName: the NameBlock with the name encoded by the send rule.
NameBlock BuildNamePayload(std::string_view localName);

// SetWireless: the WirelessBlock with its SSID re-encoded by the send rule
// and its length recomputed; devices of type 15 or 18 get an ExtensionBlock
// appended that is all zero but byte 12 (wl_dfs): 342 bytes, else 328.
std::vector<uint8_t> BuildSetWirelessPayload(const WirelessBlock& wireless, uint16_t deviceType,
                                             uint8_t wlDfs);
bool WirelessTakesExtension(uint16_t deviceType);

// SetVlan: the VlanBlock, with the ExtensionBlock appended for devices of
// type 10, 11, 15, 18, 268, 269 or 270: 24 bytes, else 10.
std::vector<uint8_t> BuildSetVlanPayload(const VlanBlock& vlan, const ExtensionBlock& extension,
                                         uint16_t deviceType);
bool VlanTakesExtension(uint16_t deviceType);

// SetBridge, 328 bytes: the BridgeBlock (bridge SSID re-encoded by the send
// rule), the AddressBlock at 304, bytes 326 and 327 zero.
std::vector<uint8_t> BuildSetBridgePayload(const BridgeBlock& bridge, const AddressBlock& address);
inline constexpr size_t kSetBridgePayloadSize = 328;

// SetTransparentBridge / SetPxsync: an ExtensionBlock all zero but byte 0
// (transparent bridge) or byte 1 (PX-SYNC).
ExtensionBlock BuildTransparentBridgePayload(uint8_t on);
ExtensionBlock BuildPxsyncPayload(uint8_t on);

// UpgradeRequest: file name and size; a directory part of the name is dropped.
UpgradeRequestBlock BuildUpgradeRequestPayload(std::string_view fileName, uint32_t fileSize);

// Device side (used by the simulator and by tests): a report payload of at
// most 32 entries.
std::vector<uint8_t> BuildNeighbourReportPayload(uint8_t packetCount, uint8_t packetId,
                                                 const std::vector<config_otherwl_basic>& entries);

}  // namespace kestrix
