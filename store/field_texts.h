#pragma once
// Display texts of every enumerated device field, and the conversions of
// addresses, MAC addresses, uptimes and channels to text and back. Free
// functions without state. Texts are UTF-8; those built from a fixed English
// key pass it through TranslateText unless said otherwise.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/wire/addr_text.h"
#include "link/wire/device_status.h"
#include "link/wire/text_codec.h"

namespace kestrix {

inline constexpr int kWorkModeStation = 2;

std::string StatusText(uint32_t code);      // "" outside 0..9
std::string WorkModeText(uint32_t code);    // "" outside 1..7
std::string SecureModeText(uint32_t code);  // "" outside 0..6
std::string BandwidthText(uint32_t code);   // fixed texts, not looked up; "" outside 0..7

// The model table: codes 1..13, 15..18 and 257..271. Not looked up.
std::string ModelName(uint32_t typeCode);   // unknown codes give the name of code 1
uint16_t ModelCode(std::string_view name);  // exact match, else 1
const std::vector<uint16_t>& ModelCodes();  // the 32 codes in table order

// "N/A" (not looked up) for types 4, 17, 261 or work modes 4..7, else On2/Off2.
std::string BridgeTransparentText(uint32_t typeCode, uint32_t workMode, uint32_t on);
// On2/Off2 for the PX-SYNC capable types, else "N/A".
std::string TdmaEnText(uint32_t typeCode, uint32_t on);
bool BridgeTransparentApplies(uint32_t typeCode, uint32_t workMode);
bool PxsyncApplies(uint32_t typeCode);

std::string UptimeText(uint32_t seconds);   // "d h:m:s" or "h:m:s", no zero fill
std::string ChannelText(uint32_t channel);  // TranslateText("Auto") for 0

bool IsHexText(std::string_view text);    // empty passes
bool IsAsciiText(std::string_view text);  // every byte <= 127; empty passes

// The bandwidth choices for a device: the items (text, code) in list order
// and the index of the selected one (-1 when the list is empty).
struct BandwidthChoices {
    std::vector<std::pair<std::string, int>> items;
    int selected = -1;
};
BandwidthChoices FillBandwidthChoices(uint32_t typeCode, uint32_t rfType, uint32_t networkMode,
                                      uint32_t currentBandwidth);

}  // namespace kestrix
