#pragma once
// The commands of kestrix-cli. Each returns the process's exit status:
// 0 every chosen device did what was asked, 1 otherwise (or the run could
// not start), 2 invalid input, found before anything was sent to a device.

#include "tools/cli/cli_options.h"

namespace kestrix::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitInvalid = 2;

int RunCommand(const CliOptions& options);

}  // namespace kestrix::cli
