// The device table: the record <-> row mapping of every column, paging,
// sorting, filtering, and the single-device operations.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/field_texts.h"
#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

using testing::MacOf;
using testing::RandomRecord;
using testing::RawDb;
using testing::ScratchStore;

enum Form { U8, U16, U32, IP, MAC, TXT };
struct Mapped {
    const char* column;
    Form form;
    size_t offset;
    size_t cap;  // text areas
    bool readBack;
};
// Column, record field and form, as the record layout and the table define them.
const Mapped kMapped[] = {
    {"ap_type", U16, 18, 0, true},
    {"work_mode", U8, 24, 0, true},
    {"mode_btn_status", U8, 25, 0, true},
    {"up_time", U32, 28, 0, true},
    {"ip_mode", U8, 32, 0, true},
    {"ip", IP, 33, 0, true},
    {"ip_mask", IP, 37, 0, true},
    {"ip_gateway", IP, 41, 0, true},
    {"ip_dns1", IP, 45, 0, true},
    {"ip_dns2", IP, 49, 0, true},
    {"ap_name", TXT, 54, 32, true},
    {"version", TXT, 87, 32, true},
    {"restart_en", U8, 120, 0, true},
    {"restart_type", U8, 121, 0, true},
    {"restart_time", U16, 122, 0, true},
    {"rf_count", U8, 124, 0, true},
    {"rf_en", U8, 125, 0, true},
    {"rf_type", U8, 126, 0, true},
    {"country_code", U8, 127, 0, true},
    {"network_mode", U8, 128, 0, true},
    {"bandwidth", U8, 129, 0, true},
    {"channel", U8, 130, 0, true},
    {"expand_channel", U8, 131, 0, true},
    {"tx_power", U8, 132, 0, true},
    {"tx_power_min", U8, 133, 0, true},
    {"tx_power_max", U8, 134, 0, true},
    {"ssid_rf_type", U8, 146, 0, true},
    {"ssid_id", U8, 147, 0, true},
    {"ssid_hide", U8, 148, 0, true},
    {"ssid_mac", MAC, 149, 0, true},
    {"ssid", TXT, 155, 32, true},
    {"secure_mode", U8, 188, 0, true},
    {"wpapsk_auth_type", U8, 189, 0, true},
    {"wpapsk_key_value", TXT, 190, 64, true},
    {"wpapsk_key_time", U32, 255, 0, true},
    {"wep_auth_type", U8, 259, 0, true},
    {"wep_key_index", U8, 260, 0, true},
    {"wep_key_type0", U8, 261, 0, true},
    {"wep_key_value0", TXT, 262, 26, true},
    {"wep_key_type1", U8, 289, 0, true},
    {"wep_key_value1", TXT, 290, 26, true},
    {"wep_key_type2", U8, 317, 0, true},
    {"wep_key_value2", TXT, 318, 26, true},
    {"wep_key_type3", U8, 345, 0, true},
    {"wep_key_value3", TXT, 346, 26, true},
    {"wpa_radius_ip", IP, 374, 0, true},
    {"wpa_radius_port", U16, 378, 0, true},
    {"wpa_auth_type", U8, 380, 0, true},
    {"wpa_key", TXT, 381, 64, true},
    {"wpa_key_time", U32, 446, 0, true},
    {"ssid_count", U8, 450, 0, true},
    {"bridge_work_mode", U8, 452, 0, false},
    {"bridge_mac", MAC, 453, 0, false},
    {"bridge_channel", U8, 459, 0, false},
    {"bridge_ssid", TXT, 460, 32, false},
    {"vlan_en", U8, 756, 0, true},
    {"vlan_id", U16, 758, 0, true},
    {"vlan_id_wlan", U16, 760, 0, true},
    {"vlan_id_lan", U16, 762, 0, true},
    {"bridge_transparent", U8, 766, 0, true},
    {"tdmaEn", U8, 767, 0, true},
    {"vlan_pvid", U16, 768, 0, true},
    {"vlan_id_lan3", U16, 770, 0, true},
    {"vlan_id_lan4", U16, 772, 0, true},
    {"wl_dfs", U8, 778, 0, true},
};

