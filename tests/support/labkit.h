#pragma once
// kx_labkit: what an end-to-end test needs to work against the simulated
// fleet in the network lab (scripts/lab) in a few lines.
//
// A typical test, run by CTest inside scripts/private-net:
//
//     labkit::Lab lab;  // finds scripts/lab, the simulator and the state
//     std::string err;
//     ASSERT_TRUE(lab.Up({.devices = 50, .trace = true,
//                         .sim_args = {"--heartbeat", "500ms"}}, &err)) << err;
//     labkit::Peer peer;  // the tool's four ports, in the host namespace
//     peer.Search();
//     auto announces = peer.Collect(kPortAnnounce, 50, 5s);
//     auto dump = lab.Dump(&err);  // every device's state, parsed
//     ...
//     lab.Down();
//
// Register such a test with the CTest property RESOURCE_LOCK "kestrix_ports":
// all tests of one ctest run share one private namespace and so one lab.
//
// Two ways to put the code under test into the lab's host namespace:
// - Per socket: anything created inside a ScopedNetns(kHostNamespace) belongs
//   to the host namespace for good (Peer does this itself).
// - Whole process: EnterNetns(kHostNamespace) on the main thread before any
//   other thread starts (e.g. before DeviceLink::Start); every thread
//   started afterwards lives there too. Lab keeps working from inside it,
//   since it remembers the state directory and exports KESTRIX_LAB_DIR.
//   Alternatively run the test as "scripts/lab run --devices N -- TEST".
//
// The simulator's state dump (control command "dump", SIGUSR1, and at exit)
// is one JSON object:
//   format "kestrix-devsim-dump/1", time_ms, timing {heartbeat_ms, reboot_ms,
//   address_wait_ms}, faults {loss_rx, loss_tx, duplicate, delay_ms,
//   jitter_ms}, stats {devices, rebooting, managed, rx, rx_ignored, rx_lost,
//   searches, commands, tx, tx_lost, tx_duplicated}, devices [ {index, mac,
//   ip (the address it answers from), own_ip, type, state "running" |
//   "rebooting", up_time, manager ("" or the address heartbeats go to),
//   pending_ip, awaiting_address, work_mode, mode_btn_status, name, version,
//   ssid, channel, bandwidth, secure_mode, tx_power, bridge_mac, bridge_ssid,
//   bridge_channel, bridge_transparent, pxsync, vlan_en, vlan_id,
//   vlan_id_wlan, vlan_id_lan, vlan_pvid, wl_dfs, restart_en, restart_type,
//   restart_time, neighbours, announces, heartbeats, commands, last_command,
//   reboots, restores, mute_info, bridge_fail, bridge_result, claim, info
//   (hex of the 756 bytes it would answer DeviceInfo with now)} ].
// Texts that are not valid UTF-8 show their odd bytes as \u00XX; `info`
// always has the exact bytes.
//
// The trace (lab.Up with trace = true, file lab.TracePath()) has one line per
// datagram: "<ms> rx port=P from=A:P size=N type=T mac=M dev=I what=W
// [reason=R] answers=K" for every datagram the simulator received (what:
// search, handled, ignored, lost), "<ms> tx|lost|error from=A:P to=A:P
// size=N type=T mac=M dev=I [dup=1]" for every datagram it sent or lost, and
// "<ms> note TEXT". "Nothing reached the fleet" is: no rx line.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/wire/wire_format.h"
#include "tests/support/json_value.h"

