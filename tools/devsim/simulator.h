#pragma once
// The devices' side of the protocol for a whole fleet, without sockets.
//
// The network loop hands every received datagram to OnDatagram with the
// local port it arrived on, and calls Advance whenever NextDeadline has
// passed; both append the datagrams to send to `out`. Time is a plain
// millisecond count supplied by the caller, so tests drive the clock.
//
// Device behaviour:
// - Search (Announce broadcast to port 9786, zero MAC): every running device
//   answers with an Announce carrying its AnnounceBlock, from its own address
//   to the searcher's port 9785.
// - Acknowledgement (Announce multicast to 9787 with the device's MAC): the
//   sender becomes the manager; a Heartbeat (version, uptime) goes to the
//   manager's port 9787 every heartbeat interval. Release forgets it.
// - Commands (multicast to 9787): dispatched by header MAC; answered to the
//   sender's port 9788 with the command's type. Reboot, Restore and SetVlan
//   make the device silent for the reboot time, after which its uptime
//   restarts at zero and it has no manager until acknowledged again.
// - UpgradeRequest / UpgradeStart: the firmware upgrade of upgrade.h; the
//   file is fetched by the Fetcher handed to SetFetcher, whose results come
//   back through OnFetchDone.
// - Anything malformed, foreign or unexpected is ignored and only counted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <queue>

#include "link/wire/wire_format.h"
#include "tools/devsim/fleet.h"
#include "tools/devsim/rng.h"
#include "tools/devsim/upgrade.h"

namespace kestrix::devsim {

struct SimTiming {
    int64_t heartbeat_ms = 10000;
    int64_t reboot_ms = 45000;
    // How long a SetVlan that says "an address follows" waits for that
    // SetAddress before it restarts the device anyway.
    int64_t address_wait_ms = 5000;
    // The firmware upgrade: writing the image after UpgradeStart, the
    // silence of the reboot into it, and how long a fetch may take (less
    // than the tool waits for a group, so a slow fetch is still reported).
    int64_t upgrade_ms = 30000;
    int64_t upgrade_reboot_ms = 60000;
    int64_t fetch_timeout_ms = 100000;
    // Where and how the file is fetched from the request's sender.
    uint16_t tftp_port = 69;
    uint16_t tftp_block_size = 512;
};

struct GlobalFaults {
    double loss_rx = 0;     // chance that a device misses a datagram meant for it
    double loss_tx = 0;     // chance that a datagram a device sends is lost
    double duplicate = 0;   // chance that a sent datagram arrives twice
    int64_t delay_ms = 0;   // every reply and heartbeat leaves this much later
    int64_t jitter_ms = 0;  // plus a uniform 0..jitter_ms
};

struct Outgoing {
    Ipv4Bytes src{};
    uint16_t src_port = 0;
    Ipv4Bytes dst{};
    uint16_t dst_port = 0;
    int64_t due_ms = 0;  // send at or after this time
    int device = -1;
    bool lost = false;       // decided lost: trace it, do not send it
    bool duplicate = false;  // the extra copy of a duplicated datagram
    std::vector<uint8_t> bytes;
};

// What became of one received datagram (for the trace).
struct RxVerdict {
    int device = -1;  // the addressed device, -1 for searches and strays
    uint16_t type = 0;
    const char* what = "";    // "search", "handled", "ignored", "lost"
    const char* reason = "";  // why it was ignored
    int answers = 0;          // datagrams queued in answer
};

enum class RunState { Running, Rebooting };

struct SimDevice {
    DeviceSpec factory;  // Restore goes back to this
    DeviceInfoBlock info;
    MacBytes mac{};
    uint16_t type = 1;
    int neighbours = 0;
    DeviceFaults faults;

    RunState run = RunState::Running;
    int64_t boot_ms = 0;       // uptime counts from here
    uint32_t uptime_base = 0;  // seconds already up at boot_ms
    int64_t reboot_until = 0;

    std::optional<Ipv4Bytes> manager;
    uint32_t heartbeat_epoch = 0;  // bumps invalidate scheduled heartbeats
    uint32_t reboot_epoch = 0;

    // SetAddress with apply byte 0, waiting for the SetVlan of the same save.
    std::optional<AddressBlock> pending_address;
    // SetVlan that said an address follows, waiting for it (time or -1).
    int64_t awaiting_address_until = -1;

    // Counters for the dump.
    uint32_t announces = 0;
    uint32_t heartbeats = 0;
    uint32_t commands = 0;
    uint32_t reboots = 0;
    uint32_t restores = 0;
    uint16_t last_command = 0;

    DeviceUpgrade upgrade;
};

struct SimStats {
    uint64_t rx = 0, rx_ignored = 0, rx_lost = 0, searches = 0, commands = 0;
    uint64_t tx = 0, tx_lost = 0, tx_duplicated = 0;
    uint64_t fetches = 0, fetch_failures = 0, upgrades = 0, upgrade_failures = 0;
};

class Simulator {
public:
    Simulator(std::vector<DeviceSpec> fleet, SimTiming timing, GlobalFaults faults, uint64_t seed,
              int64_t nowMs);

