#pragma once
// `kestrix-cli upgrade`: the upgrade dialog's firmware upgrade without
// windows, on the same upgrade run (fleet/upgrade_run.h), and the steps of
// commands.cpp it shares.

#include <optional>
#include <string>
#include <vector>

#include "link/wire/wire_format.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/commands.h"
#include "tools/cli/listings.h"
#include "tools/cli/session.h"
#include "tools/cli/upgrade_results.h"

namespace kestrix::cli {

int RunUpgrade(const CliOptions& options);

// From commands.cpp: open the run, search and choose the devices (nullopt
// with `exit` set when the command ends there); the [y/N] question; a line
// on standard error; a listing on standard output.
std::optional<std::vector<ap_info_stu>> PrepareTargets(Session& session, const CliOptions& o,
                                                       int& exit,
                                                       std::vector<ActionResult>& failures);
bool ConfirmOnTerminal(const std::string& question, const std::vector<ap_info_stu>& devices);
void CliMessage(const std::string& text);
void PrintListing(const Listing& listing, Format format);

}  // namespace kestrix::cli
