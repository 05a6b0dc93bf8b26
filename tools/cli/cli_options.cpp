#include "tools/cli/cli_options.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <initializer_list>

namespace kestrix::cli {

namespace {

// The longest search and wait a command line may ask for: an hour.
constexpr double kMaxSeconds = 3600;

struct CommandInfo {
    Command command;
    std::string_view name;
};
constexpr std::array<CommandInfo, 13> kCommands = {{
    {Command::kAdapters, "adapters"},
    {Command::kSearch, "search"},
    {Command::kRename, "rename"},
    {Command::kSetIp, "set-ip"},
    {Command::kBridgeTransparent, "bridge-transparent"},
    {Command::kPxsync, "pxsync"},
    {Command::kReboot, "reboot"},
    {Command::kRestore, "restore"},
    {Command::kScanNeighbours, "scan-neighbours"},
    {Command::kChannels, "channels"},
    {Command::kUpgrade, "upgrade"},
    {Command::kBridge, "bridge"},
    {Command::kConfigure, "configure"},
}};

bool IsAction(Command c) {
    return c == Command::kRename || c == Command::kSetIp || c == Command::kBridgeTransparent ||
           c == Command::kPxsync || c == Command::kReboot || c == Command::kRestore ||
           c == Command::kScanNeighbours || c == Command::kUpgrade || c == Command::kBridge ||
           c == Command::kConfigure;
}

// Which commands an option belongs to.
enum class Scope {
    kAll,
    kListing,
    kNetwork,
    kSearching,
    kActions,
    kConfirm,
    kSetIp,
    kChannels,
    kUpgrade,
    kChannelsOrUpgrade,
};

bool InScope(Scope scope, Command c) {
    switch (scope) {
        case Scope::kAll:
        case Scope::kListing:
            return true;
        case Scope::kNetwork:  // channels reads tables only: no adapter, no CSV
            return c != Command::kChannels;
        case Scope::kSearching:
            return c != Command::kAdapters && c != Command::kChannels;
        case Scope::kActions:
            return IsAction(c);
        case Scope::kConfirm:
            return c == Command::kReboot || c == Command::kRestore || c == Command::kUpgrade ||
                   c == Command::kBridge;
        case Scope::kSetIp:
            return c == Command::kSetIp;
        case Scope::kChannels:
            return c == Command::kChannels;
        case Scope::kUpgrade:
            return c == Command::kUpgrade;
        case Scope::kChannelsOrUpgrade:
            return c == Command::kChannels || c == Command::kUpgrade;
    }
    return false;
}

struct OptionInfo {
    std::string_view name;
    bool takesValue;
    Scope scope;
};
constexpr std::array<OptionInfo, 20> kOptions = {{
    {"--help", false, Scope::kAll},         {"--json", false, Scope::kListing},
    {"--csv", false, Scope::kNetwork},      {"--adapter", true, Scope::kNetwork},
    {"--seconds", true, Scope::kSearching}, {"--filter", true, Scope::kSearching},
    {"--sort", true, Scope::kSearching},    {"--desc", false, Scope::kSearching},
    {"--wait", true, Scope::kActions},      {"--mac", true, Scope::kActions},
    {"--ip", true, Scope::kActions},        {"--all", false, Scope::kActions},
    {"--yes", false, Scope::kConfirm},      {"--begin", true, Scope::kSetIp},
    {"--end", true, Scope::kSetIp},         {"--mask", true, Scope::kSetIp},
    {"--gateway", true, Scope::kSetIp},     {"--dns1", true, Scope::kSetIp},
    {"--dns2", true, Scope::kSetIp},        {"-h", false, Scope::kAll},
}};
constexpr std::array<OptionInfo, 8> kChannelOptions = {{
    {"--type", true, Scope::kChannelsOrUpgrade},
    {"--file", true, Scope::kUpgrade},
    {"--band", true, Scope::kChannels},
    {"--country", true, Scope::kChannels},
    {"--network-mode", true, Scope::kChannels},
    {"--bandwidth", true, Scope::kChannels},
    {"--channel", true, Scope::kChannels},
    {"--dfs", false, Scope::kChannels},
}};

const OptionInfo* FindOption(std::string_view name) {
    for (const auto& o : kOptions) {
        if (o.name == name) return &o;
    }
    for (const auto& o : kChannelOptions) {
        if (o.name == name) return &o;
    }
    return nullptr;
}

std::optional<double> ParseSeconds(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || !std::isfinite(value) || value < 0 ||
        value > kMaxSeconds)
        return std::nullopt;
    return value;
}

std::string ConfigureHelpText(const std::string& common) {
    return "Usage: kestrix-cli configure (--mac MAC | --ip A.B.C.D) [SETTINGS] [--json]\n"
           "\n"
           "Changes one device's settings as its management dialog does: the device is\n"
           "found by a short search, its stored settings are the starting point, the\n"
           "settings given are applied in the order of the dialog's fields, every rule of\n"
           "the dialog is checked, and only the blocks that changed are sent (name,\n"
           "wireless, timed reboot, VLAN, address). A setting the device does not offer is\n"
           "refused and nothing is sent. After an address change the tool waits for the\n"
           "device to reappear at its new address.\n"
           "\n"
           "Wireless:  --ssid TEXT  --hide-ssid on|off  --country NAME|CODE  --network-mode M\n"
           "           --bandwidth B  --channel N|auto  --extension-channel below|above\n"
           "           --power N  --dfs on|off (types 15 and 18)\n"
           "           --security none|wep|wpa-psk|wpa2-psk|mixed|wpa|wpa2\n"
           "           --cipher aes|tkip|tkip+aes  --key TEXT  --key-time S\n"
           "           --wep-auth open|share  --wep-default-key 1-4\n"
           "           --wep-key1..--wep-key4 TEXT  --wep-key1-type..--wep-key4-type ascii|hex\n"
           "           --radius-ip A  --radius-port N  --radius-key TEXT  --radius-key-time S\n"
           "           --radius-cipher aes|tkip|aes+tkip\n"
           "Address:   --address A  --mask M  --gateway G  --dns1 D  --dns2 D  --name TEXT\n"
           "VLAN:      --vlan on|off  --pvid N  --manage-vlan N  --wlan N\n"
           "           --lan N (two-port types)  --lan2 N  --lan3 N  --lan4 N (four-port types)\n"
           "Reboot:    --timed-reboot off|HH:MM  --days mon,tue,...|everyday\n"
           "\n"
           "  --seconds S       length of the search that finds the device (default 3)\n"
           "  --wait S          longest wait for the device's answers\n" +
           common +
           "\n"
           "One line per command sent (done, no_answer). Exit status: 0 when every command\n"
           "was answered (or nothing changed), 1 otherwise, 2 when a setting is refused or\n"
           "fails a rule (nothing is sent then).\n";
}

std::string Hint(Command c) {
    std::string hint = "\n(see: kestrix-cli ";
    if (c != Command::kNone) hint += std::string(CommandName(c)) + " ";
    return hint + "--help)";
}

}  // namespace

