#pragma once
// kestrix-cli bridge: the bridge page's wizard without windows. Finds the
// device by a short search, refuses a device whose mode switch stands at
// the AP position, lets it scan, starts the link's settings from the scan
// entry of the chosen access point and the device's record exactly as the
// wizard's steps do, lays the options over them, checks them with the
// wizard's rules and sends the one SetBridge.

namespace kestrix::cli {

struct CliOptions;

int RunBridge(const CliOptions& options);

}  // namespace kestrix::cli
