#include "tests/fuzz/link/wire/datagram_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/wire/addr_text.h"
#include "link/wire/text_codec.h"

namespace kestrix::fuzz {

namespace {

// Results are folded in here so the reads cannot be optimised away.
volatile uint64_t g_sink = 0;

void Sink(uint64_t v) {
    g_sink = g_sink * 31 + v;
}
void Sink(std::string_view s) {
    for (char c : s) Sink(static_cast<uint8_t>(c));
}
template <size_t N>
void Sink(const std::array<uint8_t, N>& a) {
    for (uint8_t b : a) Sink(b);
}

std::string_view AsText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A text the program holds must survive another pass of the receive rule
// unchanged and be well-formed UTF-8 whenever it holds a byte above 0x7F. It
// keeps one character for every character or broken byte that arrived, the
// cut character at the end alone excepted: a name never shrinks otherwise.
// A text written back into its field fits it.
void CheckReceivedText(std::string_view raw, const std::string& local, size_t cap = 0) {
    Require(DeviceTextToLocal(local) == local, "receive rule is not idempotent");
    const bool ascii =
        std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    if (ascii) {
        Require(local == raw, "receive rule changed an ASCII text");
    } else {
        Require(CodePointsToUtf8(Utf8ToCodePoints(local)) == local,
                "receive rule let broken UTF-8 through");
        Require(Utf8ToCodePoints(local).size() ==
                    Utf8ToCodePoints(raw).size() - TrailingIncompleteLength(raw),
                "receive rule lost characters");
    }
    if (cap > 0) Require(local.size() <= cap, "converted text beyond its field");
    Sink(local);
}

void ReadText(const std::string& raw, size_t cap) {
    Require(raw.size() <= cap, "text read past its area");
    CheckReceivedText(raw, DeviceTextToLocal(raw));
    CheckReceivedText(raw, DeviceTextToLocalWithin(raw, cap), cap);
}

void ReadSecurity(const SecurityBlock& s) {
    Sink(s.secure_mode());
    Sink(s.wpapsk_auth_type());
    ReadText(s.wpapsk_key_value(), 64);
    Sink(s.wpapsk_key_time());
    Sink(s.wep_auth_type());
    Sink(s.wep_key_index());
    for (int i = 0; i < 4; ++i) {
        Sink(s.wep_key_type(i));
        ReadText(s.wep_key_value(i), 26);
    }
    Sink(s.wpa_radius_ip());
    Sink(s.wpa_radius_port());
    Sink(s.wpa_auth_type());
    ReadText(s.wpa_key(), 64);
    Sink(s.wpa_key_time());
}

void ReadDeviceInfo(DeviceInfoBlock info) {
    Sink(info.work_mode());
    Sink(info.mode_btn_status());
    Sink(info.up_time());
    const AddressBlock a = info.address();
    Sink(a.ip_mode());
    Sink(IpBytesToText(a.ip()));
    Sink(IpBytesToText(a.ip_mask()));
    Sink(IpBytesToText(a.ip_gateway()));
    Sink(IpBytesToText(a.ip_dns1()));
    Sink(IpBytesToText(a.ip_dns2()));
    Sink(a.apply());
    Sink(info.name().ap_name_len());
    ReadText(info.version(), 32);
    const RebootScheduleBlock r = info.reboot_schedule();
    Sink(r.restart_en() + r.restart_type() + r.restart_time());

    const WirelessBlock w = info.wireless();
    Sink(w.rf_count() + w.rf_en() + w.rf_type() + w.country_code() + w.network_mode());
    Sink(w.bandwidth() + w.channel() + w.expand_channel() + w.tx_power() + w.tx_power_min());
    Sink(w.tx_power_max() + w.ssid_rf_type() + w.ssid_id() + w.ssid_hide() + w.ssid_count());
    Sink(MacBytesToText(w.ssid_mac()));
    ReadSecurity(w.security());

    const BridgeBlock b = info.bridge();
    Sink(b.bridge_work_mode() + b.bridge_channel());
    Sink(MacBytesToText(b.bridge_mac()));
    ReadSecurity(b.security());

    const VlanBlock v = info.vlan();
    Sink(v.vlan_en() + v.vlan_id() + v.vlan_id_wlan() + v.vlan_id_lan() + v.address_follows());
    const ExtensionBlock e = info.extension();
    Sink(e.bridge_transparent() + e.tdmaEn() + e.vlan_pvid() + e.vlan_id_lan3());
    Sink(e.vlan_id_lan4() + e.wl_dfs());

    // The three device texts converted in place, as the link stores them.
    const std::string rawName = info.ap_name();
    const std::string rawSsid = w.ssid();
    const std::string rawBridgeSsid = b.bridge_ssid();
    info.ConvertDeviceTexts();
    Require(info.data()[DeviceInfoBlock::kNameLenOffset] <= 32, "name length beyond its area");
    Require(info.data()[DeviceInfoBlock::kSsidLenOffset] <= 32, "SSID length beyond its area");
    Require(info.data()[DeviceInfoBlock::kBridgeSsidLenOffset] <= 32,
            "bridge SSID length beyond its area");
    CheckReceivedText(rawName, info.ap_name(), 32);
    CheckReceivedText(rawSsid, info.wireless().ssid(), 32);
    CheckReceivedText(rawBridgeSsid, info.bridge().bridge_ssid(), 32);

    // Into the device record and out again, byte for byte.
    ap_info_stu rec;
    rec.set_mac(MacBytesToText(MacBytes{}));
    rec.set_info(info);
    Require(rec.info() == info, "device record changed the payload");
    Require(std::equal(info.data(), info.data() + DeviceInfoBlock::kSize, rec.info_data()),
            "device record holds the payload elsewhere");
}

void ReadNeighbourReport(const ReceivedPacket& packet) {
    const NeighbourReport report = ParseNeighbourReport(packet);
    const size_t arrived = std::min<size_t>(packet.payload_length(), packet.size - kHeaderSize);
    Require(report.entries.size() <= kMaxNeighboursPerReport, "more than 32 neighbours");
    Require(report.entries.size() <= report.icount, "more neighbours than icount");
    Require(3 + report.entries.size() * config_otherwl_basic::kSize <= arrived ||
                report.entries.empty(),
            "neighbour read beyond the payload");
    for (const auto& n : report.entries) {
        Sink(MacBytesToText(n.mac()));
        Sink(static_cast<uint8_t>(n.signal()) + n.channel() + n.secure_mode() + n.exchannel() +
             n.bandwidth());
        ReadText(n.ssid(), 32);
    }
    Sink(report.packet_count + report.packet_id);
}

// Building the same message again must give a datagram the reply port
// accepts with the same header and payload.
void CheckRebuild(const ReceivedPacket& packet) {
    const size_t arrived = std::min<size_t>(packet.payload_length(), packet.size - kHeaderSize);
    const MessageHeader h = packet.header();
    const auto again = BuildMessage(h.type(), h.mac(), packet.payload(), arrived,
                                    h.multicast() != 0, h.device_type());
    Require(again.size() == kHeaderSize + arrived, "built message has the wrong size");
    const auto back = AcceptDatagram(again.data(), again.size(), kPortReply, 0, 0);
    Require(back.has_value(), "built message not accepted");
    Require(back->type() == packet.type() && back->mac_text() == packet.mac_text(),
            "built message lost its header");
    Require(std::equal(packet.payload(), packet.payload() + arrived, back->payload()),
            "built message lost its payload");
}

// Texts and addresses as they come from devices and operators: any bytes.
void ReadRawTexts(const uint8_t* data, size_t size) {
    const std::string_view raw = AsText(data, size);
    CheckReceivedText(raw, DeviceTextToLocal(raw));
    if (raw.size() <= 32) CheckReceivedText(raw, DeviceTextToLocalWithin(raw, 32), 32);

    const std::string sent = LocalTextToDevice(raw);
    const std::u32string cps = Utf8ToCodePoints(raw);
    if (std::none_of(cps.begin(), cps.end(), IsChineseChar)) {
        Require(sent == raw, "send rule changed a text without Chinese characters");
    }

    // A name written into its 32-byte area is never cut inside a character.
    const NameBlock name = BuildNamePayload(raw);
    Require(name.ap_name_len() <= 32, "name length beyond its area");
    const std::string written = name.ap_name();
    Require(std::string_view(sent).substr(0, written.size()) == written,
            "name area does not start with the name");
    if (CodePointsToUtf8(Utf8ToCodePoints(sent)) == sent) {
        Require(CodePointsToUtf8(Utf8ToCodePoints(written)) == written,
                "name cut inside a character");
    }

    const Ipv4Bytes ip = IpTextToBytes(raw);
    Require(IpTextToBytes(IpBytesToText(ip)) == ip, "address text does not read back");
    const MacBytes mac = MacTextToBytes(raw);
    Require(MacTextToBytes(MacBytesToText(mac)) == mac, "MAC text does not read back");
    Sink(IpTextToNumber(raw));
}

}  // namespace

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz property violated: %s\n", what);
    std::abort();
}

