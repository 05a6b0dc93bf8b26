#pragma once
// The decisions of the bridge wizard, shared by its windows and by
// `kestrix-cli bridge`: the mode-switch check before it opens, the scan
// grid's texts, pictures and sort keys, how the security step starts from
// the chosen access point and the device's record, the checks of the
// security and address steps in their order, and the blocks and the one
// SetBridge that turn the device into a station of that access point.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/device_workers.h"
#include "fleet/radio_tables.h"
#include "fleet/selection.h"
#include "fleet/validation.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// ---- Before the wizard opens ---------------------------------------------------------

// A device whose mode switch stands at the AP position (any byte but 0 and
// 2) cannot be made a station from here.
bool ModeSwitchBlocksBridge(const ap_info_stu& record);
inline constexpr const char* kModeSwitchMessage =
    "The Mode Switch is at AP position, please switch it to Off position to modify to other "
    "operating mode.";

// ---- The scan step --------------------------------------------------------------------

// The scan grid's columns.
inline constexpr int kScanColumnSelect = 0, kScanColumnSsid = 1, kScanColumnChannel = 2,
                     kScanColumnMac = 3, kScanColumnSecure = 4, kScanColumnSignal = 5;
inline constexpr int kScanColumnCount = 6;
// The neighbour sort key (QueryScanList) of a scan grid column.
int ScanSortKey(int column);
// The image of the signal column: 5 above -60, 3 from -74 to -60, 1 below.
int SignalImage(int signal);
// The seconds a scan may take before the list is filled with what arrived.
inline constexpr int kScanSeconds = 30;

// ---- The security step ----------------------------------------------------------------

// Item data of the security-mode list.
inline constexpr int kSecurityNone = 0, kSecurityWep = 1, kSecurityWpaPsk = 2, kSecurityWpa2Psk = 3,
                     kSecurityMixed = 4;
// The ticked cipher radio; also the wpapsk_auth_type sent.

// The security modes offered: "None", "WPA-PSK", "WPA2-PSK" and "Mixed
// WPA/WPA2-PSK", with "WEP" second for types 15 and 18. An access point that
// itself uses WEP gets "WEP" offered on every type: no other mode can join
// it, and without the entry its settings could not be entered at all.
std::vector<RadioEntry> BridgeSecurityModes(uint32_t type, bool accessPointUsesWep);

// The mode and cipher a scan entry's security code stands for (10: WPA-PSK
// with TKIP&AES; unknown codes: "None").
struct ScanSecurity {
    int mode = kSecurityNone;
    PskCipher cipher = PskCipher::kAes;
};
ScanSecurity SecurityOfScanCode(uint32_t code);

// Which of the step's fields a mode shows.
struct SecurityFields {
    bool ciphers = false;  // the three radios and their label
    bool tkipAesEnabled = false;
    bool key = false;  // key and interval with their labels
    bool wepPanel = false;
};
SecurityFields FieldsOfMode(int mode);
// WPA-PSK has no TKIP&AES: a tick there moves to AES.
PskCipher CipherForMode(int mode, PskCipher ticked);

// The bandwidth list is offered only to types 10, 12, 13 and 271.
bool BridgeShowsBandwidth(uint32_t type);
// The channel list for the device, its band, country and DFS state at
// `bandwidth`, selecting `wanted` (the access point's channel).
RadioList BridgeChannelList(const ap_info_stu& record, std::optional<int> bandwidth,
                            int wantedChannel);

struct WepSettings {
    int auth = 0;        // "Open" 0, "Share" 1
    int defaultKey = 0;  // "Key 1".."Key 4": 0..3
    std::array<std::string, 4> keys;
    std::array<WepKeyFormat, 4> formats{WepKeyFormat::kAscii, WepKeyFormat::kAscii,
                                        WepKeyFormat::kAscii, WepKeyFormat::kAscii};
};

// What the security step holds: its lists and what is chosen and typed.
struct BridgeSecurity {
    std::string ssid;
    RadioList channels;
    RadioList bandwidths;
    bool bandwidthShown = false;
    std::vector<RadioEntry> modes;
    int mode = kSecurityNone;  // item data of the chosen mode
    PskCipher cipher = PskCipher::kAes;
    std::string key;
    std::string keyTime;
    WepSettings wep;

    std::optional<int> Channel() const { return channels.SelectedCode(); }
};

// The step as it opens for the chosen access point: its SSID, the channel
// and bandwidth lists with its channel and bandwidth chosen, its mode and
// cipher (WEP: "Open"); key, interval and WEP keys empty.
BridgeSecurity InitialSecurity(const config_otherwl_basic& accessPoint, const ap_info_stu& record);

// The step's checks in order: SSID empty, the SSID name rule of the type,
// then by mode the WEP key set or the pre-shared key. Warning messages (the
// WEP key messages titled warnings).
RuleResult CheckBridgeSecurity(const BridgeSecurity& s, uint32_t type);

// The 304-byte block of a checked step: station mode, the access point's
// MAC, the chosen channel, the SSID, the mode and the fields of that mode;
// everything else zero. The interval is read as a decimal number, an
// empty field as 0. WEP key 1 goes out as it was checked, without leading
// white space.
BridgeBlock BuildBridgeBlock(const BridgeSecurity& s, const MacBytes& accessPointMac);

// ---- The address step -----------------------------------------------------------------

// The five fields as they open: the record's address, mask, gateway and DNS.
AddressSet InitialBridgeAddress(const ap_info_stu& record);
// The wizard's address rule; then, only when the address changed, the
// address-in-use rule against every stored device's address.
RuleResult CheckBridgeAddress(const AddressSet& a, const Ipv4Bytes& currentIp,
                              const std::vector<std::string>& storedIps);
// Static address (ip_mode 1), the five fields, applied with the bridge (0).
AddressBlock BuildBridgeAddressBlock(const AddressSet& a);

// ---- Save ---------------------------------------------------------------------------------

// The 328-byte payload: the block with its SSID in the devices' encoding,
// the address block at 304, two zero bytes.
std::vector<uint8_t> BridgePayload(const BridgeBlock& bridge, const AddressBlock& address);
// The apply worker: one SetBridge, retransmitted until answered.
SentCommand SendBridge(CommandSink& sink, const SelectedDevice& device, const BridgeBlock& bridge,
                       const AddressBlock& address);

}  // namespace kestrix
