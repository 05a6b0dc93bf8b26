#pragma once
// The command line of kestrix-cli: one command word, its options and
// arguments. Parsing checks everything that can be checked without the
// network, so a malformed command line never sends a packet.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/address_batch.h"
#include "tools/cli/bridge_options.h"
#include "tools/cli/channels.h"
#include "tools/cli/configure_edits.h"
#include "tools/cli/output.h"

namespace kestrix::cli {

enum class Command {
    kNone,  // no command word: general help
    kAdapters,
    kSearch,
    kRename,
    kSetIp,
    kBridgeTransparent,
    kPxsync,
    kReboot,
    kRestore,
    kScanNeighbours,
    kChannels,
    kUpgrade,
    kBridge,
    kConfigure,
};

struct CliOptions {
    Command command = Command::kNone;
    bool help = false;
    Format format = Format::kTable;
    std::string adapter;                // --adapter: the one interface to use
    std::optional<double> seconds;      // --seconds: length of the search
    std::optional<double> waitSeconds;  // --wait: longest wait for the outcome

    // Device selection (actions): a device is a target when it matches any.
    std::vector<std::string> macs;  // normalised lower-case
    std::vector<std::string> ips;
    std::optional<std::string> filter;
    bool all = false;

    // Order of the listing (and of the targets, which set-ip numbers).
    std::string sort;  // a key of SortKeys(command); empty: the default
    bool descending = false;

    bool yes = false;       // reboot, restore: no question
    std::string name;       // rename
    bool switchOn = false;  // bridge-transparent, pxsync
    AddressRange range;     // set-ip
    bool endGiven = false;  // set-ip: --end was given
    bool gatewayGiven = false, dns1Given = false, dns2Given = false;
    std::string upgradeFile;               // upgrade: --file
    std::string upgradeType;               // upgrade: --type, a model name or type code
    ChannelsRequest channels;              // channels: the texts, read when the command runs
    BridgeRequest bridge;                  // bridge: its own options
    std::vector<ConfigureEdit> configure;  // configure: the edits, as given

    bool HasSelector() const { return all || filter.has_value() || !macs.empty() || !ips.empty(); }
};

struct ParseOutcome {
    bool ok = false;
    CliOptions options;
    std::string error;  // what is wrong, for the operator
};

ParseOutcome ParseArguments(const std::vector<std::string>& args);

std::string_view CommandName(Command command);
// General help (kNone) or the help of one command.
std::string HelpText(Command command);

// The --sort names a command takes with the store's sort key of each:
// device-list keys for search and the actions, neighbour-list keys for
// scan-neighbours.
struct SortName {
    std::string_view name;
    int key;
};
const std::vector<SortName>& DeviceSortNames();
const std::vector<SortName>& NeighbourSortNames();
std::optional<int> DeviceSortKey(std::string_view name);     // default "ip"
std::optional<int> NeighbourSortKey(std::string_view name);  // default "signal"

// A MAC address as aa:bb:cc:dd:ee:ff (upper case and '-' accepted), in the
// program's lower-case form; nothing when it is not one.
std::optional<std::string> NormaliseMac(std::string_view text);
// Four decimal numbers 0..255 joined by dots, nothing else.
bool IsDottedQuad(std::string_view text);

}  // namespace kestrix::cli
