#include "fleet/neighbour_texts.h"

#include <array>
#include <string_view>

namespace kestrix {

std::string NeighbourSecurityText(uint32_t code) {
    static constexpr std::array<std::string_view, 10> kTexts = {
        "None",
        "WEP",
        "WPA-PSK/AES",
        "WPA-PSK/TKIP",
        "WPA2-PSK/AES",
        "WPA2-PSK/TKIP",
        "WPA2-PSK/TKIP&AES",
        "WPA/WPA2-PSK/AES",
        "WPA/WPA2-PSK/TKIP",
        "WPA/WPA2-PSK/TKIP&AES",
    };
    if (code < kTexts.size()) return std::string(kTexts[code]);
    return "WPA-PSK/TKIP&AES";
}

}  // namespace kestrix
