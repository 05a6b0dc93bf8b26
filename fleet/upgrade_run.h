#pragma once
// One firmware upgrade of up to ten devices of one type, as the upgrade
// dialog and `kestrix-cli upgrade` run it: the file server prepared, a
// short wait for it, the devices sent their UpgradeRequest in groups of at
// most ten, UpgradeStart for those that wait, then the rebooting phase with
// its closing searches. It is a state machine without clocks of its own:
// the front end calls the tick of every timer that runs (each once a
// second) and follows TimerRunning() and CloseRequested(). Tests call the
// ticks directly.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "fleet/device_workers.h"
#include "fleet/selection.h"
#include "fleet/upgrade_plan.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class CSqlManagement;
class DeviceLink;

// What the upgrade asks of the link and the store.
class UpgradeLink : public CommandSink {
public:
    virtual void Search() = 0;
    virtual int GetDeviceStatus(const std::string& mac) = 0;  // 0 when unknown
    virtual bool ClearUpgradeFail(const std::string& mac) = 0;
    virtual bool IsUpgradeWaiting(const std::string& mac) = 0;
};

// The application's link and store; either may be missing (nothing is sent,
// every status reads 0).
class AppUpgradeLink final : public UpgradeLink {
public:
    AppUpgradeLink(DeviceLink* link, CSqlManagement* store) : link_(link), store_(store) {}
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override;
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override;
    void Search() override;
    int GetDeviceStatus(const std::string& mac) override;
    bool ClearUpgradeFail(const std::string& mac) override;
    bool IsUpgradeWaiting(const std::string& mac) override;

private:
    DeviceLink* link_;
    CSqlManagement* store_;
};

// The limits, in seconds of the timers' ticks.
struct UpgradeLimits {
    int groupSeconds = 120;             // a group's wait for its reports
    int transferSecondsPerGroup = 120;  // the transfer phase, per group
    int rebootSeconds = 130;            // the rebooting phase
    int closingSearches = 3;            // at 124, 127 and 130 s
    int searchStepSeconds = 3;
};

// The file server's start-up wait of the worker: 3000 ms, then up to three
// looks 1000 ms apart for the running server, going on either way.
struct ServerWait {
    std::chrono::milliseconds first{3000};
    std::chrono::milliseconds between{1000};
    int looks = 3;
};
// True when a look found the server. Ends early (false) on `stop`.
bool WaitForFileServer(FileServerControl& server, std::stop_token stop, const ServerWait& wait = {},
                       const PauseFunction& pause = {});

class UpgradeRun {
public:
    enum class Phase { kIdle, kTransfer, kRebooting, kFinished };
    // The four timers of the dialog: group watch (3000), transfer phase
    // (1000), rebooting phase (2000) and the status view (4000).
    enum class Timer { kGroup, kTransfer, kRebooting, kStatusView };

    UpgradeRun(UpgradeLink& link, FileServerControl& server, UpgradeLimits limits = {});

    // Starts the upgrade of the targets of `type` with `request`: the send
    // and watch lists, the progress range, the file server (ended, its
    // folder written, started). The transfer and status timers run from
    // here; the first group goes out with SendFirstGroup, once the
    // front end's wait for the server is over.
    void Start(const std::vector<SelectedDevice>& targets, uint16_t type,
               const UpgradeRequestBlock& request, const std::string& folder);
    // The worker's end: the first group. Ignored unless the transfer phase
    // waits for it.
    void SendFirstGroup();

    void TickGroup();
    void TickTransfer();
    void TickRebooting();

    // Every way out (close button, end, destruction): the timers stop and
    // every file server process ends, each time it is called.
    void Stop();

    Phase CurrentPhase() const { return phase_; }
    bool TimerRunning(Timer timer) const;
    // The dialog should close: the rebooting phase ended, or every watched
    // device failed by the end of the transfer phase.
    bool CloseRequested() const { return closeRequested_; }
    bool AllFailedEarly() const { return allFailed_; }
    bool AllSent() const { return allSent_; }
    bool FirstGroupSent() const { return firstGroupSent_; }

    // The progress bar and its label (an English text key).
    int ProgressMaximum() const { return progressMax_; }
    int ProgressValue() const { return progressValue_; }
    const char* ProgressTextKey() const;

    const std::vector<SelectedDevice>& SendList() const { return sendList_; }
    const std::vector<SelectedDevice>& WatchList() const { return watchList_; }
    const std::vector<SelectedDevice>& GroupList() const { return groupList_; }
    int GroupSeconds() const { return groupSeconds_; }
    int TransferSeconds() const { return transferSeconds_; }
    int RebootingSeconds() const { return rebootingSeconds_; }
    int SearchesLeft() const { return searchesLeft_; }
    int GroupCount() const { return groupCount_; }
    bool ServerStarted() const { return serverStarted_; }

    const UpgradeLimits& Limits() const { return limits_; }

    // Groups of at most ten of `count` devices, rounded up.
    static int GroupsFor(size_t count);

private:
    void SendGroup();
    bool GroupSettled();
    bool EveryWatchedFailed();
    void EndTransfer();
    void StopServer();

    UpgradeLink& link_;
    FileServerControl& server_;
    UpgradeLimits limits_;
    UpgradeRequestBlock request_;

    Phase phase_ = Phase::kIdle;
    std::vector<SelectedDevice> sendList_, watchList_, groupList_;
    bool timers_[4] = {false, false, false, false};
    int groupSeconds_ = 0;
    int transferSeconds_ = 0;
    int rebootingSeconds_ = 0;
    int searchesLeft_ = 0;
    int groupCount_ = 0;
    int progressMax_ = 100;
    int progressValue_ = 0;
    bool allSent_ = false;
    bool firstGroupSent_ = false;
    bool closeRequested_ = false;
    bool allFailed_ = false;
    bool serverStarted_ = false;
};

}  // namespace kestrix