const std::vector<SortName>& DeviceSortNames() {
    // The status page's sortable headings and their keys.
    static const std::vector<SortName> names = {
        {"name", 2},    {"type", 3},    {"ip", 1},
        {"mac", 0},     {"mode", 4},    {"ssid", 5},
        {"channel", 6}, {"version", 9}, {"transparent_bridge", 10},
        {"pxsync", 11}, {"uptime", 12},
    };
    return names;
}

const std::vector<SortName>& NeighbourSortNames() {
    // The bridge wizard's scan headings and their keys.
    static const std::vector<SortName> names = {
        {"ssid", 1}, {"channel", 2}, {"mac", 0}, {"security", 3}, {"signal", 4},
    };
    return names;
}

namespace {

std::optional<int> FindKey(const std::vector<SortName>& names, std::string_view name) {
    for (const auto& n : names) {
        if (n.name == name) return n.key;
    }
    return std::nullopt;
}

std::string NameList(const std::vector<SortName>& names) {
    std::string list;
    for (const auto& n : names) {
        if (!list.empty()) list += ", ";
        list += n.name;
    }
    return list;
}

}  // namespace

std::optional<int> DeviceSortKey(std::string_view name) {
    return FindKey(DeviceSortNames(), name.empty() ? "ip" : name);
}

