// Discovery speed of the link against the simulated fleet in the lab: the
// time from Search to every device saved in the store with status 1, the
// link's CPU time (this process: link threads and the store) and the
// simulator's, for fleets of 1 000 and 5 000 devices, with a check that no
// device was lost. It reports numbers and never fails on them. Run it by
// hand, as root:
//
//   scripts/private-net build/tests/bench/link/link_bench [--rounds R] [N ...]
//
// Each round first measures the fleet's own floor on a fresh simulator: a
// bare peer's search until every announcement is in, then one information
// request per device until every reply is in (as tests/bench/devsim does). A
// search cannot finish before both have left the fleet. The link's time is
// reported as a ratio to that floor from the same round, since the machines
// are too noisy for absolute times to compare between runs.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "link/device_link.h"
#include "store/sql_management.h"
#include "tests/support/labkit.h"
#include "tests/support/recording_store.h"

namespace {

using namespace std::chrono;
using namespace kestrix;

// Counts distinct devices saved and remembers when the last one came; every
// call goes on to the real store.
class TimingStore : public testing::RecordingStore {
public:
    TimingStore(LinkStore& inner, size_t expected) : RecordingStore(inner), expected_(expected) {}
    bool SaveDeviceInfo(const ap_info_stu& record) override {
        bool ok = RecordingStore::SaveDeviceInfo(record);
        std::lock_guard lock(mutex_);
        if (ok && seen_.insert(record.mac()).second && seen_.size() == expected_)
            done_ = steady_clock::now();
        return ok;
    }
    bool SaveDeviceInfos(const std::vector<ap_info_stu>& records) override {
        bool ok = RecordingStore::SaveDeviceInfos(records);
        std::lock_guard lock(mutex_);
        for (const auto& record : records)
            if (ok && seen_.insert(record.mac()).second && seen_.size() == expected_)
                done_ = steady_clock::now();
        return ok;
    }
    size_t Seen() {
        std::lock_guard lock(mutex_);
        return seen_.size();
    }
    steady_clock::time_point Done() {
        std::lock_guard lock(mutex_);
        return done_;
    }

private:
    const size_t expected_;
    std::mutex mutex_;
    std::set<std::string> seen_;
    steady_clock::time_point done_{};
};

double OwnCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double CpuSecondsOf(const std::string& statPath) {
    std::ifstream stat(statPath);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stoll(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The fleet's floor: every Announce to a bare peer's search, then every
// DeviceInfo reply to one request per device. Negative when incomplete.
double FleetFloor(labkit::Lab& lab, int devices) {
    std::string err;
    auto dump = lab.Dump(&err);
    labkit::Peer peer;
    if (!dump || !peer.ok()) return -1;
    const auto collect = [&](uint16_t port, steady_clock::time_point t0) {
        std::set<std::string> seen;
        auto last = t0;
        while (seen.size() < static_cast<size_t>(devices)) {
            auto g = peer.Receive(port, 3s);
            if (!g) return -1.0;
            seen.insert(g->mac());
            last = steady_clock::now();
        }
        return duration<double>(last - t0).count();
    };
    peer.Drain();
    auto t0 = steady_clock::now();
    peer.Search();
    const double announces = collect(kPortAnnounce, t0);
    peer.Drain();
    t0 = steady_clock::now();
    for (const auto& d : dump->devices) peer.SendCommand(MsgType::DeviceInfo, d.mac);
    const double replies = collect(kPortReply, t0);
    return announces < 0 || replies < 0 ? -1 : announces + replies;
}

// CPU seconds of each thread of this process, by thread id.
double CpuSeconds(int pid) {
    return CpuSecondsOf("/proc/" + std::to_string(pid) + "/stat");
}

std::map<int, double> ThreadCpuSeconds() {
    std::map<int, double> out;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const int tid = std::atoi(e->d_name);
            out[tid] = CpuSecondsOf("/proc/self/task/" + std::to_string(tid) + "/stat");
        }
        ::closedir(d);
    }
    return out;
}

struct Round {
    double floor = -1;    // the fleet's own floor, this round
    double seconds = -1;  // negative: not every device arrived
    size_t found = 0;
    size_t online = 0;
    double cpu = 0;
    double simCpu = 0;
    std::vector<double> threadCpu;  // the link's threads, in the order they start
};

Round RunOnce(labkit::Lab& lab, int devices) {
    Round r;
    std::string err;
    labkit::LabOptions options;
    options.devices = devices;
    if (!lab.Up(options, &err)) {
        std::fprintf(stderr, "lab up failed: %s\n", err.c_str());
        return r;
    }
    r.floor = FleetFloor(lab, devices);
    // A fresh simulator for the link: nothing carries over from the peer.
    if (!lab.Up(options, &err)) {
        std::fprintf(stderr, "lab up failed: %s\n", err.c_str());
        return r;
    }
    int simPid = 0;
    std::ifstream(lab.Dir() + "/devsim.pid") >> simPid;

    const std::string path = "/tmp/kestrix-link-bench-" + std::to_string(getpid()) + ".mdb";
    {
        CSqlManagement sql(path);
        TimingStore store(sql, static_cast<size_t>(devices));
        DeviceLink link;
        link.SetStore(&store);
        if (!link.Start(3, 2000)) {
            std::fprintf(stderr, "link start failed on port %u\n", link.FailedPort());
            return r;
        }
        link.RefreshCaptureDevices();
        const auto threads0 = ThreadCpuSeconds();
        const double cpu0 = OwnCpuSeconds();
        const double sim0 = CpuSeconds(simPid);
        const auto t0 = steady_clock::now();
        link.Search();
        const auto limit = t0 + 60s;
        while (store.Seen() < static_cast<size_t>(devices) && steady_clock::now() < limit)
            std::this_thread::sleep_for(1ms);
        r.found = store.Seen();
        if (r.found == static_cast<size_t>(devices))
            r.seconds = duration<double>(store.Done() - t0).count();
        r.cpu = OwnCpuSeconds() - cpu0;
        // The link's eight threads are the newest of the process, started in
        // their fixed order, so thread ids sort them.
        std::vector<std::pair<int, double>> threads;
        for (const auto& [tid, cpu] : ThreadCpuSeconds())
            if (tid != ::getpid()) threads.emplace_back(tid, cpu - threads0.at(tid));
        for (size_t i = threads.size() >= 8 ? threads.size() - 8 : 0; i < threads.size(); ++i)
            r.threadCpu.push_back(threads[i].second);
        r.simCpu = CpuSeconds(simPid) - sim0;
        if (r.found != static_cast<size_t>(devices)) {
            // Where the missing devices went: the link's counters, the host's
            // UDP error counters and the simulator's own statistics.
            auto c = link.GetCounters();
            size_t informed = 0, present = 0;
            for (const auto& e : link.PresenceSnapshot()) {
                ++present;
                informed += e.state == PresenceState::Informed ? 1 : 0;
            }
            std::printf("  presence %zu (%zu informed), pending %zu, queued %llu/%llu/%llu\n",
                        present, informed, link.PendingSnapshot().size(),
                        static_cast<unsigned long long>(c.queued[0]),
                        static_cast<unsigned long long>(c.queued[1]),
                        static_cast<unsigned long long>(c.queued[2]));
            std::ifstream snmp("/proc/self/net/snmp");
            std::string line;
            while (std::getline(snmp, line))
                if (line.rfind("Udp:", 0) == 0) std::printf("  %s\n", line.c_str());
            if (auto stats = lab.Control("stats")) std::printf("  simulator %s\n", stats->c_str());
        }

        std::vector<ap_info_stu> page;
        int pages = 0, online = 0;
        sql.QueryDevicePage("", 0, true, devices + 1, 1, page, pages, online);
        r.online = static_cast<size_t>(online);
        link.Shutdown();
    }
    std::remove(path.c_str());
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    std::vector<int> fleets;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            fleets.push_back(std::atoi(argv[i]));
    }
    if (fleets.empty()) fleets = {1000, 5000};

