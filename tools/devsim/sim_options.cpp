#include "tools/devsim/sim_options.h"

#include <fstream>
#include <sstream>

#include "tools/devsim/config_text.h"

namespace kestrix::devsim {

const char* HelpText() {
    return R"(kestrix-devsim - a fleet of simulated outdoor wireless devices in one process

Usage:
  kestrix-devsim [OPTIONS]                 run the fleet until SIGTERM/SIGINT
  kestrix-devsim --ctl SOCKET COMMAND...   send one command to a running fleet
  kestrix-devsim --list-addresses [FLEET]  print every device address (ADDR/PREFIX)
  kestrix-devsim --check [FLEET]           build the fleet, print a summary, exit

Only for a lab: it answers broadcasts and multicast on every interface it
joins. Start it with scripts/lab, which runs it in the lab's fleet namespace.

Fleet:
  --devices N           number of devices (default 10, at most 100000)
  --seed S              seed of everything generated (default 1)
  --first-ip A.B.C.D    first device address (default 198.18.0.2); the next
                        ones count upward, skipping .0 and .255
  --netmask M           device netmask (default 255.254.0.0)
  --gateway G           device gateway (default 198.18.0.1)
  --fleet FILE          read a fleet file (format below); flags override it
  --set "SEL KEY=VALUE ..."   per-device settings (repeatable; keys below)

Timing:
  --heartbeat DUR       heartbeat interval once acknowledged (default 10s)
  --reboot-time DUR     silence after Reboot, Restore, SetVlan (default 45s)
  --address-wait DUR    how long a SetVlan announcing a following address
                        waits for that SetAddress (default 5s)
  --upgrade-time DUR    from UpgradeStart to the upgrade's result (default 30s)
  --upgrade-reboot-time DUR   silence after a successful upgrade (default 60s)
  --fetch-timeout DUR   a firmware fetch that takes longer fails (default 100s)
  DUR is a number with ms, s or m (plain numbers are seconds).

Faults:
  --loss P              lose each datagram, both directions, with chance P
  --loss-rx P, --loss-tx P   the same for one direction (P: 0.3 or 30%)
  --delay DUR           send every reply and heartbeat DUR late
  --jitter DUR          plus a uniform random 0..DUR
  --duplicate P         send each datagram twice with chance P
  --mute-info SEL       these devices announce but never answer DeviceInfo
  --bridge-fail SEL     these devices answer SetBridge with result 1, unchanged
  --claim I:J           device I answers from, and reports, device J's address
  --upgrade-fail SEL    these devices fetch the firmware, then report that the
                        upgrade failed and keep their version

Network and observation:
  --interface NAME      join the command group on NAME (repeatable; default:
                        every interface with IPv4 except loopback)
  --control PATH        control socket (a Unix stream socket, commands below)
  --dump PATH           JSON state dump file, written on SIGUSR1, on the
                        control command "dump PATH" and at exit
  --trace FILE          one line per datagram received or sent ("-": stderr)
  -v, --verbose         same as --trace -
  --pid-file PATH       write the process id there
  --exit-with PID       exit (writing the dump) when process PID ends
  --tx-rate N           send at most N datagrams per second (default no limit)
  --tftp-port N         the TFTP port firmware is fetched from (default 69)
  --tftp-blksize N      the TFTP block size asked for, 8..65464 (default 512)
  --fetch-limit N       firmware fetches under way at once (default 16)
  -h, --help            this text

Device selectors (SEL): all, none, an index (0-based), a range 5-9, a MAC
02:4b:58:xx:xx:xx, or a comma-separated list of these.

Device keys (--set, fleet file "device" lines):
  mac= ip= type= name= version= mode= ssid= channel= secure= psk=
  transparent=0|1 pxsync=0|1 btn=0|1 uptime=SECONDS neighbours=N
  bridge-to=INDEX   (a station bridged to that device)
  mute-info=0|1  bridge-fail=0|1|CODE  claim=INDEX|none
  upgrade-fail=0|1  upgrade-version=TEXT (the version after an upgrade;
                    default from the file name: its "V1.2.3", else its stem)
Values with blanks go in double quotes: name="Roof east".

Fleet file: one setting per line, '#' starts a comment.
  KEY VALUE              any long option above without its dashes, e.g.
                         devices 200 / seed 7 / heartbeat 2s / loss 5%
  device SEL KEY=VALUE ...   per-device settings, applied in file order
Example:
  devices 40
  seed 7
  device 0 name="北门基站" type=268
  device 5-7 mute-info=1
  device 9 bridge-to=0

Control commands (one line per connection; the answer is sent back and the
connection closed):
  ping                   answers "ok"
  dump                   answers the JSON state of every device
  dump PATH              writes it to PATH, answers "ok PATH"
  stats                  answers counters as JSON
  fault KEY VALUE        loss, loss-rx, loss-tx, duplicate, delay, jitter,
                         heartbeat, reboot-time, address-wait, upgrade-time,
                         upgrade-reboot-time, fetch-timeout, tftp-port,
                         tftp-blksize
  set SEL KEY=VALUE ...  device faults: mute-info, bridge-fail, claim,
                         upgrade-fail, upgrade-version
  quit                   exit (writing the dump)

Trace lines: "<ms> rx port=P from=A:P size=N type=T mac=M dev=I what=W
[reason=R] answers=K" and "<ms> tx|lost from=A:P to=A:P size=N type=T
mac=M dev=I [dup=1]".

Firmware upgrade: a device answers UpgradeRequest, fetches the named file
over TFTP from the request's sender, and reports UpgradeStatus 0 when it got
exactly the announced size, else 1. After UpgradeStart it reports 2 and
reboots into the new version, or 1 when configured to fail. Each fetch is
logged on standard error and in the trace as
  fetch dev=I mac=M file="NAME" from=A:P bytes=N expected=N result=R
(R: ok, size-mismatch, empty, timeout, failed: REASON) and kept in the dump.
)";
}

