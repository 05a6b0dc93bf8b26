// Cost of the store's hot paths as the fleet grows: saving a device's full
// information (insert and update), one page of the device list beside the
// plain walk over every row, and one neighbour report of 32 entries.

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "tests/support/reference_page.h"
#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::MacOf;
using testing::RandomRecord;
using testing::ScratchStore;

// A device as discovery delivers it: random fields, a name holding digits,
// an address in 10.0.0.0/8.
ap_info_stu Device(std::mt19937& rng, uint32_t n) {
    ap_info_stu r = RandomRecord(rng, MacOf(n));
    WriteFixedText(r.data() + 54, 32, r.data() + 86, "site-" + std::to_string(rng() % 5000));
    r.data()[33] = 10;
    r.data()[130] = static_cast<uint8_t>(1 + rng() % 165);
    return r;
}

// A store holding `rows` devices, built once per size for the read benchmarks.
ScratchStore& Fleet(size_t rows) {
    static std::map<size_t, std::unique_ptr<ScratchStore>> fleets;
    auto& slot = fleets[rows];
    if (!slot) {
        slot = std::make_unique<ScratchStore>();
        std::mt19937 rng(static_cast<unsigned>(rows));
        for (uint32_t n = 0; n < rows; ++n) (*slot)->SaveDeviceInfo(Device(rng, n));
    }
    return *slot;
}

void BM_SaveDeviceInfoInsert(benchmark::State& state) {
    ScratchStore s;
    std::mt19937 rng(1);
    const auto rows = static_cast<uint32_t>(state.range(0));
    for (uint32_t n = 0; n < rows; ++n) s->SaveDeviceInfo(Device(rng, n));
    std::vector<ap_info_stu> fresh;
    for (uint32_t n = 0; n < 4000; ++n) fresh.push_back(Device(rng, rows + n));
    size_t i = 0;
    for (auto _ : state) {
        if (!s->SaveDeviceInfo(fresh[i++ % fresh.size()])) state.SkipWithError("save failed");
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_SaveDeviceInfoInsert)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(4000)
    ->Unit(benchmark::kMicrosecond);

void BM_SaveDeviceInfoUpdate(benchmark::State& state) {
    const auto rows = static_cast<uint32_t>(state.range(0));
    ScratchStore& s = Fleet(rows);
    std::mt19937 rng(2);
    std::vector<ap_info_stu> again;
    for (uint32_t n = 0; n < 1000; ++n) again.push_back(Device(rng, (n * 7919u) % rows));
    size_t i = 0;
    for (auto _ : state) {
        if (!s->SaveDeviceInfo(again[i++ % again.size()])) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveDeviceInfoUpdate)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Args: rows, filter (0: none, 1: "6"), implementation (0: store, 1: reference).
void BM_QueryDevicePage(benchmark::State& state) {
    const auto rows = static_cast<size_t>(state.range(0));
    const std::string filter = state.range(1) ? "6" : "";
    ScratchStore& s = Fleet(rows);
    testing::ReferencePager reference(s.path);
    const int page = static_cast<int>(rows / 30 / 3);  // a page in the first half
    for (auto _ : state) {
        std::vector<ap_info_stu> list;
        int pages = 0, online = 0;
        const bool ok =
            state.range(2) == 0
                ? s->QueryDevicePage(filter, 1, true, 30, page, list, pages, online)
                : reference.QueryDevicePage(filter, 1, true, 30, page, list, pages, online);
        if (!ok || list.size() != 30) state.SkipWithError("page query failed");
        benchmark::DoNotOptimize(list.data());
    }
    state.SetLabel(std::string(state.range(2) ? "reference" : "store") +
                   (filter.empty() ? ", no filter" : ", filter \"6\""));
}
BENCHMARK(BM_QueryDevicePage)
    ->ArgsProduct({{1000, 10000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Arg: 0 a scan's first packet (32 new rows), 1 the same neighbours again.
void BM_SaveScanPacket32(benchmark::State& state) {
    ScratchStore s;
    NeighbourReport report;
    report.packet_count = 1;
    report.icount = 32;
    for (uint8_t i = 0; i < 32; ++i) {
        config_otherwl_basic& e = report.entries.emplace_back();
        e.set_mac({0, 0x1b, 0, 0, 1, i});
        e.set_ssid("neighbour-" + std::to_string(i));
        e.set_signal(static_cast<int8_t>(-40 - i));
    }
    s->SaveScanPacket(report);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            state.PauseTiming();
            s->DeleteScanResults();
            state.ResumeTiming();
        }
        if (!s->SaveScanPacket(report)) state.SkipWithError("save failed");
    }
    state.SetLabel(state.range(0) ? "update" : "insert");
}
BENCHMARK(BM_SaveScanPacket32)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kestrix

BENCHMARK_MAIN();
