#pragma once
// `kestrix-cli configure`: one device's settings changed as its management
// dialog changes them (fleet/device_config.h does the collecting and the
// sending; tools/cli/configure_edits.h applies the options).

#include "tools/cli/cli_options.h"

namespace kestrix::cli {

int RunConfigure(const CliOptions& options);

}  // namespace kestrix::cli