namespace {

bool TakeIp(const std::string& key, const std::string& value, Ipv4Bytes& out, std::string& err) {
    auto ip = ParseIpStrict(value);
    if (!ip) {
        err = key + " takes an IPv4 address, not '" + value + "'";
        return false;
    }
    out = *ip;
    return true;
}

// One setting by its long-option name (without dashes). Used for flags and
// for the global lines of the fleet file.
bool ApplyOption(const std::string& key, const std::string& value, SimConfig& c, std::string& err) {
    auto integer = [&](long long lo, long long hi, auto& target) {
        auto v = ParseInteger(value, lo, hi);
        if (!v) {
            err = key + " takes a whole number " + std::to_string(lo) + ".." + std::to_string(hi) +
                  ", not '" + value + "'";
            return false;
        }
        target = static_cast<std::remove_reference_t<decltype(target)>>(*v);
        return true;
    };
    if (key == "devices") return integer(0, kMaxDevices, c.fleet.devices);
    if (key == "seed") {
        auto v = ParseInteger(value, 0, 0x7FFFFFFFFFFFFFFFll);
        if (!v) {
            err = "seed takes a whole number, not '" + value + "'";
            return false;
        }
        c.fleet.seed = static_cast<uint64_t>(*v);
        return true;
    }
    if (key == "first-ip") return TakeIp(key, value, c.fleet.first_ip, err);
    if (key == "netmask") return TakeIp(key, value, c.fleet.netmask, err);
    if (key == "gateway") return TakeIp(key, value, c.fleet.gateway, err);
    if (key == "set") {
        c.fleet.settings.push_back(value);
        return true;
    }
    if (IsFleetSettingKey(key)) return ApplyFleetSetting(key, value, c.timing, c.faults, err);
    if (key == "mute-info") {
        c.fleet.settings.push_back(value + " mute-info=1");
        return true;
    }
    if (key == "bridge-fail") {
        c.fleet.settings.push_back(value + " bridge-fail=1");
        return true;
    }
    if (key == "upgrade-fail") {
        c.fleet.settings.push_back(value + " upgrade-fail=1");
        return true;
    }
    if (key == "fetch-limit") return integer(1, 1024, c.fetch_limit);
    if (key == "claim") {
        size_t colon = value.find(':');
        if (colon == std::string::npos) {
            err = "claim takes I:J (device I claims device J's address), not '" + value + "'";
            return false;
        }
        c.fleet.settings.push_back(value.substr(0, colon) + " claim=" + value.substr(colon + 1));
        return true;
    }
    if (key == "interface") {
        c.interfaces.push_back(value);
        return true;
    }
    if (key == "control") {
        c.control_path = value;
        return true;
    }
    if (key == "dump") {
        c.dump_path = value;
        return true;
    }
    if (key == "trace") {
        c.trace_path = value;
        return true;
    }
    if (key == "pid-file") {
        c.pid_file = value;
        return true;
    }
    if (key == "exit-with") return integer(1, 0x7FFFFFFF, c.exit_with_pid);
    if (key == "tx-rate") return integer(0, 100000000, c.tx_rate);
    err = "unknown option '" + key + "' (see --help)";
    return false;
}

bool TakesValue(const std::string& key) {
    return key != "help" && key != "verbose" && key != "list-addresses" && key != "check";
}

}  // namespace

