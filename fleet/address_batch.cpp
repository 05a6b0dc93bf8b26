#include "fleet/address_batch.h"

#include <cstdint>

namespace kestrix {

namespace {

uint32_t ToHostNumber(std::string_view text) {
    const Ipv4Bytes b = IpTextToBytes(text);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

std::string FromHostNumber(uint32_t n) {
    const Ipv4Bytes b = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                         static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    return IpBytesToText(b);
}

}  // namespace

std::vector<std::string> BatchAddresses(std::string_view begin, std::string_view end,
                                        size_t deviceCount) {
    std::vector<std::string> out;
    if (deviceCount == 0) return out;
    if (deviceCount == 1) {
        out.emplace_back(IpBytesToText(IpTextToBytes(begin)));
        return out;
    }
    // Counted in 64 bits so that an end of 255.255.255.255 ends the walk
    // instead of wrapping round to 0.0.0.0.
    const uint64_t last = ToHostNumber(end);
    for (uint64_t n = ToHostNumber(begin); n <= last && out.size() < deviceCount; ++n) {
        const uint32_t lowOctet = static_cast<uint32_t>(n & 0xff);
        if (lowOctet == 0 || lowOctet == 255) continue;
        out.push_back(FromHostNumber(static_cast<uint32_t>(n)));
    }
    return out;
}

AddressBlock MakeBatchAddressBlock(const AddressRange& range, std::string_view newIp) {
    AddressBlock block;
    block.set_ip_mode(1);
    block.set_ip(IpTextToBytes(newIp));
    block.set_ip_mask(IpTextToBytes(range.mask));
    block.set_ip_gateway(IpTextToBytes(range.gateway));
    block.set_ip_dns1(IpTextToBytes(range.dns1));
    block.set_ip_dns2(IpTextToBytes(range.dns2));
    block.set_apply(1);
    return block;
}

}  // namespace kestrix
