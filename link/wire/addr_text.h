#pragma once
// Address and MAC texts as the whole program writes them: IPv4 as
// "%d.%d.%d.%d", MAC as lower-case "%02x:%02x:%02x:%02x:%02x:%02x".
// Parsing is as forgiving as the scanf patterns the texts are made with:
// each number keeps its low 8 bits, a number that cannot be read is 0 and an
// empty text gives all-zero bytes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrix {

using Ipv4Bytes = std::array<uint8_t, 4>;
using MacBytes = std::array<uint8_t, 6>;

Ipv4Bytes IpTextToBytes(std::string_view text);
std::string IpBytesToText(const uint8_t* bytes);  // reads 4 bytes
inline std::string IpBytesToText(const Ipv4Bytes& b) {
    return IpBytesToText(b.data());
}

MacBytes MacTextToBytes(std::string_view text);
std::string MacBytesToText(const uint8_t* bytes);  // reads 6 bytes
inline std::string MacBytesToText(const MacBytes& b) {
    return MacBytesToText(b.data());
}

// a.b.c.d as a*2^24 + b*2^16 + c*2^8 + d, for numeric sorting. The text (at
// most 15 characters are looked at) is split at '.', empty pieces between
// adjacent dots are skipped.
uint32_t IpTextToNumber(std::string_view text);

// True when every byte of the MAC is zero.
bool IsZeroMac(const uint8_t* bytes);

}  // namespace kestrix