bool ParseFleetText(const std::string& text, const std::string& name, SimConfig& config,
                    std::string& err) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        auto where = [&] { return name + ":" + std::to_string(lineNo) + ": "; };
        // '#' starts a comment unless it sits inside quotes.
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"' && (i == 0 || line[i - 1] != '\\')) quoted = !quoted;
            if (line[i] == '#' && !quoted) {
                line.erase(i);
                break;
            }
        }
        std::vector<std::string> words;
        if (!SplitWords(line, words, err)) {
            err = where() + err;
            return false;
        }
        if (words.empty()) continue;
        if (words[0] == "device") {
            size_t at = line.find("device");
            config.fleet.settings.push_back(line.substr(at + 6));
            if (words.size() < 3) {
                err = where() + "a device line is: device SELECTOR key=value ...";
                return false;
            }
            continue;
        }
        if (words.size() != 2 || words[0] == "fleet" || !TakesValue(words[0])) {
            err = where() + "expected 'KEY VALUE' or 'device SELECTOR key=value ...'";
            return false;
        }
        if (!ApplyOption(words[0], words[1], config, err)) {
            err = where() + err;
            return false;
        }
    }
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, SimConfig& config, std::string& err) {
    // The fleet file first, so that flags override what it says.
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--fleet") continue;
        if (i + 1 >= args.size()) {
            err = "--fleet needs a file name";
            return false;
        }
        std::ifstream file(args[i + 1], std::ios::binary);
        if (!file) {
            err = "cannot read the fleet file '" + args[i + 1] + "'";
            return false;
        }
        std::ostringstream text;
        text << file.rdbuf();
        if (!ParseFleetText(text.str(), args[i + 1], config, err)) return false;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            config.mode = Mode::Help;
            return true;
        }
        if (a == "-v" || a == "--verbose") {
            config.trace_path = "-";
            continue;
        }
        if (a == "--list-addresses") {
            config.mode = Mode::ListAddresses;
            continue;
        }
        if (a == "--check") {
            config.mode = Mode::Check;
            continue;
        }
        if (a == "--ctl") {
            if (i + 2 >= args.size()) {
                err = "--ctl needs a socket path and a command";
                return false;
            }
            config.mode = Mode::Control;
            config.ctl_socket = args[i + 1];
            for (size_t k = i + 2; k < args.size(); ++k) {
                if (k > i + 2) config.ctl_command += ' ';
                config.ctl_command += args[k];
            }
            return true;
        }
        if (a.rfind("--", 0) != 0) {
            err = "unexpected argument '" + a + "' (see --help)";
            return false;
        }
        std::string key = a.substr(2);
        std::string value;
        size_t eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key.erase(eq);
        } else {
            if (i + 1 >= args.size()) {
                err = a + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (key == "fleet") continue;  // read above
        if (!ApplyOption(key, value, config, err)) return false;
    }
    return true;
}

}  // namespace kestrix::devsim