    labkit::Lab lab;
    std::string err;
    labkit::LabOptions first;
    first.devices = fleets.front();
    if (!lab.Up(first, &err) || !labkit::EnterNetns(labkit::kHostNamespace, &err)) {
        std::fprintf(stderr, "cannot bring the lab up: %s\n", err.c_str());
        return 1;
    }
    std::printf("%-7s %-6s %10s %10s %7s %8s %8s %10s %10s\n", "devices", "round", "floor s",
                "link s", "ratio", "found", "online", "link cpu", "sim cpu");
    for (int n : fleets) {
        std::vector<double> times, ratios;
        for (int k = 0; k < rounds; ++k) {
            Round r = RunOnce(lab, n);
            const double ratio = r.seconds >= 0 && r.floor > 0 ? r.seconds / r.floor : -1;
            std::printf("%-7d %-6d %10.3f %10.3f %7.2f %8zu %8zu %9.2fs %9.2fs\n", n, k + 1,
                        r.floor, r.seconds, ratio, r.found, r.online, r.cpu, r.simCpu);
            if (r.threadCpu.size() == 8)
                std::printf(
                    "        thread cpu ms: receivers %.0f/%.0f/%.0f, processors "
                    "%.0f/%.0f/%.0f, ticker %.0f, retransmitter %.0f\n",
                    r.threadCpu[0] * 1e3, r.threadCpu[1] * 1e3, r.threadCpu[2] * 1e3,
                    r.threadCpu[3] * 1e3, r.threadCpu[4] * 1e3, r.threadCpu[5] * 1e3,
                    r.threadCpu[6] * 1e3, r.threadCpu[7] * 1e3);
            std::fflush(stdout);
            if (r.seconds >= 0) times.push_back(r.seconds);
            if (ratio > 0) ratios.push_back(ratio);
        }
        std::sort(times.begin(), times.end());
        std::sort(ratios.begin(), ratios.end());
        if (!times.empty())
            std::printf("%-7d median %.3f s, best %.3f s (%zu of %d rounds complete)\n", n,
                        times[times.size() / 2], times.front(), times.size(), rounds);
        if (!ratios.empty())
            std::printf("%-7d link / fleet floor: median %.2f, best %.2f\n", n,
                        ratios[ratios.size() / 2], ratios.front());
    }
    lab.Down();
    return 0;
}
