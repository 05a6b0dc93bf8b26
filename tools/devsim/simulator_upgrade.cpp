// The simulated devices' side of the firmware upgrade (see upgrade.h).

#include <utility>

#include "tools/devsim/simulator.h"

namespace kestrix::devsim {

namespace {
constexpr size_t kFetchLogLimit = 4096;
}  // namespace

void Simulator::ReportUpgrade(size_t index, uint8_t status, int64_t nowMs,
                              std::vector<Outgoing>& out) {
    Reply(index, devices_[index].upgrade.tool, ToCode(MsgType::UpgradeStatus), &status, 1, nowMs,
          out);
}

void Simulator::AbandonUpgrade(size_t index) {
    DeviceUpgrade& u = devices_[index].upgrade;
    if (u.phase == UpgradePhase::Fetching && fetcher_ != nullptr) fetcher_->Cancel(u.fetch_id);
    if (u.phase != UpgradePhase::Idle) u.last_result = "abandoned";
    u.phase = UpgradePhase::Idle;
    ++u.epoch;
}

void Simulator::HandleUpgradeRequest(size_t index, const uint8_t* payload, const Ipv4Bytes& from,
                                     int64_t nowMs, std::vector<Outgoing>& out,
                                     RxVerdict& verdict) {
    SimDevice& d = devices_[index];
    DeviceUpgrade& u = d.upgrade;
    Reply(index, from, ToCode(MsgType::UpgradeRequest), nullptr, 0, nowMs, out);
    // The tool repeats a request whose reply it missed; the fetch or the
    // upgrade it started goes on.
    if (u.phase == UpgradePhase::Fetching || u.phase == UpgradePhase::Flashing) {
        verdict.reason = "upgrade-busy";
        return;
    }
    UpgradeRequestBlock block(payload, UpgradeRequestBlock::kSize);
    ++u.epoch;
    u.tool = from;
    u.file = block.file_name();
    u.expected = block.file_size();
    u.fetch_id = nextFetchId_++;
    u.phase = UpgradePhase::Fetching;
    ++stats_.fetches;
    if (u.file.empty()) {
        FinishFetch(index, 0, "failed: no file name", nowMs, out);
        return;
    }
    if (fetcher_ == nullptr) {
        FinishFetch(index, 0, "failed: no TFTP client", nowMs, out);
        return;
    }
    FetchRequest request;
    request.id = u.fetch_id;
    request.device = static_cast<int>(index);
    request.local = AnswerAddress(index);
    request.server = from;
    request.port = timing_.tftp_port;
    request.block_size = timing_.tftp_block_size;
    request.file = u.file;
    request.expected = u.expected;
    request.timeout_ms = timing_.fetch_timeout_ms;
    fetcher_->Start(request);
    // Should the fetcher never answer, the device still gives up in time.
    Schedule(nowMs + timing_.fetch_timeout_ms, index, u.epoch, TimerKind::FetchDeadline);
}

void Simulator::OnFetchDone(const FetchResult& result, int64_t nowMs, std::vector<Outgoing>& out) {
    if (result.device < 0 || static_cast<size_t>(result.device) >= devices_.size()) return;
    const size_t index = static_cast<size_t>(result.device);
    DeviceUpgrade& u = devices_[index].upgrade;
    if (u.phase != UpgradePhase::Fetching || u.fetch_id != result.id) return;
    std::string verdict;
    if (result.overflow || (result.complete && result.bytes != u.expected)) {
        verdict = "size-mismatch";
    } else if (!result.complete) {
        verdict = "failed: " + (result.error.empty() ? std::string("no reason") : result.error);
    } else if (result.bytes == 0) {
        verdict = "empty";  // an image of nothing is no firmware
    } else {
        verdict = "ok";
    }
    FinishFetch(index, result.bytes, std::move(verdict), nowMs, out);
}

void Simulator::FinishFetch(size_t index, uint64_t bytes, std::string result, int64_t nowMs,
                            std::vector<Outgoing>& out) {
    SimDevice& d = devices_[index];
    DeviceUpgrade& u = d.upgrade;
    FetchRecord r;
    r.time_ms = nowMs;
    r.device = static_cast<int>(index);
    r.mac = d.mac;
    r.file = u.file;
    r.server = u.tool;
    r.port = timing_.tftp_port;
    r.bytes = bytes;
    r.expected = u.expected;
    r.result = std::move(result);
    const bool ok = r.result == "ok";
    u.last_result = r.result;
    u.history.push_back(r);
    while (u.history.size() > DeviceUpgrade::kHistory) u.history.pop_front();
    // Nobody may be reading the log (tests, tools without one): keep it
    // bounded.
    if (fetchLog_.size() >= kFetchLogLimit) fetchLog_.erase(fetchLog_.begin());
    fetchLog_.push_back(std::move(r));
    ++u.epoch;
    if (ok) {
        u.phase = UpgradePhase::Waiting;
        ReportUpgrade(index, kUpgradeReady, nowMs, out);
    } else {
        ++stats_.fetch_failures;
        u.phase = UpgradePhase::Idle;
        ReportUpgrade(index, kUpgradeFailed, nowMs, out);
    }
}

void Simulator::HandleUpgradeStart(size_t index, const Ipv4Bytes& from, int64_t nowMs,
                                   std::vector<Outgoing>& out) {
    DeviceUpgrade& u = devices_[index].upgrade;
    Reply(index, from, ToCode(MsgType::UpgradeStart), nullptr, 0, nowMs, out);
    // Only a device holding a good image starts; a repeated start changes
    // nothing.
    if (u.phase != UpgradePhase::Waiting) return;
    u.phase = UpgradePhase::Flashing;
    u.tool = from;
    ++u.epoch;
    Schedule(nowMs + timing_.upgrade_ms, index, u.epoch, TimerKind::FlashEnd);
}

void Simulator::EndFlash(size_t index, int64_t nowMs, std::vector<Outgoing>& out) {
    SimDevice& d = devices_[index];
    DeviceUpgrade& u = d.upgrade;
    ++u.epoch;
    u.phase = UpgradePhase::Idle;
    if (d.faults.upgrade_fail) {
        // The old firmware keeps running.
        ++stats_.upgrade_failures;
        u.last_result = "upgrade-failed";
        ReportUpgrade(index, kUpgradeFailed, nowMs, out);
        return;
    }
    ++stats_.upgrades;
    ++u.upgrades;
    u.last_result = "upgraded";
    ReportUpgrade(index, kUpgradeDone, nowMs, out);
    d.info.set_version(d.faults.upgrade_version.empty() ? VersionFromFileName(u.file)
                                                        : d.faults.upgrade_version);
    StartReboot(index, nowMs, timing_.upgrade_reboot_ms);
}

std::vector<FetchRecord> Simulator::TakeFetchLog() {
    return std::exchange(fetchLog_, {});
}

}  // namespace kestrix::devsim
