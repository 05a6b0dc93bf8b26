#pragma once
// What a simulated device needs for a firmware upgrade, apart from sockets:
// the fetch it hands to a Fetcher (the real one speaks TFTP through libcurl
// on a thread of its own, tests inject a fake), the device's upgrade state
// and the record of every fetch for the dump and the log.
//
// The device's side, as the tool expects it:
//   UpgradeRequest  -> empty reply of type 11, then the file is fetched over
//                      TFTP from the request's sender
//   fetch ends      -> UpgradeStatus 0 when the whole file arrived with the
//                      size the request announced, else UpgradeStatus 1
//   UpgradeStart    -> empty reply of type 16; after the upgrade time
//                      UpgradeStatus 2 and a reboot into the new version, or
//                      UpgradeStatus 1 (configured to fail) on the old one

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "link/wire/wire_format.h"

namespace kestrix::devsim {

// UpgradeStatus result bytes a device sends.
inline constexpr uint8_t kUpgradeReady = 0;   // file fetched, waiting for UpgradeStart
inline constexpr uint8_t kUpgradeFailed = 1;  // fetch or upgrade failed
inline constexpr uint8_t kUpgradeDone = 2;    // written; the device reboots

struct FetchRequest {
    uint64_t id = 0;
    int device = -1;
    Ipv4Bytes local{};   // the device's address: the fetch leaves from it
    Ipv4Bytes server{};  // where the UpgradeRequest came from
    uint16_t port = 69;
    uint16_t block_size = 512;
    std::string file;       // as the request names it
    uint32_t expected = 0;  // the request's size; more than this is not taken
    int64_t timeout_ms = 0;
};

struct FetchResult {
    uint64_t id = 0;
    int device = -1;
    uint64_t bytes = 0;     // bytes received
    bool complete = false;  // the transfer ended normally
    bool overflow = false;  // stopped because more than `expected` came
    std::string error;      // why it did not complete
};

// Fetches run elsewhere; the simulator is told their end by OnFetchDone.
// Start and Cancel never block.
class Fetcher {
public:
    virtual ~Fetcher() = default;
    virtual void Start(const FetchRequest& request) = 0;
    // Abandons a fetch; its result may still arrive and is then ignored.
    virtual void Cancel(uint64_t id) = 0;
};

enum class UpgradePhase : uint8_t { Idle, Fetching, Waiting, Flashing };
const char* PhaseName(UpgradePhase phase);

struct FetchRecord {
    int64_t time_ms = 0;  // when the fetch ended
    int device = -1;
    MacBytes mac{};
    std::string file;
    Ipv4Bytes server{};
    uint16_t port = 0;
    uint64_t bytes = 0;
    uint32_t expected = 0;
    std::string result;  // "ok", "size-mismatch", "empty", "timeout", "failed: ..."
};

struct DeviceUpgrade {
    UpgradePhase phase = UpgradePhase::Idle;
    uint32_t epoch = 0;     // bumps invalidate the upgrade's timers
    uint64_t fetch_id = 0;  // the fetch under way or last made
    Ipv4Bytes tool{};       // status reports go there
    std::string file;
    uint32_t expected = 0;
    std::string last_result;          // of the last fetch or upgrade, for the dump
    uint32_t upgrades = 0;            // successful ones
    std::deque<FetchRecord> history;  // the most recent fetches
    static constexpr size_t kHistory = 8;
};

// The version a device reports after installing `fileName` when none is
// configured: the first "V<digits>[.<digits>...]" in the name (a lone
// "1.2.3" gets a V), else the name without its .bin; at most 32 bytes.
std::string VersionFromFileName(std::string_view fileName);

class JsonWriter;
// The dump's "upgrade" object: phase, file, expected, last_result,
// upgrades and fetches [{time_ms, file, from, bytes, expected, result}].
void WriteUpgradeJson(JsonWriter& w, const DeviceUpgrade& upgrade);

// "fetch dev=I mac=M file="NAME" from=A:P bytes=N expected=N result=R", the
// name escaped so that no byte of it can break the line.
std::string FetchLogLine(const FetchRecord& record);

}  // namespace kestrix::devsim