void HandleAcceptedPacket(const ReceivedPacket& packet, uint16_t localPort) {
    Require(packet.size >= kHeaderSize && packet.size <= kMaxDatagram, "accepted a bad size");
    Require(packet.header().magic() == kWireMagic, "accepted without magic");
    Require(PortAcceptsType(localPort, packet.type()), "accepted a type the port drops");
    Require(packet.payload_length() <= kMaxPayload, "payload length beyond a datagram");
    Require(std::all_of(packet.area.begin() + packet.size, packet.area.end(),
                        [](uint8_t b) { return b == 0; }),
            "receive area not zeroed past the datagram");
    Sink(packet.sender_text());
    Sink(packet.mac_text());
    Sink(IsZeroMac(packet.mac_bytes()) ? 1 : 0);
    // Result and status bytes.
    Sink(packet.payload()[0]);

    // Every structure is read whatever the type says: a reader must cope with
    // any bytes, and the fuzzer then needs no luck to reach each one.
    const AnnounceBlock an = packet.PayloadAs<AnnounceBlock>();
    ReadText(an.version(), 32);
    ReadText(an.ap_name(), 32);
    ReadText(an.ssid(), 32);
    Sink(an.work_mode() + an.mode_btn_status() + an.up_time() + an.channel());
    Sink(an.bridge_transparent() + an.pxsync());

    const HeartbeatBlock hb = packet.PayloadAs<HeartbeatBlock>();
    ReadText(hb.version(), 32);
    Sink(hb.up_time());

    ReadDeviceInfo(packet.PayloadAs<DeviceInfoBlock>());
    ReadNeighbourReport(packet);
    Sink(packet.PayloadAs<UpgradeRequestBlock>().file_name());
    CheckRebuild(packet);
}

void FuzzDatagram(const uint8_t* data, size_t size) {
    constexpr uint16_t kPorts[] = {kPortAnnounce, kPortHeartbeat, kPortReply};
    for (uint16_t port : kPorts) {
        const auto packet = AcceptDatagram(data, size, port, 0x050012C6, 9786);
        if (packet) HandleAcceptedPacket(*packet, port);
    }
    ReadRawTexts(data, size);
}

}  // namespace kestrix::fuzz
