#include "link/wire/wire_format.h"

#include <algorithm>

#include "link/wire/text_codec.h"

namespace kestrix {

namespace {

// A length byte cannot count more than 255 bytes, whatever the area holds.
constexpr size_t kMaxLengthByte = 255;

bool IsContinuationByte(uint8_t b) {
    return (b & 0xC0u) == 0x80u;
}

size_t SequenceLength(uint8_t lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// How many bytes of `text` fit into `cap` without splitting a UTF-8
// character: a device shows half a character as garbage, so the cut falls
// before the character it would split. Bytes that are not UTF-8 are cut
// where they are.
size_t FitBytes(std::string_view text, size_t cap) {
    if (text.size() <= cap) return text.size();
    const auto at = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    size_t lead = cap;
    while (lead > 0 && cap - lead < 3 && IsContinuationByte(at(lead))) --lead;
    if (lead < cap && at(lead) >= 0xC0 && lead + SequenceLength(at(lead)) > cap) return lead;
    return cap;
}

}  // namespace

std::string ReadFixedText(const uint8_t* area, size_t cap, uint8_t len) {
    const size_t n = std::min<size_t>(len, cap);
    // Areas are NUL-padded; a device that counts the padding into the length
    // must not put NULs into a name.
    const auto* end = std::find(area, area + n, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(area), static_cast<size_t>(end - area));
}

void WriteFixedText(uint8_t* area, size_t cap, uint8_t* lenByte, std::string_view text) {
    const size_t n = FitBytes(text, std::min(cap, kMaxLengthByte));
    std::memset(area, 0, cap);
    if (n > 0) std::memcpy(area, text.data(), n);
    *lenByte = static_cast<uint8_t>(n);
}

void DeviceInfoBlock::ConvertDeviceTexts() {
    // The device may count padding or cut a character at the end of the
    // field. The converted text is made to fit its area again, keeping every
    // character it arrived with.
    const auto convert = [this](size_t offset, size_t lenOffset) {
        const size_t cap = lenOffset - offset;
        const std::string raw = ReadFixedText(bytes_.data() + offset, cap, bytes_[lenOffset]);
        const std::string local = DeviceTextToLocalWithin(raw, std::min(cap, kMaxLengthByte));
        WriteFixedText(bytes_.data() + offset, cap, bytes_.data() + lenOffset, local);
    };
    convert(kNameOffset, kNameLenOffset);
    convert(kSsidOffset, kSsidLenOffset);
    convert(kBridgeSsidOffset, kBridgeSsidLenOffset);
}

std::string ap_info_stu::mac() const {
    constexpr size_t kMaxMacText = 17;
    const auto* end = std::find(bytes_.data(), bytes_.data() + kMaxMacText, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(bytes_.data()),
                       static_cast<size_t>(end - bytes_.data()));
}

void ap_info_stu::set_mac(std::string_view macText) {
    constexpr size_t kMacArea = 18;
    std::memset(bytes_.data(), 0, kMacArea);
    const size_t n = std::min(macText.size(), kMacArea - 1);
    if (n > 0) std::memcpy(bytes_.data(), macText.data(), n);
}

std::vector<uint8_t> BuildMessage(uint16_t typeCode, const MacBytes& mac, const uint8_t* payload,
                                  size_t length, bool multicast, uint16_t deviceType) {
    if (payload == nullptr) length = 0;
    length = std::min(length, kMaxPayload);
    std::vector<uint8_t> out(kHeaderSize + length, 0);
    StoreU16(out.data(), kWireMagic);
    StoreU16(out.data() + 2, deviceType);
    StoreU16(out.data() + 4, typeCode);
    out[6] = multicast ? 1 : 0;
    std::memcpy(out.data() + 8, mac.data(), mac.size());
    StoreU16(out.data() + 14, static_cast<uint16_t>(length));
    if (length > 0) std::memcpy(out.data() + kHeaderSize, payload, length);
    return out;
}

std::vector<uint8_t> BuildMessage(MsgType type, std::string_view macText, const uint8_t* payload,
                                  size_t length, bool multicast, uint16_t deviceType) {
    const MacBytes mac = macText.empty() ? MacBytes{} : MacTextToBytes(macText);
    return BuildMessage(ToCode(type), mac, payload, length, multicast, deviceType);
}

bool PortAcceptsType(uint16_t localPort, uint16_t typeCode) {
    switch (localPort) {
        case kPortAnnounce:
            return typeCode == ToCode(MsgType::Announce);
        case kPortHeartbeat:
            return typeCode == ToCode(MsgType::Heartbeat);
        case kPortReply:
            return true;
        default:
            return false;
    }
}

size_t ReceivedPacket::payload_length() const {
    return std::min<size_t>(LoadU16(area.data() + 14), kMaxPayload);
}

std::string ReceivedPacket::sender_text() const {
    // Network byte order: the first octet is the first byte in memory.
    uint8_t b[4];
    std::memcpy(b, &sender_addr, 4);
    return IpBytesToText(b);
}

std::string ReceivedPacket::mac_text() const {
    return MacBytesToText(mac_bytes());
}

std::optional<ReceivedPacket> AcceptDatagram(const uint8_t* data, size_t size, uint16_t localPort,
                                             uint32_t senderAddr, uint16_t senderPort) {
    if (data == nullptr || size < kHeaderSize || size > kMaxDatagram) return std::nullopt;
    if (LoadU16(data) != kWireMagic) return std::nullopt;
    if (!PortAcceptsType(localPort, LoadU16(data + 4))) return std::nullopt;
    std::optional<ReceivedPacket> packet(std::in_place);
    packet->sender_addr = senderAddr;
    packet->sender_port = senderPort;
    packet->size = static_cast<uint16_t>(size);
    std::memcpy(packet->area.data(), data, size);
    return packet;
}

NeighbourReport ParseNeighbourReport(const ReceivedPacket& packet) {
    // Only what arrived counts as received, whatever the length field claims.
    const size_t arrived = packet.size > kHeaderSize ? packet.size - kHeaderSize : 0;
    return ParseNeighbourReport(packet.payload(), std::min(packet.payload_length(), arrived));
}

NeighbourReport ParseNeighbourReport(const uint8_t* payload, size_t length) {
    constexpr size_t kEntriesOffset = 3;
    NeighbourReport report;
    if (payload == nullptr) return report;
    length = std::min(length, kNeighbourReportSize);
    if (length > 0) report.packet_count = payload[0];
    if (length > 1) report.packet_id = payload[1];
    if (length > 2) report.icount = payload[2];
    const size_t wanted = std::min<size_t>(report.icount, kMaxNeighboursPerReport);
    for (size_t i = 0; i < wanted; ++i) {
        const size_t start = kEntriesOffset + i * config_otherwl_basic::kSize;
        // An entry cut off by the end of the payload is not a neighbour.
        if (start + config_otherwl_basic::kSize > length) break;
        report.entries.emplace_back(payload + start);
    }
    return report;
}

std::vector<uint8_t> BuildNeighbourReportPayload(uint8_t packetCount, uint8_t packetId,
                                                 const std::vector<config_otherwl_basic>& entries) {
    const size_t n = std::min(entries.size(), kMaxNeighboursPerReport);
    std::vector<uint8_t> out(3 + n * config_otherwl_basic::kSize, 0);
    out[0] = packetCount;
    out[1] = packetId;
    out[2] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        entries[i].CopyTo(out.data() + 3 + i * config_otherwl_basic::kSize);
    }
    return out;
}

NameBlock BuildNamePayload(std::string_view localName) {
    NameBlock block;
    block.set_ap_name(LocalTextToDevice(localName));
    return block;
}

bool WirelessTakesExtension(uint16_t deviceType) {
    return deviceType == 15 || deviceType == 18;
}

std::vector<uint8_t> BuildSetWirelessPayload(const WirelessBlock& wireless, uint16_t deviceType,
                                             uint8_t wlDfs) {
    WirelessBlock block = wireless;
    block.set_ssid(LocalTextToDevice(wireless.ssid()));
    const bool withExtension = WirelessTakesExtension(deviceType);
    std::vector<uint8_t> out(WirelessBlock::kSize + (withExtension ? ExtensionBlock::kSize : 0));
    block.CopyTo(out.data());
    if (withExtension) {
        ExtensionBlock ext;
        ext.set_wl_dfs(wlDfs);
        ext.CopyTo(out.data() + WirelessBlock::kSize);
    }
    return out;
}

bool VlanTakesExtension(uint16_t deviceType) {
    switch (deviceType) {
        case 10:
        case 11:
        case 15:
        case 18:
        case 268:
        case 269:
        case 270:
            return true;
        default:
            return false;
    }
}

std::vector<uint8_t> BuildSetVlanPayload(const VlanBlock& vlan, const ExtensionBlock& extension,
                                         uint16_t deviceType) {
    const bool withExtension = VlanTakesExtension(deviceType);
    std::vector<uint8_t> out(VlanBlock::kSize + (withExtension ? ExtensionBlock::kSize : 0));
    vlan.CopyTo(out.data());
    if (withExtension) extension.CopyTo(out.data() + VlanBlock::kSize);
    return out;
}

std::vector<uint8_t> BuildSetBridgePayload(const BridgeBlock& bridge, const AddressBlock& address) {
    BridgeBlock block = bridge;
    block.set_bridge_ssid(LocalTextToDevice(bridge.bridge_ssid()));
    std::vector<uint8_t> out(kSetBridgePayloadSize, 0);
    block.CopyTo(out.data());
    address.CopyTo(out.data() + BridgeBlock::kSize);
    return out;
}

ExtensionBlock BuildTransparentBridgePayload(uint8_t on) {
    ExtensionBlock block;
    block.set_bridge_transparent(on);
    return block;
}

ExtensionBlock BuildPxsyncPayload(uint8_t on) {
    ExtensionBlock block;
    block.set_tdmaEn(on);
    return block;
}

UpgradeRequestBlock BuildUpgradeRequestPayload(std::string_view fileName, uint32_t fileSize) {
    // The device fetches the name from the file server's root folder, so a
    // directory part would name a file it cannot find.
    const size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    UpgradeRequestBlock block;
    block.set_file_name(fileName);
    block.set_file_size(fileSize);
    return block;
}

}  // namespace kestrix