    // One datagram that arrived on local port `localPort` (9786 or 9787).
    RxVerdict OnDatagram(uint16_t localPort, const Ipv4Bytes& from, uint16_t fromPort,
                         const uint8_t* data, size_t size, int64_t nowMs,
                         std::vector<Outgoing>& out);
    // Runs every timer due at nowMs: heartbeats, ends of reboots.
    void Advance(int64_t nowMs, std::vector<Outgoing>& out);
    // The firmware fetcher (not owned; null: every fetch fails at once).
    void SetFetcher(Fetcher* fetcher) { fetcher_ = fetcher; }
    // A fetch ended. Results of fetches the device no longer waits for are
    // ignored.
    void OnFetchDone(const FetchResult& result, int64_t nowMs, std::vector<Outgoing>& out);
    // The fetches that ended since the last call, oldest first (for the log).
    std::vector<FetchRecord> TakeFetchLog();
    // The earliest pending timer, if any.
    std::optional<int64_t> NextDeadline() const;

    // The device's full information as it would answer now.
    DeviceInfoBlock CurrentInfo(size_t index, int64_t nowMs) const;
    AnnounceBlock CurrentAnnounce(size_t index, int64_t nowMs) const;
    uint32_t Uptime(size_t index, int64_t nowMs) const;
    // The address the device answers from (another's under the claim fault).
    Ipv4Bytes AnswerAddress(size_t index) const;

    size_t size() const { return devices_.size(); }
    const SimDevice& device(size_t index) const { return devices_[index]; }
    int FindByMac(const MacBytes& mac) const;
    const SimStats& stats() const { return stats_; }
    const GlobalFaults& faults() const { return faults_; }
    const SimTiming& timing() const { return timing_; }

    // Run-time changes from the control socket.
    bool SetGlobal(std::string_view key, std::string_view value, std::string& err);
    // "SELECTOR key=value ..." limited to the fault keys (mute-info,
    // bridge-fail, claim, upgrade-fail, upgrade-version).
    bool SetDeviceFaults(std::string_view line, std::string& err);

    // Every device's state as one JSON document (format described in
    // tests/support/labkit.h).
    std::string DumpJson(int64_t nowMs) const;
    std::string StatsJson() const;

private:
    enum class TimerKind : uint8_t { Heartbeat, RebootEnd, AddressWait, FetchDeadline, FlashEnd };
    struct Timer {
        int64_t due;
        uint32_t device;
        uint32_t epoch;
        TimerKind kind;
        bool operator>(const Timer& o) const { return due > o.due; }
    };

    void HandleCommand(size_t index, const ReceivedPacket& packet, const Ipv4Bytes& from,
                       int64_t nowMs, std::vector<Outgoing>& out, RxVerdict& verdict);
    void Send(size_t index, uint16_t srcPort, const Ipv4Bytes& dst, uint16_t dstPort,
              uint16_t typeCode, const uint8_t* payload, size_t length, int64_t nowMs,
              std::vector<Outgoing>& out, std::optional<Ipv4Bytes> fromAddress = std::nullopt);
    void Reply(size_t index, const Ipv4Bytes& to, uint16_t typeCode, const uint8_t* payload,
               size_t length, int64_t nowMs, std::vector<Outgoing>& out,
               std::optional<Ipv4Bytes> fromAddress = std::nullopt);
    // Silent for `durationMs` (the reboot time when negative).
    void StartReboot(size_t index, int64_t nowMs, int64_t durationMs = -1);
    // The upgrade commands and timers (simulator_upgrade.cpp).
    void HandleUpgradeRequest(size_t index, const uint8_t* payload, const Ipv4Bytes& from,
                              int64_t nowMs, std::vector<Outgoing>& out, RxVerdict& verdict);
    void HandleUpgradeStart(size_t index, const Ipv4Bytes& from, int64_t nowMs,
                            std::vector<Outgoing>& out);
    void FinishFetch(size_t index, uint64_t bytes, std::string result, int64_t nowMs,
                     std::vector<Outgoing>& out);
    void EndFlash(size_t index, int64_t nowMs, std::vector<Outgoing>& out);
    void AbandonUpgrade(size_t index);
    void ReportUpgrade(size_t index, uint8_t status, int64_t nowMs, std::vector<Outgoing>& out);
    void ApplyAddress(size_t index, const AddressBlock& block);
    void SendNeighbourReports(size_t index, const Ipv4Bytes& to, int64_t nowMs,
                              std::vector<Outgoing>& out);
    void SendHeartbeat(size_t index, int64_t nowMs, std::vector<Outgoing>& out);
    void Schedule(int64_t due, size_t index, uint32_t epoch, TimerKind kind);

    std::vector<SimDevice> devices_;
    std::unordered_map<uint64_t, uint32_t> byMac_;
    SimTiming timing_;
    GlobalFaults faults_;
    SplitMix64 rng_;
    SimStats stats_;
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
    // Foreign access points that pad radio scans of small fleets.
    std::vector<config_otherwl_basic> strangers_;
    Fetcher* fetcher_ = nullptr;
    uint64_t nextFetchId_ = 1;
    std::vector<FetchRecord> fetchLog_;
};

uint64_t MacKey(const uint8_t* mac);

// The fleet-wide timing and fault settings by name, shared by the command
// line, the fleet file and the control socket: loss (both directions),
// loss-rx, loss-tx, duplicate (probabilities), delay, jitter, heartbeat,
// reboot-time, address-wait, upgrade-time, upgrade-reboot-time,
// fetch-timeout (durations), tftp-port, tftp-blksize (numbers). Nothing
// changes on a bad value.
bool IsFleetSettingKey(std::string_view key);
bool ApplyFleetSetting(std::string_view key, std::string_view value, SimTiming& timing,
                       GlobalFaults& faults, std::string& err);

}  // namespace kestrix::devsim
