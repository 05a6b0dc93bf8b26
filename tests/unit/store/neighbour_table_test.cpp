// The neighbour table: one row per neighbour MAC, the entry <-> row
// mapping, sorting and clearing.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::RawDb;
using testing::ScratchStore;

config_otherwl_basic Neighbour(uint8_t last, int8_t signal, uint8_t channel,
                               const std::string& ssid) {
    config_otherwl_basic e;
    e.set_mac({0x00, 0x1b, 0, 0, 0, last});
    e.set_signal(signal);
    e.set_channel(channel);
    e.set_secure_mode(static_cast<uint8_t>(last % 7));
    e.set_ssid(ssid);
    e.set_exchannel(static_cast<uint8_t>(channel + 4));
    e.set_bandwidth(static_cast<uint8_t>(last % 3));
    return e;
}

NeighbourReport Report(uint8_t count, uint8_t id, std::vector<config_otherwl_basic> entries) {
    NeighbourReport r;
    r.packet_count = count;
    r.packet_id = id;
    r.icount = static_cast<uint8_t>(entries.size());
    r.entries = std::move(entries);
    return r;
}

std::vector<int> Signals(CSqlManagement& s, int sort, bool asc) {
    std::vector<config_otherwl_basic> list;
    EXPECT_TRUE(s.QueryScanList(sort, asc, list));
    std::vector<int> out;
    for (const auto& e : list) out.push_back(e.signal());
    return out;
}

TEST(NeighbourTable, EntriesMapBothWaysAndRepeatsKeepOneRow) {
    ScratchStore s;
    ASSERT_TRUE(s->SaveScanPacket(
        Report(2, 0, {Neighbour(1, -70, 6, "north"), Neighbour(2, -40, 11, "")})));
    ASSERT_TRUE(s->SaveScanPacket(Report(2, 1, {Neighbour(1, -65, 36, "north-2")})));
    RawDb db(s.path);
    EXPECT_EQ(db.Rows("select packet_count, packet_id, icount, mac, ssid, signal, channel, "
                      "secure_mode, exchannel, bandwidth from ap_other_info order by mac"),
              (std::vector<std::vector<std::string>>{
                  {"2", "1", "1", "00:1b:00:00:00:01", "north-2", "-65", "36", "1", "40", "1"},
                  {"2", "0", "2", "00:1b:00:00:00:02", "", "-40", "11", "2", "15", "2"}}));
    config_otherwl_basic e;
    ASSERT_TRUE(s->GetScanEntry("00:1b:00:00:00:01", e));
    EXPECT_EQ(e, Neighbour(1, -65, 36, "north-2"));
    EXPECT_EQ(e.data()[6], 0xBF);
    ASSERT_TRUE(s->GetScanEntry("00:1b:00:00:00:09", e));
    EXPECT_EQ(e, config_otherwl_basic());
    // Texts are trimmed and numbers kept to their low byte on the way back.
    ASSERT_TRUE(
        s->ExecuteSql("update ap_other_info set ssid = ' padded  ', channel = 300, signal = -70"));
    ASSERT_TRUE(s->GetScanEntry("00:1b:00:00:00:02", e));
    EXPECT_EQ(e.ssid(), "padded");
    EXPECT_EQ(e.channel(), 44);
    EXPECT_EQ(e.data()[6], 0xBA);
}

TEST(NeighbourTable, EntryCountsAndLongSsids) {
    ScratchStore s;
    EXPECT_TRUE(s->SaveScanPacket(Report(1, 0, {})));
    EXPECT_EQ(RawDb(s.path).One("select count(*) from ap_other_info"), "0");
    std::vector<config_otherwl_basic> many;
    for (uint8_t i = 0; i < 40; ++i) many.push_back(Neighbour(i, -50, 1, std::string(32, 'w')));
    NeighbourReport r = Report(1, 0, many);
    ASSERT_TRUE(s->SaveScanPacket(r));  // 40 claimed, 32 taken
    EXPECT_EQ(RawDb(s.path).One("select count(*) || ' ' || max(length(ssid)) from ap_other_info"),
              "32 32");
    r.icount = 3;  // fewer claimed than carried: only those count
    r.entries[0] = Neighbour(0, -1, 1, "changed");
    r.entries[5] = Neighbour(5, -1, 1, "ignored");
    ASSERT_TRUE(s->SaveScanPacket(r));
    EXPECT_EQ(RawDb(s.path).One("select group_concat(ssid) from ap_other_info where signal = -1"),
              "changed");
}

TEST(NeighbourTable, SortingAndClearing) {
    ScratchStore s;
    ASSERT_TRUE(s->SaveScanPacket(Report(
        1, 0,
        {Neighbour(3, -80, 6, "b"), Neighbour(1, -40, 149, "c"), Neighbour(2, -60, 36, "a")})));
    EXPECT_EQ(Signals(*s, 4, false), (std::vector<int>{-40, -60, -80}));  // strongest first
    EXPECT_EQ(Signals(*s, 4, true), (std::vector<int>{-80, -60, -40}));
    EXPECT_EQ(Signals(*s, 0, true), (std::vector<int>{-40, -60, -80}));   // by MAC
    EXPECT_EQ(Signals(*s, 1, true), (std::vector<int>{-60, -80, -40}));   // by SSID
    EXPECT_EQ(Signals(*s, 2, false), (std::vector<int>{-40, -60, -80}));  // by channel, numerically
    EXPECT_EQ(Signals(*s, 3, true), (std::vector<int>{-40, -60, -80}));   // by security mode
    for (int bad : {-1, 5}) {
        std::vector<config_otherwl_basic> list;
        EXPECT_FALSE(s->QueryScanList(bad, true, list));
        EXPECT_TRUE(list.empty());
    }
    ASSERT_TRUE(s->DeleteScanResults());
    std::vector<config_otherwl_basic> list;
    EXPECT_TRUE(s->QueryScanList(0, true, list));
    EXPECT_TRUE(list.empty());
}

TEST(NeighbourTable, HostileSsidIsJustText) {
    ScratchStore s;
    const std::string ssid = "x'); drop table ap_info;--";
    ASSERT_TRUE(s->SaveScanPacket(Report(1, 0, {Neighbour(1, -50, 1, ssid)})));
    config_otherwl_basic e;
    ASSERT_TRUE(s->GetScanEntry("00:1b:00:00:00:01", e));
    EXPECT_EQ(e.ssid(), ssid);
    EXPECT_EQ(RawDb(s.path).One("select count(*) from ap_info"), "0");
}

}  // namespace
}  // namespace kestrix