// The column's expected text as the engine prints it, and the bytes the
// field covers in the record (text areas with their length byte).
std::string Expected(const Mapped& m, const ap_info_stu& r) {
    const uint8_t* p = r.data() + m.offset;
    switch (m.form) {
        case U8:
            return std::to_string(p[0]);
        case U16:
            return std::to_string(LoadU16(p));
        case U32:
            return std::to_string(static_cast<int32_t>(LoadU32(p)));
        case IP:
            return IpBytesToText(p);
        case MAC:
            return MacBytesToText(p);
        case TXT:
            return std::string(reinterpret_cast<const char*>(p), std::min<size_t>(p[m.cap], m.cap));
    }
    return {};
}
size_t Width(const Mapped& m) {
    switch (m.form) {
        case U8:
            return 1;
        case U16:
            return 2;
        case U32:
        case IP:
            return 4;
        case MAC:
            return 6;
        case TXT:
            return m.cap + 1;
    }
    return 0;
}

TEST(DeviceTable, EveryColumnMapsBothWays) {
    ScratchStore s;
    std::mt19937 rng(7);
    for (uint32_t n = 1; n <= 40; ++n) {
        const ap_info_stu r = RandomRecord(rng, MacOf(n));
        ASSERT_TRUE(s->SaveDeviceInfo(r));
        RawDb db(s.path);
        const std::string where = " from ap_info where mac = '" + r.mac() + "'";
        ap_info_stu expected;  // only mapped fields survive; the rest reads back zero
        expected.set_mac(r.mac());
        StoreU32(expected.data() + 20, 1);
        for (const Mapped& m : kMapped) {
            const std::string want = Expected(m, r);
            ASSERT_EQ(db.One("select " + std::string(m.column) + where), want) << m.column;
            if (!m.readBack) continue;
            std::copy_n(r.data() + m.offset, Width(m), expected.data() + m.offset);
            if (m.form == TXT) {  // cut to the area, zero past the text
                std::fill_n(expected.data() + m.offset + want.size(), m.cap - want.size(), 0);
                expected.data()[m.offset + m.cap] = static_cast<uint8_t>(want.size());
            }
        }
        const uint32_t type = r.ap_type(), mode = r.data()[24];
        const std::vector<std::string> derived{
            "1",
            StatusText(1),
            ModelName(type),
            WorkModeText(mode),
            UptimeText(LoadU32(r.data() + 28)),
            SecureModeText(r.data()[188]),
            BridgeTransparentText(type, mode, r.data()[766]),
            TdmaEnText(type, r.data()[767]),
            std::to_string(IpTextToNumber(IpBytesToText(r.data() + 33))) + ".0"};
        const auto row = db.Rows(
            "select ap_status, ap_status_str, ap_type_str, work_mode_str, "
            "up_time_str, secure_mode_str, bridge_transparent_str, tdmaEn_str, "
            "ip_num" +
            where);
        ASSERT_EQ(row.size(), 1u);
        EXPECT_EQ(row[0], derived);
        ap_info_stu back;
        ASSERT_TRUE(s->GetDeviceByMac(r.mac(), back));
        ASSERT_EQ(back, expected) << "record " << n;
    }
}

TEST(DeviceTable, TextsAreTrimmedAndCutWhenReadBack) {
    ScratchStore s;
    ap_info_stu r;
    r.set_mac(MacOf(1));
    ASSERT_TRUE(s->SaveDeviceInfo(r));
    ASSERT_TRUE(s->ExecuteSql("update ap_info set ap_name = '  roof ', wep_key_value0 = '" +
                              std::string(40, 'k') + "', ip = ' 10.1.2.3 '"));
    ap_info_stu back;
    ASSERT_TRUE(s->GetDeviceByMac(MacOf(1), back));
    const DeviceInfoBlock info = back.info();
    EXPECT_EQ(info.ap_name(), "roof");
    EXPECT_EQ(back.data()[86], 4);
    EXPECT_EQ(info.wireless().security().wep_key_value(0), std::string(26, 'k'));
    EXPECT_EQ(back.data()[288], 26);
    EXPECT_EQ(IpBytesToText(back.data() + 33), "10.1.2.3");
}

