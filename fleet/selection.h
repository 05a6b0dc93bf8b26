#pragma once
// The devices an action works on, as the device-list pages hand them to
// their dialogs and workers: one SelectedDevice per ticked row, in row order.
// The front ends collect them from their own lists; what is shared here is
// the record-to-selection copy and the rule that leaves out the devices on
// which a switch does not exist (their cell reads "N/A").

#include <cstdint>
#include <string>
#include <vector>

#include "link/wire/wire_format.h"

namespace kestrix {

struct SelectedDevice {
    std::string ip;   // dotted text
    std::string mac;  // lower-case text
    uint16_t type = 0;
    bool operator==(const SelectedDevice&) const = default;
};

// The address the device reported (its AddressBlock), its MAC and type code.
SelectedDevice SelectedFromRecord(const ap_info_stu& record);
std::vector<SelectedDevice> SelectedFromRecords(const std::vector<ap_info_stu>& records);

// The two on/off switches the status page sends to many devices at once.
enum class SwitchKind { kTransparentBridge, kPxsync };

// False where the status page's cell for this switch reads "N/A": transparent
// bridging depends on the type and the work mode, PX-SYNC on the type.
bool SwitchApplies(SwitchKind kind, const ap_info_stu& record);
// The switch's current byte in the record (0 off, anything else on).
uint8_t SwitchState(SwitchKind kind, const ap_info_stu& record);

// Splits `records` (order kept) into those the switch applies to and the
// rest, as the "Set Bridge" and "PX-SYNC" buttons collect their selection.
struct SwitchSelection {
    std::vector<ap_info_stu> configurable;
    std::vector<ap_info_stu> notApplicable;
};
SwitchSelection SplitBySwitch(SwitchKind kind, const std::vector<ap_info_stu>& records);

}  // namespace kestrix
