#pragma once
// Texts of a radio scan's entries, as the bridge wizard lists them.

#include <cstdint>
#include <string>

namespace kestrix {

// The scan's own security codes: 0 "None", 1 "WEP", 2..9 the PSK modes with
// their ciphers; any other code reads "WPA-PSK/TKIP&AES".
std::string NeighbourSecurityText(uint32_t code);

}  // namespace kestrix
