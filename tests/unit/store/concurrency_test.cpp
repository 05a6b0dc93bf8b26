// The link's three processing threads and the user-interface thread use
// the store at once: nothing may be lost, doubled or torn.

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "store/field_texts.h"
#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::MacOf;
using testing::RawDb;
using testing::ScratchStore;

constexpr uint32_t kDevices = 120;  // per writer
constexpr int kRounds = 3;

ap_info_stu Device(uint32_t n, int round) {
    ap_info_stu r;
    r.set_mac(MacOf(n));
    WriteFixedText(r.data() + 54, 32, r.data() + 86,
                   "dev" + std::to_string(n) + "-r" + std::to_string(round));
    r.data()[33] = 10;
    r.data()[36] = static_cast<uint8_t>(n);
    return r;
}

TEST(StoreConcurrency, FourThreadsLoseNothing) {
    ScratchStore s;
    std::atomic<int> writersLeft{3};
    std::atomic<int> failures{0};
    const auto check = [&](bool ok) {
        if (!ok) failures.fetch_add(1);
    };
    {
        // Discovery: full information, then an uptime report, per device.
        std::jthread discovery([&] {
            for (int round = 0; round < kRounds; ++round) {
                for (uint32_t n = 0; n < kDevices; ++n) {
                    check(s->SaveDeviceInfo(Device(n, round)));
                    check(
                        s->UpdateDeviceUptime(MacOf(n), "10.0.0." + std::to_string(n), 1000u + n));
                }
            }
            --writersLeft;
        });
        // Command replies: other devices, each saved then given a status.
        std::jthread replies([&] {
            for (int round = 0; round < kRounds; ++round) {
                for (uint32_t n = kDevices; n < 2 * kDevices; ++n) {
                    check(s->SaveDeviceInfo(Device(n, round)));
                    check(s->SetDeviceStatus(MacOf(n), kStatusRestarting));
                }
            }
            --writersLeft;
        });
        // Neighbour scans, 32 entries per packet.
        std::jthread scans([&] {
            for (int packet = 0; packet < 40; ++packet) {
                NeighbourReport report;
                report.packet_count = 40;
                report.packet_id = static_cast<uint8_t>(packet);
                report.icount = 32;
                for (uint8_t i = 0; i < 32; ++i) {
                    config_otherwl_basic& e = report.entries.emplace_back();
                    e.set_mac({0, 0x1b, 0, 0, static_cast<uint8_t>(packet % 4), i});
                    e.set_signal(static_cast<int8_t>(-packet));
                }
                check(s->SaveScanPacket(report));
            }
            --writersLeft;
        });
        // The pages, reading while all of that goes on.
        std::jthread pages([&] {
            int reads = 0;
            while (writersLeft.load() > 0 || reads < 10) {
                std::vector<ap_info_stu> list;
                int pageCount = 0, online = 0;
                check(s->QueryDevicePage(reads % 2 ? "dev1" : "", 1, true, 30, 1 + reads % 3, list,
                                         pageCount, online));
                check(list.size() <= 30 && online <= 2 * static_cast<int>(kDevices));
                std::vector<std::string> macs;
                check(s->GetAllDeviceMacs(macs));
                check(std::set<std::string>(macs.begin(), macs.end()).size() == macs.size());
                std::vector<config_otherwl_basic> scan;
                check(s->QueryScanList(4, false, scan));
                ++reads;
            }
        });
    }
    EXPECT_EQ(failures.load(), 0);
    RawDb db(s.path);
    EXPECT_EQ(db.One("select count(*) || '/' || count(distinct mac) from ap_info"), "240/240");
    for (uint32_t n = 0; n < 2 * kDevices; ++n) {
        const bool first = n < kDevices;
        ASSERT_EQ(db.One("select ap_name || '|' || ap_status || '|' || up_time || '|' || ip from "
                         "ap_info where mac = '" +
                         MacOf(n) + "'"),
                  "dev" + std::to_string(n) + "-r" + std::to_string(kRounds - 1) + "|" +
                      (first ? "1|" : "4|") + (first ? std::to_string(1000 + n) : "0") +
                      "|10.0.0." + std::to_string(n))
            << MacOf(n);
    }
    EXPECT_EQ(db.One("select count(*) || '/' || count(distinct mac) from ap_other_info"),
              "128/128");
}

}  // namespace
}  // namespace kestrix
