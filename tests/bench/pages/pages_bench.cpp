// The cost of a list refresh as the operator meets it: one page of 100
// rows out of 10 000 stored devices, from the store query to a filled grid,
// with and without a filter, and the status page with its announced-only
// merge. Reports numbers; never passes or fails. Runs offscreen:
//
//     QT_QPA_PLATFORM=offscreen build/tests/bench/pages/pages_bench

#include <memory>

#include <QApplication>
#include <QComboBox>
#include <benchmark/benchmark.h>

#include "pages/RebootDlg.h"
#include "pages/StatusDlg.h"
#include "shell/AppContext.h"
#include "tests/support/device_records.h"
#include "tools/devsim/fleet.h"

namespace kestrix {
namespace {

constexpr int kFleet = 10000;

// A simulated fleet of 10 000 devices in a scratch store, built once.
testing::ScratchStore& Fleet() {
    static std::unique_ptr<testing::ScratchStore> store;
    if (store) return *store;
    store = std::make_unique<testing::ScratchStore>();
    devsim::FleetConfig config;
    config.devices = kFleet;
    config.seed = 3;
    std::vector<devsim::DeviceSpec> fleet;
    std::string err;
    if (!devsim::BuildFleet(config, fleet, err)) std::abort();
    for (const devsim::DeviceSpec& d : fleet) {
        ap_info_stu record;
        record.set_mac(MacBytesToText(d.mac));
        record.set_ap_type(d.type);
        DeviceInfoBlock info = d.info;
        info.set_up_time(d.uptime);
        info.ConvertDeviceTexts();
        record.set_info(info);
        store->Store().SaveDeviceInfo(record);
    }
    return *store;
}

// `painted`: each refresh is also drawn whole (the page rendered into an
// image, an upper bound of what the screen costs).
template <class Page>
void RefreshPage(benchmark::State& state, const std::string& filter, bool painted) {
    auto source = std::make_shared<StoreDeviceSource>(&Fleet().Store(), nullptr);
    const AppContext context;  // default appearance
    Page page(context, nullptr);
    page.SetDeviceSource(source);
    page.resize(924, 604);
    page.PageSizeBox()->setCurrentIndex(3);  // 100 rows
    page.RefreshCurrentPage();
    const int column = page.Descriptor().InitialSortColumn();
    int p = 0;
    for (auto _ : state) {
        // Pages spread over the fleet, so no two refreshes read the same rows.
        page.RefreshList(1 + (p++ * 37) % 50, false, column, filter);
        if (painted) benchmark::DoNotOptimize(page.grab());
    }
    state.counters["rows"] = page.RowsPerPage();
}

void BM_RebootPage100Of10000(benchmark::State& state) {
    RefreshPage<CRebootDlg>(state, "", false);
}
void BM_StatusPage100Of10000(benchmark::State& state) {
    RefreshPage<CStatusDlg>(state, "", false);
}
void BM_RebootPageFiltered(benchmark::State& state) {
    RefreshPage<CRebootDlg>(state, "2", false);
}
void BM_RebootPagePainted(benchmark::State& state) {
    RefreshPage<CRebootDlg>(state, "", true);
}
void BM_StatusPagePainted(benchmark::State& state) {
    RefreshPage<CStatusDlg>(state, "", true);
}

BENCHMARK(BM_RebootPage100Of10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StatusPage100Of10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RebootPageFiltered)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RebootPagePainted)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StatusPagePainted)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace kestrix

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
