// How long each of the link's eight threads takes to stop at shutdown when
// the lists are at their largest: 20 000 commands pending (the retransmitter
// in the middle of a pass) and 5 000 informed devices ageing out at once (the
// ticker in the middle of its store deletes, against the real SQLite store).
// It reports numbers and never fails on them; each thread may take 100 ms.
// Run it by hand (it sends on loopback only):
//
//   scripts/private-net build/tests/bench/link/link_stop_bench [--rounds R]

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "link/device_link.h"
#include "store/sql_management.h"
#include "tests/unit/link/link_test_util.h"

namespace {

using namespace std::chrono;
using namespace kestrix;

constexpr int kPending = 20000;
constexpr int kDevices = 5000;
constexpr int kLoopMs = 50;  // tick and retry interval
constexpr const char* kThreadNames[8] = {
    "announce receiver",   "heartbeat receiver", "reply receiver",  "announce processor",
    "heartbeat processor", "reply processor",    "presence ticker", "retransmitter"};

std::string MacOf(int i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:02:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
    return text;
}

std::string IpOf(int i) {
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

// One round: returns the eight stop times, or an empty list on a failure.
std::vector<microseconds> RunOnce(int delayMs) {
    const std::string path = "/tmp/kestrix-stop-bench-" + std::to_string(getpid()) + ".mdb";
    std::vector<microseconds> times;
    {
        CSqlManagement sql(path);
        DeviceLink link;
        link.SetStore(&sql);
        link.SetAdapterSource(std::make_shared<testing::FakeAdapterSource>(
            std::vector<AdapterRecord>{testing::LoopbackAdapter()}));
        std::vector<AdapterRecord> adapters;
        link.GetLocalAdapters(adapters);
        // 5 000 informed devices, stored, whose countdowns have all run down:
        // the first tick removes every one of them and deletes it from the
        // store.
        for (int i = 0; i < kDevices; ++i) {
            const std::string ip = IpOf(i);
            auto an = testing::DeviceMessage(MsgType::Announce, MacOf(i),
                                             testing::AnnouncePayload("V", "n", "s", 1, 1));
            link.ProcessDatagram(kPortAnnounce, an.data(), an.size(), testing::Addr(ip), 1);
            auto info = testing::DeviceMessage(MsgType::DeviceInfo, MacOf(i),
                                               testing::InfoFor(ip, "d", 1).ToVector());
            link.ProcessDatagram(kPortReply, info.data(), info.size(), testing::Addr(ip), 1);
        }
        for (int k = 0; k < 3; ++k) link.AgePresence();
        // 20 000 commands nobody answers, registered before the start so the
        // retransmitter finds them all at its first pass (three retries keep
        // them for four passes, far beyond the moment of the shutdown).
        for (int i = 0; i < kPending; ++i)
            link.SendToDevice("127.0.200." + std::to_string(1 + i % 250), MsgType::Reboot, nullptr,
                              0, MacOf(i), true);
        link.SetPresenceTickMs(kLoopMs);
        if (!link.Start(3, kLoopMs)) {
            std::fprintf(stderr, "link start failed on port %u\n", link.FailedPort());
            return times;
        }
        // The first tick and the first pass begin after kLoopMs; a pass over
        // 20 000 resends and 5 000 store deletes each take longer than the
        // rest of the pause.
        std::this_thread::sleep_for(milliseconds(kLoopMs + delayMs));
        link.Shutdown();
        times = link.LastStopTimes();
    }
    std::remove(path.c_str());
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));

    std::array<microseconds, 8> worst{};
    for (int r = 0; r < rounds; ++r) {
        // The moment of the shutdown moves from round to round.
        const std::vector<microseconds> t = RunOnce(2 + 8 * r);
        if (t.size() != worst.size()) return 1;
        std::printf("round %d:", r + 1);
        for (size_t i = 0; i < t.size(); ++i) {
            worst[i] = std::max(worst[i], t[i]);
            std::printf(" %lld", static_cast<long long>(t[i].count()));
        }
        std::printf(" us\n");
    }
    std::printf("worst stop time per thread over %d rounds (%d pending, %d ageing out):\n", rounds,
                kPending, kDevices);
    for (size_t i = 0; i < worst.size(); ++i)
        std::printf("  %-20s %8.2f ms\n", kThreadNames[i], worst[i].count() / 1000.0);
    const auto slowest = *std::max_element(worst.begin(), worst.end());
    std::printf("slowest %.2f ms (each may take 100 ms)\n", slowest.count() / 1000.0);
    return 0;
}
