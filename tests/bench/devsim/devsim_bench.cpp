// The simulator's own rates in the lab, the floor that the tool's discovery
// time is compared with:
//   - announces per second: one search, until every device's Announce is in;
//   - DeviceInfo replies per second: one request per device sent back to
//     back by multicast, until every reply is in.
// It reports numbers and never fails on them. Run it by hand, as root:
//
//   scripts/private-net build/tests/bench/devsim/devsim_bench [--rounds R] [N ...]
//
// (default fleets 1000 and 5000, 5 rounds each; the median and the best
// round are printed, with the simulator's CPU time per round).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "link/wire/wire_format.h"
#include "tests/support/labkit.h"

namespace {

using namespace std::chrono;
using namespace kestrix;
using namespace kestrix::labkit;

struct Round {
    double seconds = 0;
    size_t received = 0;
    double cpu = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Report(const char* what, int n, const std::vector<Round>& rounds) {
    std::vector<double> secs;
    double cpu = 0;  // summed: one round is below the clock tick of /proc
    size_t complete = 0;
    for (const Round& r : rounds) {
        secs.push_back(r.seconds);
        cpu += r.cpu;
        complete += r.received == static_cast<size_t>(n);
    }
    double med = Median(secs), best = *std::min_element(secs.begin(), secs.end());
    std::printf(
        "%-22s %5d devices: median %7.1f ms (%8.0f /s), best %7.1f ms (%8.0f /s), "
        "simulator CPU %5.1f ms/round, %zu/%zu rounds complete\n",
        what, n, med * 1e3, n / med, best * 1e3, n / best,
        cpu * 1e3 / static_cast<double>(rounds.size()), complete, rounds.size());
}

int Run(int n, int rounds) {
    Lab lab;
    std::string err;
    if (!lab.Up({.devices = n}, &err)) {
        std::fprintf(stderr, "devsim_bench: %s\n", err.c_str());
        return 1;
    }
    const int pid = lab.SimulatorPid();
    Peer peer;
    if (!peer.ok()) {
        std::fprintf(stderr, "devsim_bench: %s\n", peer.error().c_str());
        return 1;
    }
    auto dump = lab.Dump(&err);
    if (!dump) {
        std::fprintf(stderr, "devsim_bench: %s\n", err.c_str());
        return 1;
    }
    std::vector<MacBytes> macs;
    for (const SimDevice& d : dump->devices) macs.push_back(MacTextToBytes(d.mac));

    std::vector<Round> announce, info;
    for (int r = 0; r < rounds; ++r) {
        peer.Drain();
        double cpu0 = ProcessCpuSeconds(pid);
        auto t0 = steady_clock::now();
        peer.Search();
        std::set<std::string> seen;
        auto last = t0;
        for (;;) {
            auto g = peer.Receive(kPortAnnounce, 3s);
            if (!g) break;
            seen.insert(g->mac());
            last = steady_clock::now();
            if (seen.size() == static_cast<size_t>(n)) break;
        }
        announce.push_back(
            {duration<double>(last - t0).count(), seen.size(), ProcessCpuSeconds(pid) - cpu0});

        peer.Drain();
        cpu0 = ProcessCpuSeconds(pid);
        t0 = steady_clock::now();
        for (const MacBytes& m : macs) peer.SendCommand(MsgType::DeviceInfo, m);
        seen.clear();
        last = t0;
        for (;;) {
            auto g = peer.Receive(kPortReply, 3s);
            if (!g) break;
            seen.insert(g->mac());
            last = steady_clock::now();
            if (seen.size() == static_cast<size_t>(n)) break;
        }
        info.push_back(
            {duration<double>(last - t0).count(), seen.size(), ProcessCpuSeconds(pid) - cpu0});
    }
    Report("announces", n, announce);
    Report("DeviceInfo replies", n, info);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            sizes.push_back(std::atoi(a.c_str()));
        }
    }
    if (sizes.empty()) sizes = {1000, 5000};
    int status = 0;
    for (int n : sizes) status |= Run(n, rounds);
    kestrix::labkit::Lab().Down();
    return status;
}
