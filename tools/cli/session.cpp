#include "tools/cli/session.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <filesystem>
#include <signal.h>
#include <stdlib.h>
#include <thread>

#include "base/appearance.h"
#include "base/language.h"
#include "base/link_settings.h"
#include "base/os_utils.h"
#include "base/profile.h"
#include "base/user_paths.h"
#include "fleet/search_cycle.h"

namespace kestrix::cli {

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnStopSignal(int) {
    gStop = 1;
}

// Rows per store query while listing; every page is read.
constexpr int kListPageSize = 100;

}  // namespace

bool StopRequested() {
    return gStop != 0;
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a question waiting on the terminal ends at once.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A reader that goes away (kestrix-cli search | head) ends the output,
    // not the process: the link still has to say goodbye to the devices.
    signal(SIGPIPE, SIG_IGN);
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

RunSettings LoadRunSettings(const std::string& adapterOption) {
    RunSettings s;
    s.programDir = COperateSystemInfo::ProgramFolderCached();
    // An installed copy also honours the user's own Setting.ini.
    const LinkSettings link = LoadLinkSettings(CurrentUserPaths().settingsDir);
    s.retryCount = link.retransmission_max;
    s.retryIntervalMs = link.retransmission_interval;
    s.adapters = link.adapters;
    if (!adapterOption.empty()) s.adapters = {adapterOption};
    if (const char* hook = std::getenv("KESTRIX_CLI_SEARCH_INTERVAL_MS"); hook && *hook)
        s.searchIntervalMs = std::clamp<int64_t>(ReadDecimal(hook), 10, 60000);
    return s;
}

// ---- ObservingStore ----------------------------------------------------------

bool ObservingStore::SaveDeviceInfo(const ap_info_stu& record) {
    const bool ok = store_.SaveDeviceInfo(record);
    if (ok) {
        std::lock_guard lock(mutex_);
        lastInfo_[record.mac()] = ++sequence_;
    }
    return ok;
}

bool ObservingStore::DeleteDevice(const std::string& mac) {
    return store_.DeleteDevice(mac);
}

bool ObservingStore::GetAllDeviceMacs(std::vector<std::string>& out) {
    return store_.GetAllDeviceMacs(out);
}

bool ObservingStore::UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                                        uint32_t seconds) {
    return store_.UpdateDeviceUptime(mac, ip, seconds);
}

bool ObservingStore::SetDeviceStatus(const std::string& mac, uint32_t status) {
    const bool ok = store_.SetDeviceStatus(mac, status);
    if (ok) {
        std::lock_guard lock(mutex_);
        lastStatus_[mac] = StatusWrite{++sequence_, status};
    }
    return ok;
}

bool ObservingStore::MarkUpgrading(const std::string& mac) {
    return store_.MarkUpgrading(mac);
}

bool ObservingStore::SaveScanPacket(const NeighbourReport& report) {
    return store_.SaveScanPacket(report);
}

uint64_t ObservingStore::LastInfo(const std::string& mac) const {
    std::lock_guard lock(mutex_);
    auto it = lastInfo_.find(mac);
    return it == lastInfo_.end() ? 0 : it->second;
}

std::optional<ObservingStore::StatusWrite> ObservingStore::LastStatus(
    const std::string& mac) const {
    std::lock_guard lock(mutex_);
    auto it = lastStatus_.find(mac);
    if (it == lastStatus_.end()) return std::nullopt;
    return it->second;
}

// ---- Session -------------------------------------------------------------------

Session::Session(RunSettings settings) : settings_(std::move(settings)) {}

Session::~Session() {
    // The link goes first: its threads write into the store until they end,
    // and every device it still tracks gets its Release.
    if (link_) link_->Shutdown();
    link_.reset();
    observer_.reset();
    store_.reset();
    if (!scratchDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratchDir_, ignored);
    }
}

bool Session::Open(std::string& error) {
    lock_ = std::make_unique<SingleInstanceLock>();
    // A lock file that cannot be opened proves no other copy: carry on, as
    // the desktop application does.
    if (lock_->Acquire() == SingleInstanceLock::Result::HeldElsewhere) {
        error =
            "Another copy of Kestrix is running (the desktop application or kestrix-cli). Both "
            "use the same device ports, so only one can run at a time.";
        return false;
    }

    // The scratch store lives in a folder only this user can enter and is
    // never the desktop application's data.mdb. An installed copy keeps it
    // in the user's scratch folder with everything else it writes.
    const char* tmp = std::getenv("TMPDIR");
    std::string parent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    if (const UserPaths& paths = CurrentUserPaths();
        paths.installed && EnsureUserFolder(paths.scratchDir))
        parent = paths.scratchDir.substr(0, paths.scratchDir.size() - 1);
    std::string pattern = parent + "/kestrix-cli.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "Cannot make a temporary folder for the device list in " + pattern + ".";
        return false;
    }
    scratchDir_ = pattern;
    store_ = std::make_unique<CSqlManagement>(scratchDir_ + "/data.mdb");
    if (!store_->IsOpen()) {
        error = "Cannot open the temporary device list in " + scratchDir_ + ".";
        return false;
    }
    observer_ = std::make_unique<ObservingStore>(*store_);

    link_ = std::make_unique<DeviceLink>();
    link_->SetStore(observer_.get());
    link_->SetAdapterAllowList(settings_.adapters);
    if (!link_->Start(settings_.retryCount, settings_.retryIntervalMs)) {
        if (const uint16_t port = link_->FailedPort(); port != 0) {
            error = FormatNumbers(
                TranslateText("Port %d could not be opened, so devices cannot be found or answer. "
                              "Another program is probably using it, for example another device "
                              "management tool. Close that program and start this one again."),
                {port});
        } else {
            error = TranslateText(
                "The device link could not be started completely. Devices may not be found.");
        }
        return false;
    }
    return true;
}

void Session::Search(int64_t totalMs) {
    StartSearchCycle(*link_);
    SearchSchedule schedule(totalMs, settings_.searchIntervalMs);
    const int64_t start = NowMs();
    while (!StopRequested()) {
        const int64_t elapsed = NowMs() - start;
        if (schedule.Finished(elapsed)) break;
        if (schedule.TakeDue(elapsed)) link_->Search();
        const int64_t wait = schedule.NextEventMs() - (NowMs() - start);
        if (wait > 0 && !Pause(wait)) break;
    }
}

std::vector<ap_info_stu> Session::ListDevices(const std::string& filter, int sortKey,
                                              bool ascending) {
    std::vector<ap_info_stu> out;
    // Answers still arriving must not move devices between two pages while
    // they are read.
    link_->PauseProcessors(true);
    int pages = 0;
    int online = 0;
    if (store_->QueryDevicePage(filter, sortKey, ascending, kListPageSize, 1, out, pages, online)) {
        for (int page = 2; page <= pages; ++page) {
            int pageCount = 0;
            int onlineCount = 0;
            store_->QueryDevicePage(filter, sortKey, ascending, kListPageSize, page, out, pageCount,
                                    onlineCount);
        }
    }
    std::vector<ap_info_stu> announced;
    link_->ListAnnounced(announced, filter, INT_MAX);
    link_->PauseProcessors(false);
    out.insert(out.end(), announced.begin(), announced.end());
    return out;
}

bool Session::Pause(int64_t ms) {
    const int64_t until = NowMs() + ms;
    while (!StopRequested()) {
        const int64_t left = until - NowMs();
        if (left <= 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, 50)));
    }
    return false;
}

}  // namespace kestrix::cli