std::optional<int> NeighbourSortKey(std::string_view name) {
    return FindKey(NeighbourSortNames(), name.empty() ? "signal" : name);
}

std::optional<std::string> NormaliseMac(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ':' && c != '-') return std::nullopt;
            out += ':';
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool IsDottedQuad(std::string_view text) {
    int parts = 0;
    size_t i = 0;
    while (true) {
        size_t digits = 0;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        ++parts;
        if (i == text.size()) return parts == 4;
        if (text[i] != '.' || parts == 4) return false;
        ++i;
    }
}

std::string_view CommandName(Command command) {
    for (const auto& c : kCommands) {
        if (c.command == command) return c.name;
    }
    return "";
}

ParseOutcome ParseArguments(const std::vector<std::string>& args) {
    ParseOutcome out;
    CliOptions& o = out.options;
    auto fail = [&](std::string message) {
        out.ok = false;
        out.error = std::move(message) + Hint(o.command);
        return out;
    };

    size_t i = 0;
    if (i < args.size() && args[i] != "--help" && args[i] != "-h" && args[i] != "help") {
        bool known = false;
        for (const auto& c : kCommands) {
            if (c.name == args[i]) {
                o.command = c.command;
                known = true;
            }
        }
        if (!known) {
            if (!args[i].empty() && args[i][0] == '-') return fail("Give a command first.");
            return fail("Unknown command '" + args[i] + "'.");
        }
        ++i;
    } else if (i < args.size()) {
        // "kestrix-cli help [COMMAND]" and "kestrix-cli --help".
        o.help = true;
        if (args[i] == "help" && i + 1 < args.size()) {
            for (const auto& c : kCommands) {
                if (c.name == args[i + 1]) o.command = c.command;
            }
        }
        out.ok = true;
        return out;
    }
    if (o.command == Command::kNone) {
        o.help = true;
        out.ok = true;
        return out;
    }

    std::vector<std::string> positional;
    bool jsonGiven = false;
    bool csvGiven = false;
    for (; i < args.size(); ++i) {
        std::string word = args[i];
        std::optional<std::string> inlineValue;
        if (word.rfind("--", 0) == 0) {
            if (const size_t eq = word.find('='); eq != std::string::npos) {
                inlineValue = word.substr(eq + 1);
                word.resize(eq);
            }
        }
        if (word.empty() || word[0] != '-' || word == "-") {
            positional.push_back(args[i]);
            continue;
        }
        if (o.command == Command::kBridge && IsBridgeOption(word)) {
            std::string value;
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(word + " needs a value.");
            }
            if (auto error = SetBridgeOption(o.bridge, word, value)) return fail(*error);
            continue;
        }
        // configure has options of its own, some named like those of
        // set-ip and channels; every one takes a value.
        if (o.command == Command::kConfigure && IsConfigureOption(word)) {
            if (inlineValue) {
                o.configure.push_back({word, *inlineValue});
            } else if (i + 1 < args.size()) {
                o.configure.push_back({word, args[++i]});
            } else {
                return fail(word + " needs a value.");
            }
            continue;
        }
        const OptionInfo* option = FindOption(word);
        if (option == nullptr) return fail("Unknown option " + word + ".");
        if (!InScope(option->scope, o.command))
            return fail(word + " does not apply to " + std::string(CommandName(o.command)) + ".");
        std::string value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(word + " needs a value.");
            }
        } else if (inlineValue) {
            return fail(word + " takes no value.");
        }

        if (word == "--help" || word == "-h") {
            o.help = true;
        } else if (word == "--json") {
            jsonGiven = true;
            o.format = Format::kJson;
        } else if (word == "--csv") {
            csvGiven = true;
            o.format = Format::kCsv;
        } else if (word == "--adapter") {
            if (value.empty()) return fail("--adapter needs an interface name.");
            o.adapter = value;
        } else if (word == "--seconds" || word == "--wait") {
            auto seconds = ParseSeconds(value);
            if (!seconds) return fail(word + " takes a number of seconds from 0 to 3600.");
            (word == "--seconds" ? o.seconds : o.waitSeconds) = seconds;
        } else if (word == "--filter") {
            o.filter = value;
        } else if (word == "--sort") {
            o.sort = value;
        } else if (word == "--desc") {
            o.descending = true;
        } else if (word == "--mac") {
            auto mac = NormaliseMac(value);
            if (!mac) return fail("'" + value + "' is not a MAC address (aa:bb:cc:dd:ee:ff).");
            o.macs.push_back(*mac);
        } else if (word == "--ip") {
            if (!IsDottedQuad(value)) return fail("'" + value + "' is not an IPv4 address.");
            o.ips.push_back(value);
        } else if (word == "--all") {
            o.all = true;
        } else if (word == "--yes") {
            o.yes = true;
        } else if (word == "--begin") {
            o.range.begin = value;
        } else if (word == "--end") {
            o.range.end = value;
            o.endGiven = true;
        } else if (word == "--mask") {
            o.range.mask = value;
        } else if (word == "--gateway") {
            o.range.gateway = value;
            o.gatewayGiven = true;
        } else if (word == "--dns1") {
            o.range.dns1 = value;
            o.dns1Given = true;
        } else if (word == "--dns2") {
            o.range.dns2 = value;
            o.dns2Given = true;
        } else if (word == "--type") {
            o.channels.type = value;
            o.upgradeType = value;
        } else if (word == "--file") {
            o.upgradeFile = value;
        } else if (word == "--band") {
            o.channels.band = value;
        } else if (word == "--country") {
            o.channels.country = value;
        } else if (word == "--network-mode") {
            o.channels.networkMode = value;
        } else if (word == "--bandwidth") {
            o.channels.bandwidth = value;
        } else if (word == "--channel") {
            o.channels.channel = value;
        } else if (word == "--dfs") {
            o.channels.dfs = true;
        }
    }
    if (o.help) {
        out.ok = true;
        return out;
    }
    if (jsonGiven && csvGiven) return fail("Choose one of --json and --csv.");

    if (o.command == Command::kScanNeighbours) {
        if (!NeighbourSortKey(o.sort))
            return fail("--sort takes one of: " + NameList(NeighbourSortNames()) + ".");
    } else if (o.command != Command::kAdapters && !DeviceSortKey(o.sort)) {
        return fail("--sort takes one of: " + NameList(DeviceSortNames()) + ".");
    }

    size_t wantPositional = 0;
    switch (o.command) {
        case Command::kRename:
            if (positional.size() != 1) return fail("rename takes the new name.");
            o.name = positional[0];
            wantPositional = 1;
            break;
        case Command::kBridgeTransparent:
        case Command::kPxsync:
            if (positional.size() != 1 || (positional[0] != "on" && positional[0] != "off"))
                return fail(std::string(CommandName(o.command)) + " takes on or off.");
            o.switchOn = positional[0] == "on";
            wantPositional = 1;
            break;
        case Command::kChannels:
            if (o.channels.type.empty()) return fail("channels needs --type.");
            if (o.channels.band.empty()) return fail("channels needs --band.");
            if (o.channels.country.empty()) return fail("channels needs --country.");
            break;
        case Command::kUpgrade:
            // An empty --file is the dialog's "Please select the upgrade
            // file!", told by the command with its exit status.
            break;
        case Command::kBridge:
            if (o.bridge.ap.empty()) return fail("bridge needs --ap.");
            if (o.macs.size() != 1 || !o.ips.empty() || o.filter || o.all)
                return fail("bridge works on one device, chosen with one --mac.");
            break;
        case Command::kConfigure:
            if (o.all || o.filter || o.macs.size() + o.ips.size() != 1)
                return fail("configure takes one device: --mac MAC or --ip A.B.C.D.");
            break;
        case Command::kSetIp:
            if (o.range.begin.empty()) return fail("set-ip needs --begin.");
            if (o.range.mask.empty()) return fail("set-ip needs --mask.");
            break;
        default:
            break;
    }
    if (positional.size() > wantPositional)
        return fail("Unexpected argument '" + positional[wantPositional] + "'.");
    if (IsAction(o.command) && !o.HasSelector())
        return fail("Choose the devices with --mac, --ip, --filter or --all.");
    out.ok = true;
    return out;
}

