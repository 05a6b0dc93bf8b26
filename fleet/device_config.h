#pragma once
// One device's configuration as the management dialog and `kestrix-cli
// configure` save it: the four views collected in order into the pending
// blocks, the rule that ties an address change to a VLAN change, the wait
// that follows, and the worker that sends the changed blocks in a fixed
// order. Both front ends run exactly this.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "fleet/address_settings.h"
#include "fleet/config_field.h"
#include "fleet/device_workers.h"
#include "fleet/reboot_settings.h"
#include "fleet/selection.h"
#include "fleet/vlan_settings.h"
#include "fleet/wireless_settings.h"

namespace kestrix {

// What a Save hands to the send worker: which blocks go, and the blocks.
struct PendingSettings {
    bool nameChanged = false;
    bool wirelessChanged = false;
    bool addressChanged = false;
    bool vlanChanged = false;
    bool rebootChanged = false;
    NameBlock name;
    WirelessBlock wireless;
    AddressBlock address;
    VlanBlock vlan;
    ExtensionBlock vlanExtension;
    ExtensionBlock wirelessExtension;
    RebootScheduleBlock reboot;

    bool AnyChanged() const {
        return nameChanged || wirelessChanged || addressChanged || vlanChanged || rebootChanged;
    }
};

// The wait after a Save: none, 15 s with three closing searches after an
// address change, 60 s without searches after a VLAN change (the device
// applies its new address only with the VLAN).
struct ConfigWait {
    int seconds = 0;  // 0: none
    bool research = false;
    int searches = 0;
    bool operator==(const ConfigWait&) const = default;
};
inline constexpr int kVlanWaitSeconds = 60;
inline constexpr int kAddressWaitSeconds = 15;
inline constexpr int kAddressWaitSearches = 3;
ConfigWait WaitAfterSave(const PendingSettings& pending);

// The four views of one device, as Fill leaves them; front ends edit them
// through their handlers and entries.
struct DeviceConfig {
    explicit DeviceConfig(const ap_info_stu& record);

    ap_info_stu record;
    WirelessSettings wireless;
    AddressEntries address;
    VlanEntries vlan;
    VlanLayout vlanLayout;
    RebootScheduleBlock receivedSchedule;
    RebootEntries reboot;
};

struct SaveOutcome {
    std::optional<ConfigFailure> failure;  // set: stop; nothing goes out
    PendingSettings pending;
    ConfigWait wait;
};

// Collects wireless, address, VLAN and timed reboot in this order and
// stops at the first failing rule (also on a tab the operator cannot open).
// `storedIps`: every stored device's address, for the address-in-use rule.
SaveOutcome CollectForSave(const DeviceConfig& config, const std::vector<std::string>& storedIps);

// The send worker: name, wireless (with the extension for types 15 and 18),
// timed reboot, VLAN (with the extension for the extended types), address
// (the link told of the new address first). It works on its own copies and
// stops between two commands once `stop` is requested.
std::vector<SentCommand> RunConfigSendWorker(CommandSink& sink, const SelectedDevice& target,
                                             const PendingSettings& pending,
                                             std::stop_token stop = {});

}  // namespace kestrix
