#include "fleet/upgrade_run.h"

#include <algorithm>

#include "link/device_link.h"
#include "link/wire/device_status.h"
#include "store/sql_management.h"

namespace kestrix {

// ---- AppUpgradeLink ----------------------------------------------------------

bool AppUpgradeLink::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                                  size_t length, const std::string& mac, bool registerRetry) {
    return link_ != nullptr &&
           link_->SendToDevice(target, type, payload, length, mac, registerRetry);
}

void AppUpgradeLink::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                    const std::string& newIp) {
    if (link_ != nullptr) link_->NoteNewAddress(mac, currentIp, newIp);
}

void AppUpgradeLink::Search() {
    if (link_ != nullptr) link_->Search();
}

int AppUpgradeLink::GetDeviceStatus(const std::string& mac) {
    return store_ != nullptr ? store_->GetDeviceStatus(mac) : 0;
}

bool AppUpgradeLink::ClearUpgradeFail(const std::string& mac) {
    return store_ != nullptr && store_->ClearUpgradeFail(mac);
}

bool AppUpgradeLink::IsUpgradeWaiting(const std::string& mac) {
    return store_ != nullptr && store_->IsUpgradeWaiting(mac);
}

// ---- The worker's wait for the server ---------------------------------------

bool WaitForFileServer(FileServerControl& server, std::stop_token stop, const ServerWait& wait,
                       const PauseFunction& pause) {
    const PauseFunction sleep = pause ? pause : PauseFunction(InterruptibleSleep);
    sleep(wait.first, stop);
    for (int look = 0; look < wait.looks; ++look) {
        if (stop.stop_requested()) return false;
        if (server.IsRunning()) return true;
        sleep(wait.between, stop);
    }
    return false;
}

// ---- UpgradeRun ----------------------------------------------------------------

UpgradeRun::UpgradeRun(UpgradeLink& link, FileServerControl& server, UpgradeLimits limits)
    : link_(link), server_(server), limits_(limits) {}

int UpgradeRun::GroupsFor(size_t count) {
    return static_cast<int>((count + kMaxUpgradeTargets - 1) / kMaxUpgradeTargets);
}

bool UpgradeRun::TimerRunning(Timer timer) const {
    return timers_[static_cast<int>(timer)];
}

const char* UpgradeRun::ProgressTextKey() const {
    return phase_ == Phase::kRebooting || phase_ == Phase::kFinished
               ? "Firmware upgrading progress"
               : "Upgrade file transfer progress";
}

void UpgradeRun::Start(const std::vector<SelectedDevice>& targets, uint16_t type,
                       const UpgradeRequestBlock& request, const std::string& folder) {
    if (phase_ != Phase::kIdle) return;
    request_ = request;
    sendList_ = TargetsOfType(targets, type);
    watchList_ = sendList_;
    groupList_.clear();
    groupCount_ = GroupsFor(sendList_.size());
    progressMax_ = limits_.transferSecondsPerGroup * groupCount_;
    progressValue_ = 0;
    groupSeconds_ = 0;
    transferSeconds_ = 0;
    searchesLeft_ = limits_.closingSearches;
    allSent_ = false;
    phase_ = Phase::kTransfer;
    serverStarted_ = PrepareFileServer(server_, folder);
    timers_[static_cast<int>(Timer::kTransfer)] = true;
    timers_[static_cast<int>(Timer::kStatusView)] = true;
}

void UpgradeRun::SendFirstGroup() {
    if (phase_ != Phase::kTransfer || firstGroupSent_) return;
    firstGroupSent_ = true;
    SendGroup();
}

void UpgradeRun::SendGroup() {
    timers_[static_cast<int>(Timer::kGroup)] = false;
    groupSeconds_ = 0;
    groupList_.clear();
    const size_t n = std::min(sendList_.size(), kMaxUpgradeTargets);
    groupList_.assign(sendList_.begin(), sendList_.begin() + static_cast<std::ptrdiff_t>(n));
    sendList_.erase(sendList_.begin(), sendList_.begin() + static_cast<std::ptrdiff_t>(n));
    for (const SelectedDevice& d : groupList_) {
        // A failure of an earlier upgrade must not read as this one's.
        link_.ClearUpgradeFail(d.mac);
        link_.SendToDevice(d.ip, MsgType::UpgradeRequest, request_.data(), request_.size(), d.mac,
                           true);
    }
    timers_[static_cast<int>(Timer::kGroup)] = true;
}

bool UpgradeRun::GroupSettled() {
    for (const SelectedDevice& d : groupList_) {
        const int s = link_.GetDeviceStatus(d.mac);
        if (s != 0 && s != kStatusUpgradeWait && s != kStatusUpgradeSuccess &&
            s != kStatusUpgradeFail)
            return false;
    }
    return true;
}

void UpgradeRun::TickGroup() {
    if (!TimerRunning(Timer::kGroup)) return;
    ++groupSeconds_;
    if (groupSeconds_ < limits_.groupSeconds && !GroupSettled()) return;
    timers_[static_cast<int>(Timer::kGroup)] = false;
    for (const SelectedDevice& d : groupList_) {
        if (link_.IsUpgradeWaiting(d.mac))
            link_.SendToDevice(d.ip, MsgType::UpgradeStart, nullptr, 0, d.mac, true);
    }
    if (!sendList_.empty()) {
        SendGroup();
    } else {
        allSent_ = true;
    }
}

bool UpgradeRun::EveryWatchedFailed() {
    return std::all_of(watchList_.begin(), watchList_.end(), [this](const SelectedDevice& d) {
        return link_.GetDeviceStatus(d.mac) == kStatusUpgradeFail;
    });
}

void UpgradeRun::TickTransfer() {
    if (!TimerRunning(Timer::kTransfer)) return;
    ++transferSeconds_;
    if (transferSeconds_ < progressMax_ && !allSent_) {
        progressValue_ = transferSeconds_;
        return;
    }
    EndTransfer();
}

void UpgradeRun::EndTransfer() {
    timers_[static_cast<int>(Timer::kTransfer)] = false;
    if (EveryWatchedFailed()) {
        // Nothing reboots: waiting out the rebooting phase would only
        // keep the operator.
        allFailed_ = true;
        closeRequested_ = true;
        Stop();
        return;
    }
    phase_ = Phase::kRebooting;
    progressMax_ = limits_.rebootSeconds;
    progressValue_ = 0;
    rebootingSeconds_ = 0;
    searchesLeft_ = limits_.closingSearches;
    timers_[static_cast<int>(Timer::kRebooting)] = true;
}

void UpgradeRun::TickRebooting() {
    if (!TimerRunning(Timer::kRebooting)) return;
    ++rebootingSeconds_;
    // With three searches left the first is due at 124 s, then 127 and 130.
    if (searchesLeft_ > 0 && rebootingSeconds_ == limits_.rebootSeconds +
                                                      limits_.searchStepSeconds -
                                                      limits_.searchStepSeconds * searchesLeft_) {
        --searchesLeft_;
        link_.Search();
    }
    progressValue_ = std::min(rebootingSeconds_, progressMax_);
    if (rebootingSeconds_ < limits_.rebootSeconds) return;
    progressValue_ = limits_.rebootSeconds;
    closeRequested_ = true;
    Stop();
}

void UpgradeRun::Stop() {
    for (bool& t : timers_) t = false;
    if (phase_ != Phase::kIdle) phase_ = Phase::kFinished;
    // Every way out ends the server again: a copy started by hand in the
    // meantime must not outlive the upgrade either.
    server_.TerminateAll();
}

}  // namespace kestrix
