#pragma once
// The rows kestrix-cli prints: devices (the status page's columns plus the
// codes and addresses scripts want), neighbouring access points (the bridge
// wizard's scan list), adapters (the system tool page) and the outcome of an
// action per device. JSON keys and CSV headings are fixed here; the README
// documents them.

#include <string>
#include <vector>

#include "link/adapters.h"
#include "link/wire/wire_format.h"
#include "tools/cli/output.h"

namespace kestrix::cli {

Listing DeviceListing(const std::vector<ap_info_stu>& records);
Listing NeighbourListing(const std::vector<config_otherwl_basic>& neighbours);
Listing AdapterListing(const std::vector<AdapterRecord>& adapters);

// How one device ended up after an action.
enum class Outcome {
    kDone,           // did what was asked
    kNoAnswer,       // no answer after the retries
    kRefused,        // answered, but did not accept or did not take the change
    kNotSent,        // no adapter reaches its address
    kNotReached,     // only announced itself: it cannot be configured
    kNotFound,       // a --mac or --ip that the search did not find
    kNoAddress,      // set-ip: the range ran out before this device
    kSkipped,        // the switch does not exist on it (N/A); not a failure
    kCancelled,      // the operator said no
    kInterrupted,    // the tool was stopped while waiting
    kUpgraded,       // upgrade: success reported and seen again with its new information
    kUpgradeFailed,  // upgrade: the device reported that the upgrade failed
    kBridgeFailed,   // bridge: the device answered that the bridge failed
};
// The JSON/CSV word of an outcome ("done", "no_answer", ...).
const char* OutcomeKey(Outcome outcome);
// Skipped devices are reported but do not count against the exit status.
bool OutcomeCounts(Outcome outcome);
bool OutcomeOk(Outcome outcome);

struct ActionResult {
    std::string mac;
    std::string ip;
    std::string newIp;  // set-ip
    Outcome outcome = Outcome::kNoAnswer;
    std::string detail;  // the line people read, e.g. "done: renamed to Roof"
};
Listing ResultListing(const std::vector<ActionResult>& results, bool withNewIp);

// "on", "off" or "n/a" (stable, for scripts) of a switch byte.
std::string SwitchWord(bool applies, uint8_t state);

}  // namespace kestrix::cli
