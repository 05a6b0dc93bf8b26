#pragma once
// One run of kestrix-cli against the network: the single-instance lock the
// desktop application takes too, a scratch store of its own in a private
// temporary folder, and a started device link. Also the search and listing
// steps every command shares, and what the link wrote into the store while
// the run waited for devices.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/single_instance.h"
#include "link/device_link.h"
#include "link/link_store.h"
#include "store/sql_management.h"

namespace kestrix::cli {

// Set from the signal handler (SIGINT, SIGTERM, SIGHUP); every wait ends early.
bool StopRequested();
void InstallStopHandlers();

// What the run takes from the program folder's Setting.ini, the command
// line and the environment.
struct RunSettings {
    std::string programDir;
    int retryCount = 3;
    int retryIntervalMs = 2000;
    std::vector<std::string> adapters;  // allow-list; empty: every adapter
    // The status page's 3-second step between searches. Test runs shorten
    // it through KESTRIX_CLI_SEARCH_INTERVAL_MS.
    int64_t searchIntervalMs = 3000;
};
RunSettings LoadRunSettings(const std::string& adapterOption);

// Passes everything the link writes on to the store and remembers, per
// device, when its information and its status were last written, counted in
// store writes: a command's outcome is whatever was written after it went out.
class ObservingStore : public LinkStore {
public:
    explicit ObservingStore(CSqlManagement& store) : store_(store) {}

    bool SaveDeviceInfo(const ap_info_stu& record) override;
    bool DeleteDevice(const std::string& mac) override;
    bool GetAllDeviceMacs(std::vector<std::string>& out) override;
    bool UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                            uint32_t seconds) override;
    bool SetDeviceStatus(const std::string& mac, uint32_t status) override;
    bool MarkUpgrading(const std::string& mac) override;
    bool SaveScanPacket(const NeighbourReport& report) override;

    // The count of writes so far; later writes have larger numbers.
    uint64_t Mark() const { return sequence_.load(); }
    // The number of the last information saved for `mac` (0: none).
    uint64_t LastInfo(const std::string& mac) const;
    struct StatusWrite {
        uint64_t at = 0;
        uint32_t status = 0;
    };
    std::optional<StatusWrite> LastStatus(const std::string& mac) const;

private:
    CSqlManagement& store_;
    std::atomic<uint64_t> sequence_{0};
    mutable std::mutex mutex_;
    std::unordered_map<std::string, uint64_t> lastInfo_;
    std::unordered_map<std::string, StatusWrite> lastStatus_;
};

class Session {
public:
    explicit Session(RunSettings settings);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Lock, scratch store, link. False with `error` set when the run cannot
    // go on (another copy runs, the store or a port cannot be opened).
    bool Open(std::string& error);

    DeviceLink& Link() { return *link_; }
    CSqlManagement& Store() { return *store_; }
    ObservingStore& Observer() { return *observer_; }
    const RunSettings& Settings() const { return settings_; }

    // The status page's search: the full cycle, then a search at every
    // step until `totalMs` have passed.
    void Search(int64_t totalMs);
    // Every stored device matching `filter` (all pages, in the order of
    // `sortKey`), then the announced-only ones the status page would append.
    std::vector<ap_info_stu> ListDevices(const std::string& filter, int sortKey, bool ascending);

    // Sleeps up to `ms`; false when a stop was requested.
    static bool Pause(int64_t ms);

private:
    RunSettings settings_;
    std::unique_ptr<SingleInstanceLock> lock_;
    std::string scratchDir_;
    std::unique_ptr<CSqlManagement> store_;
    std::unique_ptr<ObservingStore> observer_;
    std::unique_ptr<DeviceLink> link_;
};

// Milliseconds on the steady clock, for the run's own schedules.
int64_t NowMs();

}  // namespace kestrix::cli