// A store of devices with chosen name, address, status and channel; each
// device's uptime is its number, by which pages are checked.
struct Fleet : ScratchStore {
    void Add(uint32_t n, const std::string& name, const std::string& ip, uint32_t status,
             uint8_t channel = 1) {
        ap_info_stu r;
        r.set_mac(MacOf(n));
        WriteFixedText(r.data() + 54, 32, r.data() + 86, name);
        const Ipv4Bytes b = IpTextToBytes(ip);
        std::copy(b.begin(), b.end(), r.data() + 33);
        r.data()[130] = channel;
        StoreU32(r.data() + 28, n);
        ASSERT_TRUE(store->SaveDeviceInfo(r));
        if (status != 1) {
            ASSERT_TRUE(store->SetDeviceStatus(MacOf(n), status));
        }
    }
    // The device numbers of one page, with its counts.
    std::vector<uint32_t> Page(const std::string& filter, int sort, bool asc, int size, int page,
                               int* pages = nullptr, int* online = nullptr) {
        std::vector<ap_info_stu> list;
        int p = -1, o = 0;
        EXPECT_TRUE(store->QueryDevicePage(filter, sort, asc, size, page, list, p, o));
        if (pages) *pages = p;
        if (online) *online = o;
        std::vector<uint32_t> out;
        for (const auto& r : list) out.push_back(LoadU32(r.data() + 28));
        return out;
    }
};

TEST(DeviceTable, PagesAndOnlineCounts) {
    Fleet f;
    for (uint32_t n = 0; n < 40; ++n)
        f.Add(n, "d" + std::to_string(n), "10.0.0." + std::to_string(n + 1), n % 4 == 0 ? 0 : 1);
    int pages = 0, online = 0;
    std::vector<uint32_t> want(15);
    std::iota(want.begin(), want.end(), 15u);
    EXPECT_EQ(f.Page("", 1, true, 15, 2, &pages, &online), want);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(online, 30);
    EXPECT_TRUE(f.Page("", 1, true, 15, 4, &pages, &online).empty());  // past the end
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(online, 30);
    EXPECT_EQ(f.Page("", 1, true, 20, 2, &pages).size(), 20u);
    EXPECT_EQ(pages, 2);  // exactly two full pages
    EXPECT_TRUE(f.Page("", 1, true, 20, 0).empty());
    // The online count is that of the filtered set: d1, d10..d19 less d12 and d16.
    EXPECT_EQ(f.Page("d1", 1, true, 5, 1, &pages, &online).size(), 5u);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(online, 9);
    // Unknown sort columns and empty pages leave every output alone.
    for (auto [sort, size] : {std::pair{14, 30}, {-1, 30}, {0, 0}, {0, -5}}) {
        std::vector<ap_info_stu> list(2);
        int p = 99, o = 7;
        EXPECT_FALSE(f->QueryDevicePage("", sort, true, size, 1, list, p, o));
        EXPECT_EQ(list.size(), 2u);
        EXPECT_EQ(p, 99);
        EXPECT_EQ(o, 7);
    }
    // Results are added to what the caller passes in.
    std::vector<ap_info_stu> list(1);
    int p = 0, o = 3;
    ASSERT_TRUE(f->QueryDevicePage("", 0, true, 30, 1, list, p, o));
    EXPECT_EQ(list.size(), 31u);
    EXPECT_EQ(o, 33);
}

