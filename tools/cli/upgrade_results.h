#pragma once
// What `kestrix-cli upgrade` reads and reports apart from running the
// upgrade: --type, each device's result once the upgrade is over, the
// listing with both versions and the exit status.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fleet/selection.h"
#include "tools/cli/listings.h"
#include "tools/cli/output.h"

namespace kestrix::cli {

// --type as a type code or a model name; nothing when it is neither.
std::optional<uint16_t> ParseUpgradeType(const std::string& text);

// One line of the upgrade's listing.
struct UpgradeRow {
    ActionResult result;
    std::string versionBefore, versionAfter;
};
Listing UpgradeListing(const std::vector<UpgradeRow>& rows);

// What the command saw of one upgraded device.
struct UpgradeWatch {
    SelectedDevice device{};
    size_t row = 0;
    uint64_t successAt = 0;  // store write of the reported success
    bool failed = false;     // it reported "Upgrade fail"
    bool done = false;       // found again by a search after its success
    uint32_t lastStatus = 0;
};
// The row's result once the upgrade is over; `versionAfter` is what the
// search after the reboot found (used only for a device that is done).
void SettleUpgradeRow(const UpgradeWatch& watch, bool interrupted, const std::string& versionAfter,
                      UpgradeRow& row);
// 0 only when every device that counts (skipped ones do not) was upgraded;
// the counts go to `upgraded` and `counted` when given.
int UpgradeExitCode(const std::vector<UpgradeRow>& rows, size_t* upgraded = nullptr,
                    size_t* counted = nullptr);

}  // namespace kestrix::cli
