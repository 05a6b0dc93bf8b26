#pragma once
// kestrix-cli bridge: its own options and how they override what the
// bridge wizard's security and address steps start with. Reading the texts
// needs nothing from the network, so a value that cannot be right is
// refused before anything is sent.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "fleet/bridge_wizard.h"

namespace kestrix::cli {

// The options as typed; what is not given keeps the wizard's start value.
struct BridgeRequest {
    std::string ap;  // the access point's MAC, lower case
    std::optional<std::string> ssid, channel, bandwidth, security, cipher, key, keyTime;
    std::optional<std::string> wepAuth, wepDefault;
    std::array<std::optional<std::string>, 4> wepKeys, wepFormats;
    std::optional<std::string> address, mask, gateway, dns1, dns2;
};

// Whether `word` is one of bridge's own options (all take a value).
bool IsBridgeOption(std::string_view word);
// Stores the option's value; the error text when the value is malformed.
std::optional<std::string> SetBridgeOption(BridgeRequest& request, std::string_view word,
                                           const std::string& value);

// What the wizard would send: its steps as they start, with the options
// laid over them.
struct BridgePlan {
    BridgeSecurity security;
    AddressSet address;
};
// Lays the options over `plan` for `record` (the device) and `accessPoint`
// (its scan entry): a channel or bandwidth the lists do not offer, a
// security mode the list lacks or a cipher the mode disables is an error.
std::optional<std::string> ApplyBridgeOptions(const BridgeRequest& request,
                                              const ap_info_stu& record,
                                              const config_otherwl_basic& accessPoint,
                                              BridgePlan& plan);

std::string BridgeHelpText();

}  // namespace kestrix::cli
