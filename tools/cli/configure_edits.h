#pragma once
// The options of `kestrix-cli configure` and how they edit one device's
// configuration: each through the change handler of the view it belongs
// to, in the order of the dialog's fields, whatever order they were given
// in. An option the device's type, band or work mode does not offer is
// refused with a message naming the option and what is offered, before
// anything is collected or sent.

#include <string>
#include <string_view>
#include <vector>

#include "fleet/device_config.h"

namespace kestrix::cli {

struct ConfigureEdit {
    std::string option;  // "--ssid"
    std::string value;
};

// Every configure option takes a value.
bool IsConfigureOption(std::string_view option);
// The options in the order they are applied (the dialog's field order).
const std::vector<std::string_view>& ConfigureOptionOrder();

struct EditOutcome {
    bool ok = true;
    std::string error;  // for the operator: "--channel 52: not offered (offered: ...)"
};

EditOutcome ApplyConfigureEdits(DeviceConfig& config, const std::vector<ConfigureEdit>& edits);

}  // namespace kestrix::cli