namespace kestrix::labkit {

inline constexpr const char* kHostNamespace = "kxlab-host";
inline constexpr const char* kFleetNamespace = "kxlab-fleet";
inline constexpr const char* kHostAddress = "198.18.0.1";
inline constexpr const char* kLabBroadcast = "198.19.255.255";
inline constexpr const char* kFirstDeviceAddress = "198.18.0.2";

// ---------------------------------------------------------------------------
// The simulator's state dump

struct SimDevice {
    int index = -1;
    std::string mac, ip, own_ip, state, manager, pending_ip;
    uint16_t type = 0;
    uint32_t up_time = 0;
    std::string name, version, ssid, bridge_mac, bridge_ssid;
    int work_mode = 0, channel = 0, secure_mode = 0, bridge_transparent = 0, pxsync = 0;
    uint32_t announces = 0, heartbeats = 0, commands = 0, reboots = 0, restores = 0;
    int last_command = 0;
    bool mute_info = false, bridge_fail = false;
    int claim = -1;
    DeviceInfoBlock info;  // what it answers DeviceInfo with (uptime as of the dump)
    JsonValue raw;         // every field of its dump entry
};

struct SimDump {
    int64_t time_ms = 0;
    std::vector<SimDevice> devices;
    JsonValue timing, faults, stats;
    const SimDevice* ByMac(std::string_view mac) const;
    const SimDevice* ByIp(std::string_view ip) const;
};

std::optional<SimDump> ParseDump(std::string_view json, std::string* err = nullptr);
std::optional<SimDump> ReadDumpFile(const std::string& path, std::string* err = nullptr);

// ---------------------------------------------------------------------------
// The simulator's trace

struct TraceLine {
    int64_t ms = 0;
    std::string kind;  // rx, tx, lost, error, note
    std::map<std::string, std::string> fields;
    std::string text;  // the whole line
    std::string Get(const std::string& key) const;
    long long GetInt(const std::string& key, long long fallback = -1) const;
};
std::vector<TraceLine> ReadTrace(const std::string& path);

// ---------------------------------------------------------------------------
// The lab

struct LabOptions {
    int devices = 10;
    bool trace = false;                      // the simulator writes TracePath()
    bool fresh = true;                       // restart it even when its arguments are unchanged
    std::vector<std::string> sim_args = {};  // extra kestrix-devsim arguments
};

class Lab {
public:
    // The lab script and the simulator come from the build (compiled in) or
    // from KESTRIX_LAB_SCRIPT and KESTRIX_DEVSIM. The state directory is
    // settled here, in the caller's namespace, and exported as
    // KESTRIX_LAB_DIR for everything started later.
    Lab();

    // scripts/lab up: builds the lab if needed and (re)starts the simulator
    // with these options; it ends when this process ends.
    bool Up(const LabOptions& options, std::string* err = nullptr);
    // scripts/lab down: stops the simulator (which writes DumpPath()) and
    // removes the namespaces.
    bool Down(std::string* err = nullptr);

    const std::string& Dir() const { return dir_; }
    std::string ControlPath() const { return dir_ + "/control.sock"; }
    std::string DumpPath() const { return dir_ + "/dump.json"; }
    std::string TracePath() const { return dir_ + "/trace.log"; }
    std::string LogPath() const { return dir_ + "/devsim.log"; }
    const std::string& Script() const { return script_; }
    const std::string& Devsim() const { return devsim_; }

    // One control command; the raw answer ("ok", JSON, "error: ...").
    std::optional<std::string> Control(const std::string& command,
                                       std::string* err = nullptr) const;
    // "fault KEY VALUE" (loss, loss-rx, loss-tx, duplicate, delay, jitter,
    // heartbeat, reboot-time, address-wait).
    bool Fault(const std::string& key, const std::string& value, std::string* err = nullptr) const;
    // "set SELECTOR KEY=VALUE..." (mute-info, bridge-fail, claim).
    bool SetDevices(const std::string& selector, const std::string& keyValues,
                    std::string* err = nullptr) const;
    // The state of every device right now.
    std::optional<SimDump> Dump(std::string* err = nullptr) const;
    std::vector<TraceLine> Trace() const { return ReadTrace(TracePath()); }
    // The running simulator's process id, 0 when none runs.
    int SimulatorPid() const;

private:
    std::string script_;
    std::string devsim_;
    std::string dir_;
};

// User plus system CPU time of a whole process (every thread), in seconds,
// from /proc; 0 when it cannot be read. Benchmarks report the simulator's.
double ProcessCpuSeconds(int pid);

// Runs argv (no shell), returns its exit status (-1 if it could not start)
// and, when output is given, what it wrote to stdout and stderr.
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr);

// The whole file (empty when it cannot be read).
std::string ReadAll(const std::string& path);

// ---------------------------------------------------------------------------
// kestrix-cli as a separate process

struct CliRun {
    int exit = -1;  // -1: it did not start or did not exit
    std::string out, err;
};
// Exit status, standard output and standard error, for a failure message.
std::string Describe(const CliRun& run);

struct CliOptions {
    std::string binary = {};  // the program
    // Its XDG_RUNTIME_DIR (the single-instance lock lives there) and the
    // folder its output is written to.
    std::string dir = {};
    int searchIntervalMs = 300;         // KESTRIX_CLI_SEARCH_INTERVAL_MS, its 3-second step
    std::vector<std::string> env = {};  // more KEY=VALUE entries
    std::string input = {};             // standard input
    // Called once the standard error shows `promptText`; `input` is written
    // only after it returns (nothing is written before then).
    std::string promptText = {};
    std::function<void()> onPrompt = {};
    // Runs while the program does (before the prompt is looked for).
    std::function<void(int pid)> during = {};
};