TEST(DeviceTable, EverySortKey) {
    ScratchStore s;
    std::mt19937 rng(11);
    for (uint32_t n = 0; n < 60; ++n) {
        ap_info_stu r = RandomRecord(rng, MacOf((rng() % 100000) * 100 + n));
        for (size_t o : {24, 130, 132, 188, 766, 767}) r.data()[o] %= 4;  // many ties
        r.data()[31] &= 0x7f;                                             // uptime below 2^31
        ASSERT_TRUE(s->SaveDeviceInfo(r));
        if (n % 3 == 0) {
            ASSERT_TRUE(s->SetDeviceStatus(r.mac(), rng() % 10));
        }
    }
    using Key = std::function<std::string(const ap_info_stu&)>;
    const auto num = [](auto f) -> Key {
        return [f](const ap_info_stu& r) -> std::string {
            char b[16];
            std::snprintf(b, sizeof b, "%012lld", static_cast<long long>(f(r)));
            return b;
        };
    };
    const auto byte = [&](size_t o) {
        return num([o](const ap_info_stu& r) { return r.data()[o]; });
    };
    const auto text = [](size_t o) -> Key {
        return
            [o](const ap_info_stu& r) { return ReadFixedText(r.data() + o, 32, r.data()[o + 32]); };
    };
    const std::vector<Key> keys = {
        [](const ap_info_stu& r) { return r.mac(); },
        num([](const ap_info_stu& r) { return IpTextToNumber(IpBytesToText(r.data() + 33)); }),
        text(54),
        num([](const ap_info_stu& r) { return r.ap_type(); }),
        byte(24),
        text(155),
        byte(130),
        byte(188),
        byte(132),
        text(87),
        byte(766),
        byte(767),
        num([](const ap_info_stu& r) { return LoadU32(r.data() + 28); }),
        num([](const ap_info_stu& r) { return r.ap_status(); })};
    for (int k = 0; k < 14; ++k) {
        for (bool asc : {true, false}) {
            std::vector<ap_info_stu> list;
            int p = 0, o = 0;
            ASSERT_TRUE(s->QueryDevicePage("", k, asc, 100, 1, list, p, o));
            ASSERT_EQ(list.size(), 60u);
            std::vector<std::string> seen;
            for (const auto& r : list) seen.push_back(keys[static_cast<size_t>(k)](r));
            EXPECT_TRUE(asc ? std::is_sorted(seen.begin(), seen.end())
                            : std::is_sorted(seen.rbegin(), seen.rend()))
                << "sort column " << k << (asc ? " asc" : " desc");
        }
    }
}

