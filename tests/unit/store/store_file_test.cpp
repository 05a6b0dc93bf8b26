// The database file: schema as the engine's own catalogue reports it, the
// file's life from start to shutdown, a folder that cannot be written, and
// ExecuteSql's attempts.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/store_test_util.h"

namespace kestrix {
namespace {

namespace fs = std::filesystem;
using testing::RawDb;
using testing::ScratchStore;
using testing::TempDir;

const char kApInfoColumns[] =
    "ID INTEGER,mac VARCHAR(18),ap_type INTEGER,ap_type_str VARCHAR(33),ap_status INTEGER,"
    "ap_status_str VARCHAR(33),work_mode INTEGER,work_mode_str VARCHAR(33),mode_btn_status INTEGER,"
    "up_time INTEGER,up_time_str VARCHAR(33),ip_mode INTEGER,ip_num REAL,ip VARCHAR(16),"
    "ip_mask VARCHAR(16),ip_gateway VARCHAR(16),ip_dns1 VARCHAR(16),ip_dns2 VARCHAR(16),"
    "ap_name VARCHAR(33),version VARCHAR(33),restart_en INTEGER,restart_type INTEGER,"
    "restart_time INTEGER,rf_count INTEGER,rf_en INTEGER,rf_type INTEGER,country_code INTEGER,"
    "network_mode INTEGER,bandwidth INTEGER,channel INTEGER,expand_channel INTEGER,"
    "tx_power INTEGER,tx_power_min INTEGER,tx_power_max INTEGER,ssid_count INTEGER,"
    "ssid_rf_type INTEGER,ssid_id INTEGER,ssid_hide INTEGER,ssid_mac VARCHAR(18),"
    "ssid VARCHAR(33),secure_mode INTEGER,secure_mode_str VARCHAR(33),wpapsk_auth_type INTEGER,"
    "wpapsk_key_value VARCHAR(65),wpapsk_key_time INTEGER,wep_auth_type INTEGER,"
    "wep_key_index INTEGER,wep_key_value0 VARCHAR(65),wep_key_type0 INTEGER,"
    "wep_key_value1 VARCHAR(65),wep_key_type1 INTEGER,wep_key_value2 VARCHAR(65),"
    "wep_key_type2 INTEGER,wep_key_value3 VARCHAR(65),wep_key_type3 INTEGER,"
    "wpa_auth_type INTEGER,wpa_radius_ip VARCHAR(16),wpa_radius_port INTEGER,"
    "wpa_key VARCHAR(65),wpa_key_time INTEGER,bridge_work_mode INTEGER,bridge_mac VARCHAR(18),"
    "bridge_channel INTEGER,bridge_ssid VARCHAR(33),vlan_en INTEGER,vlan_id INTEGER,"
    "vlan_id_wlan INTEGER,vlan_id_lan INTEGER,bridge_transparent INTEGER,"
    "bridge_transparent_str VARCHAR(33),tdmaEn INTEGER,tdmaEn_str VARCHAR(33),"
    "vlan_pvid INTEGER,vlan_id_lan3 INTEGER,vlan_id_lan4 INTEGER,wl_dfs INTEGER";
const char kApOtherInfoColumns[] =
    "ID INTEGER,packet_count INTEGER,packet_id INTEGER,icount INTEGER,mac VARCHAR(18),"
    "ssid VARCHAR(33),signal INTEGER,channel INTEGER,secure_mode INTEGER,exchannel INTEGER,"
    "bandwidth INTEGER";

// "name TYPE,..." in catalogue order, and the count of columns.
std::pair<std::string, size_t> Catalogue(RawDb& db, const std::string& table) {
    std::string out;
    auto rows = db.Rows("select name, type, pk from pragma_table_info('" + table + "')");
    for (const auto& r : rows) out += (out.empty() ? "" : ",") + r[0] + " " + r[1];
    if (!rows.empty()) {
        EXPECT_EQ(rows[0][2], "1") << table << ".ID is the row key";
    }
    return {out, rows.size()};
}

TEST(StoreFile, FreshSchemaReadBackFromTheCatalogue) {
    for (int start = 0; start < 2; ++start) {  // two starts, identical results
        ScratchStore s;
        ASSERT_TRUE(s->IsOpen());
        RawDb db(s.path);
        EXPECT_EQ(Catalogue(db, "ap_info"),
                  std::make_pair(std::string(kApInfoColumns), size_t{76}));
        EXPECT_EQ(Catalogue(db, "ap_other_info"),
                  std::make_pair(std::string(kApOtherInfoColumns), size_t{11}));
        EXPECT_EQ(db.One("select group_concat(tbl_name || '.' || sql, ';') from sqlite_master "
                         "where type = 'index'"),
                  "ap_info.CREATE INDEX ap_info_mac ON ap_info(mac);"
                  "ap_other_info.CREATE INDEX ap_other_info_mac ON ap_other_info(mac)");
        EXPECT_EQ(db.One("select (select count(*) from ap_info) + (select count(*) from "
                         "ap_other_info)"),
                  "0");
    }
}

TEST(StoreFile, EveryStartIsEmptyAndShutdownRemovesTheFile) {
    TempDir dir;
    const std::string path = dir.File("data.mdb");
    const std::string kept = dir.File("kept.mdb");
    {
        CSqlManagement store(path);
        ap_info_stu r;
        r.set_mac("00:1a:00:00:00:01");
        ASSERT_TRUE(store.SaveDeviceInfo(r));
        fs::copy_file(path, kept);  // the file a crash would have left behind
    }
    EXPECT_FALSE(fs::exists(path));
    fs::rename(kept, path);
    {
        CSqlManagement store(path);
        std::vector<std::string> macs;
        ASSERT_TRUE(store.GetAllDeviceMacs(macs));
        EXPECT_TRUE(macs.empty());
    }
    // Not even a database: replaced as well.
    dir.Write("data.mdb", "left over by something else");
    {
        CSqlManagement store(path);
        EXPECT_TRUE(store.IsOpen());
        EXPECT_EQ(RawDb(path).One("select count(*) from ap_info"), "0");
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(StoreFile, OtherConnectionsAreLockedOutWhileTheStoreIsOpen) {
    ScratchStore s;
    std::vector<std::string> macs;
    ASSERT_TRUE(s->GetAllDeviceMacs(macs));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(s.path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other, "delete from ap_info", nullptr, nullptr, nullptr), SQLITE_BUSY);
    // Once the store has written, not even reading is possible.
    ap_info_stu r;
    r.set_mac("00:1a:00:00:00:01");
    ASSERT_TRUE(s->SaveDeviceInfo(r));
    EXPECT_EQ(sqlite3_exec(other, "select count(*) from ap_info", nullptr, nullptr, nullptr),
              SQLITE_BUSY);
    sqlite3_close_v2(other);
    EXPECT_TRUE(s->GetAllDeviceMacs(macs));
}

TEST(StoreFile, DefaultPathIsBesideTheProgramAndTheInstanceIsOne) {
    EXPECT_EQ(fs::path(CSqlManagement::DefaultDatabasePath()),
              fs::read_symlink("/proc/self/exe").parent_path() / "data.mdb");
    TempDir dir;
    CSqlManagement::SetDatabasePath(dir.File("app.mdb"));
    CSqlManagement& first = CSqlManagement::GetInstance();
    EXPECT_EQ(&first, &CSqlManagement::GetInstance());
    EXPECT_EQ(first.DatabasePath(), dir.File("app.mdb"));
    EXPECT_TRUE(first.IsOpen());
    CSqlManagement::SetDatabasePath("/elsewhere/data.mdb");  // too late: no effect
    EXPECT_EQ(CSqlManagement::GetInstance().DatabasePath(), dir.File("app.mdb"));
}

// Root ignores permissions, so "cannot be written" is a folder that is
// missing or is really a file.
class UnwritableFolder : public ::testing::TestWithParam<std::string> {
protected:
    TempDir dir;
    std::string Path() {
        dir.Write("plainfile", "x");
        return dir.File(GetParam());
    }
};

TEST_P(UnwritableFolder, MessageOnceThenEveryOperationDoesNothing) {
    std::vector<std::string> messages;
    CSqlManagement::SetMessageHook([&](const std::string& m) { messages.push_back(m); });
    CSqlManagement store(Path());
    CSqlManagement::SetMessageHook(nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"Failed to open database, unable to get data."});
    EXPECT_FALSE(store.IsOpen());

    std::vector<ap_info_stu> list(1);
    int pages = -7, online = 5;
    EXPECT_FALSE(store.QueryDevicePage("", 0, true, 30, 1, list, pages, online));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(pages, -7);
    EXPECT_EQ(online, 5);
    ap_info_stu record;
    record.set_mac("00:1a:00:00:00:01");
    const std::string mac = record.mac();
    EXPECT_FALSE(store.SaveDeviceInfo(record));
    EXPECT_FALSE(store.GetDeviceByMac(mac, record));
    EXPECT_EQ(record, ap_info_stu());
    std::vector<std::string> texts{"kept"};
    EXPECT_FALSE(store.GetAllDeviceIps(texts));
    EXPECT_FALSE(store.GetAllDeviceMacs(texts));
    EXPECT_EQ(texts, std::vector<std::string>{"kept"});
    EXPECT_EQ(store.GetDeviceStatus(mac), 0);
    EXPECT_FALSE(store.IsUpgradeWaiting(mac));
    EXPECT_FALSE(store.HasBridgedStation(mac));
    EXPECT_FALSE(store.DeleteDevice(mac));
    EXPECT_FALSE(store.UpdateDeviceUptime(mac, "10.0.0.1", 5));
    EXPECT_FALSE(store.SetDeviceStatus(mac, 4));
    EXPECT_FALSE(store.MarkUpgrading(mac));
    EXPECT_FALSE(store.ClearUpgradeFail(mac));
    NeighbourReport report;
    report.icount = 1;
    report.entries.resize(1);
    EXPECT_FALSE(store.SaveScanPacket(report));
    std::vector<config_otherwl_basic> scan(1);
    EXPECT_FALSE(store.QueryScanList(0, true, scan));
    EXPECT_EQ(scan.size(), 1u);
    config_otherwl_basic entry;
    entry.set_channel(9);
    EXPECT_FALSE(store.GetScanEntry(mac, entry));
    EXPECT_EQ(entry, config_otherwl_basic());
    EXPECT_FALSE(store.DeleteScanResults());
    EXPECT_FALSE(store.ExecuteSql("delete from ap_info"));
}

INSTANTIATE_TEST_SUITE_P(Store, UnwritableFolder,
                         ::testing::Values("missing/data.mdb", "plainfile/data.mdb"));

TEST(StoreFile, WithoutAHookTheMessageGoesToStandardError) {
    TempDir dir;
    ::testing::internal::CaptureStderr();
    { CSqlManagement store(dir.File("missing/data.mdb")); }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Failed to open database, unable to get data.\n");
}

TEST(StoreFile, ExecuteSqlMakesThreeAttempts) {
    ScratchStore s;
    std::vector<std::string> started;
    s->SetStatementTrace([&](std::string_view sql) { started.emplace_back(sql); });
    const std::string insert = "insert into ap_other_info(ID) values (1)";
    EXPECT_TRUE(s->ExecuteSql(insert));
    EXPECT_EQ(started, std::vector<std::string>{insert});
    started.clear();
    // The engine rejects the second row with the same key every time.
    EXPECT_FALSE(s->ExecuteSql(insert));
    EXPECT_EQ(started, std::vector<std::string>(3, insert));
    started.clear();
    EXPECT_FALSE(s->ExecuteSql("delete from no_such_table"));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(s->DeleteScanResults());
    EXPECT_EQ(started, std::vector<std::string>{"delete from ap_other_info"});
}

}  // namespace
}  // namespace kestrix