// Runs the program with `args` in the caller's namespace, with English texts
// and the environment's other KESTRIX_CLI_ settings removed.
CliRun RunCliProcess(const std::vector<std::string>& args, const CliOptions& options);

// The entry of `mac` in a JSON list of per-device results (null when none).
const JsonValue& ResultOf(const JsonValue& results, const std::string& mac);

// ---------------------------------------------------------------------------
// Firmware upgrades

// A scratch folder /tmp/PATTERN.XXXXXX for an upgrade through the real
// FileServer: service/ with a copy of `fileServer` (a link would make it read
// the bundle's settings) and firmware/ with `name`, `size` bytes drawn from
// a generator seeded with `seed`. Empty `root` when it could not be made.
struct UpgradeFolders {
    std::string root, service, firmware;
};
UpgradeFolders MakeUpgradeFolders(const std::string& pattern, const std::string& fileServer,
                                  const std::string& name, uint32_t size, unsigned seed);

// The simulator's log line for device `d` fetching all `size` bytes of
// `file` from the TFTP server on the host address.
std::string WholeFetchLine(const SimDevice& d, const std::string& file, uint32_t size);

// ---------------------------------------------------------------------------
// Network namespaces

// Moves the calling thread into /run/netns/NAME for good.
bool EnterNetns(const std::string& name, std::string* err = nullptr);

// Moves the calling thread into a namespace for its lifetime, then back.
class ScopedNetns {
public:
    explicit ScopedNetns(const std::string& name);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns&) = delete;
    ScopedNetns& operator=(const ScopedNetns&) = delete;
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

private:
    int home_ = -1;
    std::string error_;
};

// ---------------------------------------------------------------------------
// A scripted tool in the host namespace

struct Datagram {
    uint16_t port = 0;  // local port it arrived on
    std::string from;   // sender address
    uint16_t from_port = 0;
    std::vector<uint8_t> bytes;  // exactly as received

    MessageHeader header() const { return MessageHeader(bytes.data(), bytes.size()); }
    uint16_t type() const { return header().type(); }
    std::string mac() const { return MacBytesToText(header().mac()); }
    const uint8_t* payload() const {
        return bytes.data() + (bytes.size() >= 16 ? 16 : bytes.size());
    }
    size_t payload_size() const { return bytes.size() >= 16 ? bytes.size() - 16 : 0; }
};

// Opens the tool's four ports on the host address (9785 announcements, 9786
// search source, 9787 heartbeats and command source, 9788 replies) with big
// receive buffers, inside `netns` (empty: the caller's namespace).
class Peer {
public:
    explicit Peer(const std::string& netns = kHostNamespace,
                  const std::string& hostAddress = kHostAddress);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // An empty Announce (zero MAC, multicast flag 0) to port 9786 of `to`.
    bool Search(const std::string& to = kLabBroadcast);
    // A command as the tool multicasts it: header with multicast flag 1 and
    // the MAC, to 239.255.255.250:9787 from port 9787.
    bool SendCommand(MsgType type, const MacBytes& mac, const std::vector<uint8_t>& payload = {});
    bool SendCommand(MsgType type, const std::string& mac,
                     const std::vector<uint8_t>& payload = {});
    // Arbitrary bytes from one of the peer's ports (9786 or 9787).
    bool SendRaw(uint16_t fromPort, const std::string& to, uint16_t toPort,
                 const std::vector<uint8_t>& bytes);

    // The next datagram on `port` within `timeout`.
    std::optional<Datagram> Receive(uint16_t port, std::chrono::milliseconds timeout);
    // Datagrams on `port` that `match` accepts (all when empty) until `count`
    // of them arrived or `timeout` passed; the others are dropped.
    std::vector<Datagram> Collect(uint16_t port, size_t count, std::chrono::milliseconds timeout,
                                  const std::function<bool(const Datagram&)>& match = {});
    // Discards everything already queued on every port.
    void Drain();

private:
    int Fd(uint16_t port) const;
    int fds_[4] = {-1, -1, -1, -1};  // 9785, 9786, 9787, 9788
    std::string error_;
};

}  // namespace kestrix::labkit