std::string HelpText(Command command) {
    static const std::string common =
        "  --adapter NAME    use only this network interface (see: kestrix-cli adapters)\n"
        "  --json, --csv     print JSON (an array of objects) or CSV (with a header row)\n"
        "  --help            this text\n";
    static const std::string selection =
        "Devices (a device is chosen when it matches any of these; they are looked up by a\n"
        "short search first):\n"
        "  --mac MAC         the device with this MAC address (repeatable)\n"
        "  --ip A.B.C.D      the device with this address (repeatable)\n"
        "  --filter TEXT     every device the status page's filter box would show for TEXT\n"
        "  --all             every device found\n"
        "  --seconds S       length of that search (default 3)\n"
        "  --wait S          longest wait for the devices' answers (default: the retries\n"
        "                    of Setting.ini and two more searches)\n"
        "  --sort COLUMN, --desc   order of the devices (default ip, ascending)\n";
    static const std::string outcome =
        "One line per device tells whether it did what was asked. Exit status: 0 when every\n"
        "chosen device did, 1 otherwise, 2 when the command line or an entered value is\n"
        "invalid (nothing is sent then).\n";
    switch (command) {
        case Command::kNone:
            return "kestrix-cli - find and manage the devices on the local network from a "
                   "terminal\n"
                   "\n"
                   "Usage: kestrix-cli COMMAND [OPTIONS]\n"
                   "\n"
                   "Commands:\n"
                   "  adapters            the network adapters and addresses the tool uses\n"
                   "  search              search the network and list every device\n"
                   "  rename NAME         give devices a new name\n"
                   "  set-ip              give devices consecutive addresses from a range\n"
                   "  bridge-transparent on|off   switch transparent bridging\n"
                   "  pxsync on|off       switch PX-SYNC\n"
                   "  reboot              restart devices\n"
                   "  restore             reset devices to their factory settings\n"
                   "  upgrade             upgrade the firmware of up to 10 devices of one type\n"
                   "  scan-neighbours     let one device scan for access points near it\n"
                   "  channels            the radio choices a device type has in a country "
                   "(sends nothing)\n"
                   "  bridge              make a device a station of an access point it hears\n"
                   "  configure           change one device's wireless, address, VLAN and "
                   "timed reboot\n"
                   "\n"
                   "kestrix-cli COMMAND --help tells more. Only one copy of the tool (this one or\n"
                   "the desktop application) can run at a time: both use the same ports.\n"
                   "Exit status: 0 success, 1 a device did not do what was asked (or the tool\n"
                   "could not run), 2 invalid input (nothing was sent).\n";
        case Command::kAdapters:
            return "Usage: kestrix-cli adapters [--adapter NAME] [--json|--csv]\n"
                   "\n"
                   "Lists the network adapters the tool searches and sends through, with their\n"
                   "MAC and IPv4 addresses. Adapters without an address are not listed; the\n"
                   "adapters= line of Setting.ini (or --adapter) limits the list. Sends nothing.\n"
                   "\n" +
                   common;
        case Command::kSearch:
            return "Usage: kestrix-cli search [--seconds S] [--filter TEXT] [--sort COLUMN] "
                   "[--desc]\n"
                   "                          [--adapter NAME] [--json|--csv]\n"
                   "\n"
                   "Searches the network as the status page does - the full search, then a new\n"
                   "search every 3 seconds until S seconds (default 9) have passed - and lists\n"
                   "every device that gave its information, then the devices that only announced\n"
                   "themselves (announced_only).\n"
                   "\n"
                   "  --seconds S       search length in seconds (default 9)\n"
                   "  --filter TEXT     only the devices the status page's filter would show\n"
                   "  --sort COLUMN     name, type, ip, mac, mode, ssid, channel, version,\n"
                   "                    transparent_bridge, pxsync or uptime (default ip)\n"
                   "  --desc            descending order\n" +
                   common;
        case Command::kRename:
            return "Usage: kestrix-cli rename NAME (--mac MAC | --ip A.B.C.D | --filter TEXT | "
                   "--all)...\n"
                   "\n"
                   "Gives the chosen devices the name NAME: at most 32 bytes; Chinese characters\n"
                   "and ASCII characters, and on devices of types 4, 17 and 261 only letters,\n"
                   "digits, Chinese characters and ! # $ % & ( ) * + - . / < = > ? @ ^ _ ~.\n"
                   "A device is done when a later search reports the new name.\n"
                   "\n" +
                   selection + common + "\n" + outcome;
        case Command::kSetIp:
            return "Usage: kestrix-cli set-ip --begin A [--end B] --mask M [--gateway G] [--dns1 "
                   "D]\n"
                   "                          [--dns2 D] (--mac MAC | --ip A.B.C.D | --filter TEXT "
                   "| --all)...\n"
                   "\n"
                   "Gives the chosen devices consecutive addresses, in the order of the list\n"
                   "(--sort), as the batch address dialog does: one device gets the begin "
                   "address;\n"
                   "several devices get the addresses from begin to end, skipping those ending in\n"
                   ".0 or .255; when the range runs out, the remaining devices get nothing.\n"
                   "Gateway and DNS servers not given are taken from the first device, as the\n"
                   "dialog fills them in; give 0.0.0.0 for none. A device is done when a later\n"
                   "search finds it with its new settings.\n"
                   "\n" +
                   selection + common + "\n" + outcome;
        case Command::kBridgeTransparent:
        case Command::kPxsync: {
            const std::string what =
                command == Command::kPxsync ? "PX-SYNC" : "transparent bridging";
            const std::string word(CommandName(command));
            return "Usage: kestrix-cli " + word +
                   " on|off (--mac MAC | --ip A.B.C.D | --filter TEXT | --all)...\n"
                   "\n"
                   "Switches " +
                   what +
                   " on or off on the chosen devices. Devices on which the\n"
                   "status page shows N/A for it are skipped and reported as skipped. A device\n"
                   "is done when a later search reports the new state.\n"
                   "\n" +
                   selection + common + "\n" + outcome;
        }
        case Command::kReboot:
        case Command::kRestore: {
            const bool reboot = command == Command::kReboot;
            return std::string("Usage: kestrix-cli ") + (reboot ? "reboot" : "restore") +
                   " [--yes] (--mac MAC | --ip A.B.C.D | --filter TEXT | --all)...\n"
                   "\n" +
                   (reboot ? "Restarts the chosen devices"
                           : "Resets the chosen devices to their factory settings") +
                   ", access points with bridged stations\n"
                   "first. Asks for confirmation on the terminal unless --yes is given. A device "
                   "is\n"
                   "done when it accepts the command (status " +
                   (reboot ? "\"Restarting\"" : "\"Reseting\"") +
                   ").\n"
                   "\n"
                   "  --yes             do not ask\n" +
                   selection + common + "\n" + outcome;
        }
        case Command::kUpgrade:
            return "Usage: kestrix-cli upgrade --file PATH [--type MODEL|CODE] [--yes]\n"
                   "                           (--mac MAC | --ip A.B.C.D | --filter TEXT | "
                   "--all)...\n"
                   "\n"
                   "Upgrades the firmware of at most 10 chosen devices of one type from a .bin\n"
                   "file that the FileServer beside the program serves while the upgrade runs.\n"
                   "Devices of another type are skipped. A device is upgraded when it reports\n"
                   "success and a later search finds it again; the command ends when every\n"
                   "device is final, at the latest after the upgrade's phases.\n"
                   "\n"
                   "  --file PATH       the firmware file (ending in .bin or .BIN)\n"
                   "  --type MODEL|CODE the device type to upgrade (default: the first device's)\n"
                   "  --yes             do not ask\n"
                   "JSON and CSV add version_before and version_after; results are upgraded,\n"
                   "upgrade_failed, no_answer, skipped and the other results of the actions.\n" +
                   selection + common + "\n" + outcome;
        case Command::kScanNeighbours:
            return "Usage: kestrix-cli scan-neighbours (--mac MAC | --ip A.B.C.D | --filter TEXT) "
                   "[--sort COLUMN]\n"
                   "                                   [--desc] [--wait S] [--json|--csv]\n"
                   "\n"
                   "Lets one device scan its radio neighbourhood and lists the access points it\n"
                   "hears, strongest first. The scan ends when the device has sent its last\n"
                   "report, or after --wait seconds (default 30).\n"
                   "\n"
                   "  --sort COLUMN     ssid, channel, mac, security or signal (default signal,\n"
                   "                    strongest first; a named column sorts ascending)\n"
                   "  --desc            descending order\n" +
                   selection + common + "\n" + outcome;
        case Command::kBridge:
            return BridgeHelpText();
        case Command::kConfigure:
            return ConfigureHelpText(common);
        case Command::kChannels:
            return "Usage: kestrix-cli channels --type CODE --band 2.4|5 --country NAME|CODE\n"
                   "                           [--network-mode M] [--bandwidth B] [--channel N] "
                   "[--dfs] [--json]\n"
                   "\n"
                   "Prints the network modes, bandwidths, channels and extension channels the\n"
                   "wireless settings offer a device of type CODE on its band in a country, each\n"
                   "list built from the choices above it, with the entry that would be selected\n"
                   "(in brackets). What is not given is the list's own default choice. Sends\n"
                   "nothing and can run beside the desktop application.\n"
                   "\n"
                   "  --type CODE       device type code (1-13, 15-18, 257-271)\n"
                   "  --band 2.4|5      the device's radio band\n"
                   "  --country C       a name of the country list (\"China\", \"United States\")\n"
                   "                    or its code (\"CN\")\n"
                   "  --network-mode M  code or text (\"11b/g/n\", \"11ac\")\n"
                   "  --bandwidth B     code or text (\"20MHz\", \"Auto\")\n"
                   "  --channel N       channel number or Auto (also prints the extension list)\n"
                   "  --dfs             DFS switched on (types 15 and 18)\n"
                   "  --json            one object: network_modes, bandwidths, channels,\n"
                   "                    extension_channels, each {\"entries\": [{\"code\", "
                   "\"text\"}],\n"
                   "                    \"selected\": INDEX}\n"
                   "  --help            this text\n"
                   "\n"
                   "Exit status: 0, or 2 for an unknown type, band, country, mode or bandwidth.\n";
    }
    return {};
}

}  // namespace kestrix::cli