TEST(DeviceTable, AddressesSortAsNumbers) {
    Fleet f;
    f.Add(1, "a", "10.0.0.10", 1);
    f.Add(2, "b", "10.0.0.9", 1);
    f.Add(3, "c", "9.255.255.255", 1);
    EXPECT_EQ(f.Page("", 1, true, 30, 1), (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_EQ(f.Page("", 0, false, 30, 1), (std::vector<uint32_t>{3, 2, 1}));
    // An uptime report moves the device in the address order.
    ASSERT_TRUE(f->UpdateDeviceUptime(MacOf(3), "11.0.0.1", 90061));
    EXPECT_EQ(f.Page("", 1, true, 30, 1), (std::vector<uint32_t>{2, 1, 90061}));
    EXPECT_EQ(RawDb(f.path).One(
                  "select up_time || ' ' || up_time_str || ' ' || ip from ap_info where mac = '" +
                  MacOf(3) + "'"),
              "90061 " + UptimeText(90061) + " 11.0.0.1");
    EXPECT_FALSE(f->UpdateDeviceUptime(MacOf(9), "11.0.0.2", 5));
    EXPECT_EQ(RawDb(f.path).One("select count(*) from ap_info"), "3");
}

TEST(DeviceTable, FilterSearchesEachOfItsColumns) {
    const char* columns[] = {
        "ap_name",       "ip",          "mac",           "ssid",           "version",
        "work_mode_str", "channel",     "ap_type_str",   "tx_power",       "bridge_transparent_str",
        "tdmaEn_str",    "up_time_str", "ap_status_str", "secure_mode_str"};
    Fleet f;
    for (uint32_t n = 0; n < 16; ++n) f.Add(n, "", "10.0.0.1", 1);
    // Device n gets a marker in column n; each step adds exactly that device.
    std::vector<uint32_t> texts, numbers;
    for (uint32_t n = 0; n < 14; ++n) {
        const bool number = n == 6 || n == 8;
        ASSERT_TRUE(f->ExecuteSql(std::string("update ap_info set ") + columns[n] + " = " +
                                  (number ? "987654" : "'pre_Mk%\\post'") + " where mac = '" +
                                  MacOf(n) + "'"));
        (number ? numbers : texts).push_back(n);
        EXPECT_EQ(f.Page(number ? "8765" : "mK%\\", 12, true, 30, 1), number ? numbers : texts)
            << columns[n];
    }
    // '_' and '%' are letters here, not wildcards.
    EXPECT_EQ(f.Page("e_m", 12, true, 30, 1), texts);
    EXPECT_TRUE(f.Page("e%m", 0, true, 30, 1).empty());
    EXPECT_EQ(f.Page("ONLINE", 0, true, 30, 1).size(),
              15u);  // device 12's status text was replaced
}

TEST(DeviceTable, FilterSixMatchesNumbersNamesAndAddresses) {
    Fleet f;
    f.Add(1, "n", "10.0.0.1", 1, 6);
    f.Add(2, "n", "10.0.0.1", 1, 36);
    f.Add(3, "n", "10.0.0.1", 1, 1);
    f.Add(4, "lab-6", "10.0.0.1", 1);
    f.Add(5, "n", "10.0.6.1", 1);
    f.Add(7, "n", "10.0.0.1", 1);
    ASSERT_TRUE(f->ExecuteSql("update ap_info set tx_power = 16 where mac = '" + MacOf(3) + "'"));
    EXPECT_EQ(f.Page("6", 0, true, 30, 1), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

TEST(DeviceTable, SingleDeviceLookups) {
    Fleet f;
    EXPECT_EQ(f->GetDeviceStatus(MacOf(1)), 0);
    ap_info_stu r;
    r.set_ap_type(3);
    EXPECT_TRUE(f->GetDeviceByMac("", r));  // empty table: nothing, but the query ran
    EXPECT_EQ(r, ap_info_stu());
    f.Add(1, "one", "10.0.0.1", 1);
    f.Add(2, "two", "", 5);
    ASSERT_TRUE(f->GetDeviceByMac("", r));
    EXPECT_EQ(r.mac(), MacOf(1));
    EXPECT_TRUE(f->GetDeviceByMac("00:00:00:00:00:99", r));
    EXPECT_EQ(r, ap_info_stu());
    EXPECT_EQ(f->GetDeviceStatus(MacOf(2)), 5);
    std::vector<std::string> ips{"x"}, macs;
    ASSERT_TRUE(f->GetAllDeviceIps(ips));
    ASSERT_TRUE(f->GetAllDeviceMacs(macs));
    EXPECT_EQ(ips, (std::vector<std::string>{"x", "10.0.0.1", "0.0.0.0"}));
    EXPECT_EQ(macs, (std::vector<std::string>{MacOf(1), MacOf(2)}));
    // Saving again updates the one row and sets the status back to Online.
    ASSERT_TRUE(f->SetDeviceStatus(MacOf(1), kStatusRestarting));
    EXPECT_EQ(f->GetDeviceStatus(MacOf(1)), 4);
    f.Add(1, "renamed", "10.0.0.1", 1);
    EXPECT_EQ(f->GetDeviceStatus(MacOf(1)), 1);
    EXPECT_EQ(
        RawDb(f.path).One("select count(*) || ap_name from ap_info where mac = '" + MacOf(1) + "'"),
        "1renamed");
    ASSERT_TRUE(f->DeleteDevice(MacOf(1)));
    EXPECT_EQ(f->GetDeviceStatus(MacOf(1)), 0);
    EXPECT_TRUE(f->DeleteDevice(MacOf(1)));  // nothing left to delete is not a failure
    ap_info_stu keyless;
    EXPECT_FALSE(f->SaveDeviceInfo(keyless));
    EXPECT_EQ(RawDb(f.path).One("select count(*) from ap_info"), "1");
}

TEST(DeviceTable, StatusOperationsActOnlyInTheirState) {
    Fleet f;
    f.Add(1, "a", "10.0.0.1", 1);
    const std::string mac = MacOf(1);
    const auto row = [&] {
        return RawDb(f.path).One(
            "select ap_status || '|' || ifnull(ap_status_str, '') || '|' || ap_name from ap_info");
    };
    EXPECT_FALSE(f->SetDeviceStatus(MacOf(2), 4));
    EXPECT_FALSE(f->MarkUpgrading(mac));
    EXPECT_FALSE(f->IsUpgradeWaiting(mac));
    ASSERT_TRUE(f->SetDeviceStatus(mac, kStatusUpgradeWait));
    EXPECT_EQ(row(), "6|" + StatusText(6) + "|a");
    EXPECT_TRUE(f->IsUpgradeWaiting(mac));
    EXPECT_FALSE(f->ClearUpgradeFail(mac));
    EXPECT_TRUE(f->MarkUpgrading(mac));
    EXPECT_EQ(row(), "7|" + StatusText(7) + "|a");
    EXPECT_FALSE(f->MarkUpgrading(mac));
    ASSERT_TRUE(f->SetDeviceStatus(mac, kStatusUpgradeFail));
    EXPECT_TRUE(f->ClearUpgradeFail(mac));
    EXPECT_EQ(row(), "1|" + StatusText(1) + "|a");
    // Status 10 has no text: stored as NULL.
    ASSERT_TRUE(f->SetDeviceStatus(mac, kStatusAnnouncedOnly));
    EXPECT_EQ(row(), "10||a");
}

TEST(DeviceTable, FailedCommitsAreReportedAndChangeNothing) {
    Fleet f;
    f.Add(1, "a", "10.0.0.1", 1);
    ASSERT_TRUE(
        f->ExecuteSql("create trigger no_updates before update on ap_info begin select "
                      "raise(abort, 'refused'); end"));
    ap_info_stu r;
    r.set_mac(MacOf(1));
    EXPECT_FALSE(f->SaveDeviceInfo(r));
    EXPECT_FALSE(f->SetDeviceStatus(MacOf(1), 4));
    EXPECT_FALSE(f->UpdateDeviceUptime(MacOf(1), "10.9.9.9", 1));
    EXPECT_EQ(RawDb(f.path).One("select ap_name || ap_status || ip from ap_info"), "a110.0.0.1");
}

TEST(DeviceTable, BridgedStationsAreFoundByTheWirelessMac) {
    ScratchStore s;
    const auto add = [&](uint32_t n, uint8_t mode, uint32_t ssidMac, uint32_t bridgeMac) {
        ap_info_stu r;
        r.set_mac(MacOf(n));
        r.data()[24] = mode;
        const MacBytes a = MacTextToBytes(MacOf(ssidMac)), b = MacTextToBytes(MacOf(bridgeMac));
        std::copy(a.begin(), a.end(), r.data() + 149);
        std::copy(b.begin(), b.end(), r.data() + 453);
        ASSERT_TRUE(s->SaveDeviceInfo(r));
    };
    add(1, 1, 101, 0);    // access point, wireless MAC 101
    add(2, 2, 102, 101);  // station bridged to it
    add(3, 1, 103, 0);    // access point nobody is bridged to
    add(4, 3, 104, 103);  // names 103, but is not a station
    EXPECT_TRUE(s->HasBridgedStation(MacOf(1)));
    EXPECT_FALSE(s->HasBridgedStation(MacOf(3)));
    EXPECT_FALSE(s->HasBridgedStation(MacOf(2)));
    EXPECT_FALSE(s->HasBridgedStation(MacOf(9)));
}

TEST(DeviceTable, ABatchSaveWritesWhatSingleSavesWriteAndLosesNothingForOneBadRecord) {
    ScratchStore single, batch;
    std::mt19937 rng(5);
    std::vector<ap_info_stu> records;
    for (uint32_t n = 1; n <= 5; ++n) records.push_back(RandomRecord(rng, MacOf(n)));
    records.push_back(RandomRecord(rng, MacOf(2)));  // a second save updates the row
    for (const auto& r : records) ASSERT_TRUE(single->SaveDeviceInfo(r));
    ASSERT_TRUE(batch->SaveDeviceInfos(records));
    for (uint32_t n = 1; n <= 5; ++n) {
        ap_info_stu a, b;
        ASSERT_TRUE(single->GetDeviceByMac(MacOf(n), a));
        ASSERT_TRUE(batch->GetDeviceByMac(MacOf(n), b));
        EXPECT_EQ(a, b) << MacOf(n);
    }
    EXPECT_EQ(RawDb(batch.path).One("select count(*) from ap_info"), "5");

    // A record the table refuses and one without a MAC: the others stay.
    ASSERT_TRUE(
        batch->ExecuteSql("create trigger refuse before insert on ap_info when new.mac = '" +
                          MacOf(9) + "' begin select raise(abort, 'refused'); end"));
    EXPECT_FALSE(
        batch->SaveDeviceInfos({RandomRecord(rng, MacOf(8)), ap_info_stu(),
                                RandomRecord(rng, MacOf(9)), RandomRecord(rng, MacOf(10))}));
    EXPECT_EQ(batch->GetDeviceStatus(MacOf(8)), 1);
    EXPECT_EQ(batch->GetDeviceStatus(MacOf(9)), 0);
    EXPECT_EQ(batch->GetDeviceStatus(MacOf(10)), 1);
    EXPECT_EQ(RawDb(batch.path).One("select count(*) from ap_info"), "7");
}

}  // namespace
}  // namespace kestrix
