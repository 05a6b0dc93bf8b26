#pragma once
// The simulated fleet: every device's factory state, built deterministically
// from a seed and then adjusted by per-device settings.
//
// A device's generated attributes depend only on the seed and its index, so
// growing the fleet or overriding one device never changes another. MACs are
// 02:4b:58:xx:xx:xx (locally administered, distinct for up to 2^24 devices).
// Addresses run upward from the first address, skipping those whose last
// number is 0 or 255, exactly as the lab adds them to the fleet interface.
//
// Per-device settings (fleet file "device" lines, --set, the control socket)
// are "SELECTOR key=value ..." with these keys:
//   mac=02:4b:58:00:00:07  ip=198.18.3.4  type=268  name=Text  version=Text
//   mode=1..7 (work mode)  ssid=Text  channel=N  secure=0..6  psk=Text
//   transparent=0|1  pxsync=0|1  uptime=SECONDS  btn=0|1 (mode button)
//   bridge-to=INDEX (station bridged to that device)  neighbours=N (scan size)
//   mute-info=0|1 (announces but never answers DeviceInfo)
//   bridge-fail=0|1|CODE (SetBridge answered with CODE, default 1; nothing changes)
//   claim=INDEX|none (answers from, and reports, that device's address)
//   upgrade-fail=0|1 (fetches, then reports the upgrade itself failed)
//   upgrade-version=Text (the version after an upgrade; default from the file name)

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/wire/wire_format.h"

namespace kestrix::devsim {

// The model table's type codes: 1-13, 15-18 and 257-271.
inline constexpr std::array<uint16_t, 32> kModelCodes = {
    1,  2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  15,  16,  17,
    18, 257, 258, 259, 260, 261, 262, 263, 264, 265, 266, 267, 268, 269, 270, 271};
bool IsModelCode(uint16_t code);
// Types whose PX-SYNC switch exists.
bool HasPxsync(uint16_t code);
// Types on which transparent bridging does not exist.
bool LacksTransparentBridge(uint16_t code);

inline constexpr uint8_t kModeAp = 1;
inline constexpr uint8_t kModeStation = 2;

struct DeviceFaults {
    bool mute_info = false;       // announces, never answers DeviceInfo
    bool bridge_fail = false;     // SetBridge answered with bridge_result, nothing changes
    uint8_t bridge_result = 1;    // the failure's result byte (never 0)
    int claim = -1;               // index of the device whose address this one claims
    bool upgrade_fail = false;    // the upgrade after UpgradeStart reports failure
    std::string upgrade_version;  // the version after an upgrade; empty: from the file name
    bool operator==(const DeviceFaults&) const = default;
};

// One device as it leaves the factory (the state Restore returns to).
struct DeviceSpec {
    MacBytes mac{};
    uint16_t type = 1;
    DeviceInfoBlock info;  // every setting; up_time is filled when sent
    uint32_t uptime = 0;   // seconds since boot when the simulator starts
    int neighbours = 0;    // access points its radio scan reports
    DeviceFaults faults;

    Ipv4Bytes ip() const { return info.address().ip(); }
};

struct FleetConfig {
    int devices = 10;
    uint64_t seed = 1;
    Ipv4Bytes first_ip{198, 18, 0, 2};
    Ipv4Bytes netmask{255, 254, 0, 0};
    Ipv4Bytes gateway{198, 18, 0, 1};
    // "SELECTOR key=value ..." lines, applied in order after generation.
    std::vector<std::string> settings;
};

inline constexpr int kMaxDevices = 100000;

// Builds the whole fleet. Fails (with a message naming the culprit) on a bad
// setting, on duplicate MACs or when the address range runs out.
bool BuildFleet(const FleetConfig& config, std::vector<DeviceSpec>& fleet, std::string& err);

// The i-th device address of the range: first_ip upward, skipping .0 and .255.
// Returns false when the range (first_ip's subnet) has no such address.
bool NthAddress(const FleetConfig& config, int i, Ipv4Bytes& out);

// Applies one "key=value" to a device. The fleet is needed for references to
// other devices (bridge-to, claim).
bool ApplyDeviceSetting(std::vector<DeviceSpec>& fleet, int index, std::string_view keyValue,
                        std::string& err);
// The fault keys (mute-info, bridge-fail, claim, upgrade-fail,
// upgrade-version), which may also change while the simulator runs.
bool IsFaultKey(std::string_view key);
bool ApplyFaultSetting(DeviceFaults& faults, int index, int count, std::string_view key,
                       std::string_view value, std::string& err);
// Applies "SELECTOR key=value ..." to the selected devices.
bool ApplySettingLine(std::vector<DeviceSpec>& fleet, std::string_view line, std::string& err);

// Makes device `station` a station bridged to device `ap`: work mode, the
// bridge block (peer MAC, channel, SSID, security) and its radio channel.
void BridgeTo(DeviceSpec& station, const DeviceSpec& ap);

int FindByMac(const std::vector<DeviceSpec>& fleet, const MacBytes& mac);

// The security code a radio scan reports for an access point (the scan's own
// table: 0 none, 1 WEP, 2..10 the PSK and cipher combinations).
uint8_t ScanSecurityCode(const SecurityBlock& security);

}  // namespace kestrix::devsim
