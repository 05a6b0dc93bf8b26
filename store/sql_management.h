#pragma once
// CSqlManagement: the device store. One scratch SQLite file ("data.mdb")
// holds the devices discovered in this run (table ap_info) and the
// neighbouring access points of the last radio scan (table ap_other_info).
// The file is deleted and rebuilt empty when the store is created and
// deleted again when it is destroyed.
//
// The store's connection holds the file locked while it is open: other
// connections (and processes) cannot read it meanwhile.
//
// Every operation takes the one store lock for its whole run and first
// checks that the connection is open; a closed connection gives the
// operation's nothing-done result (false, 0 or an empty list). Every value
// from outside (filter text, MAC and IP texts, names) is bound as a
// statement parameter, never pasted into SQL text.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_store.h"
#include "link/wire/wire_format.h"
#include "store/ado_database.h"

namespace kestrix {

struct DeviceRowValues;

class CSqlManagement : public LinkStore {
public:
    using MessageHook = std::function<void(const std::string&)>;

    // The application's one store, created on the first call at the path
    // set by SetDatabasePath (default: data.mdb beside the executable).
    static CSqlManagement& GetInstance();
    // Only takes effect before the first GetInstance.
    static void SetDatabasePath(std::string path);
    static std::string DefaultDatabasePath();
    // Where operator-facing messages go (the application shows a message
    // box); with no hook they go to standard error.
    static void SetMessageHook(MessageHook hook);

    // Tests and the command-line front end keep stores of their own. The
    // file at `path` is deleted and rebuilt; a failure to open it is
    // reported once through the message hook.
    explicit CSqlManagement(std::string path);
    ~CSqlManagement() override;
    CSqlManagement(const CSqlManagement&) = delete;
    CSqlManagement& operator=(const CSqlManagement&) = delete;

    const std::string& DatabasePath() const { return path_; }
    bool IsOpen();
    // A statement that returns no rows, up to three attempts; the lock is
    // taken for each attempt.
    bool ExecuteSql(const std::string& statement, const SqlParams& params = {});
    // Diagnostics: called with every statement the engine starts.
    void SetStatementTrace(std::function<void(std::string_view)> hook);

    // --- Device table -----------------------------------------------------

    // One page of the devices matching `filter` (a case-insensitive
    // "contains" search over 14 columns; '%', '_' and '\' match themselves),
    // sorted by column `sortColumn` (0..13). Appends the page's records to
    // `list`, adds the number of matching devices whose status is not 0 to
    // `onlineCount` and sets `pageCount`. Pages start at 1; a page past the
    // end lists nothing. An unknown sort column or a page size below 1
    // returns false and touches no output.
    bool QueryDevicePage(const std::string& filter, int sortColumn, bool ascending, int pageSize,
                         int pageNumber, std::vector<ap_info_stu>& list, int& pageCount,
                         int& onlineCount);
    // The row of `mac`, or the first row when `mac` is empty. The record is
    // zeroed first and stays zero when there is no such row; true whenever
    // the query ran.
    bool GetDeviceByMac(const std::string& mac, ap_info_stu& record);
    bool GetAllDeviceIps(std::vector<std::string>& out);
    bool GetAllDeviceMacs(std::vector<std::string>& out) override;
    int GetDeviceStatus(const std::string& mac);  // 0 when unknown
    bool IsUpgradeWaiting(const std::string& mac);
    // Some stored station names this device's wireless MAC as its bridge.
    bool HasBridgedStation(const std::string& mac);

    // Inserts or updates the row of the record's MAC; the status becomes 1.
    // False when the record has no MAC or the row could not be written.
    bool SaveDeviceInfo(const ap_info_stu& record) override;
    // The same for many records in one transaction under one hold of the
    // lock. A record that cannot be written, or a batch that cannot be
    // committed, is saved again on its own, so no other record is lost.
    // True when every record was saved.
    bool SaveDeviceInfos(const std::vector<ap_info_stu>& records) override;
    bool DeleteDevice(const std::string& mac) override;
    bool UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                            uint32_t seconds) override;
    bool SetDeviceStatus(const std::string& mac, uint32_t status) override;
    bool MarkUpgrading(const std::string& mac) override;  // 6 -> 7 only
    bool ClearUpgradeFail(const std::string& mac);        // 9 -> 1 only

    // --- Neighbour table --------------------------------------------------

    // One row per neighbour MAC, updated in place when seen again. False
    // when the connection is closed or any entry could not be stored.
    bool SaveScanPacket(const NeighbourReport& report) override;
    // Appends every row in the order of column `sortColumn` (0..4).
    bool QueryScanList(int sortColumn, bool ascending, std::vector<config_otherwl_basic>& list);
    // Zeroes `entry`, then fills it from the row of `mac` when there is one.
    bool GetScanEntry(const std::string& mac, config_otherwl_basic& entry);
    bool DeleteScanResults();

    // The ORDER BY column of a device-list / neighbour-list sort index, or
    // nullptr for an index without one.
    static const char* DeviceSortColumn(int index);
    static const char* ScanSortColumn(int index);

private:
    void OpenDatabase();
    void CreateTables();
    bool IsOpenLocked() const { return db_.IsOpen(); }
    // Inserts or updates one device row; the caller holds the lock and runs
    // the transaction.
    bool WriteDeviceRowLocked(const DeviceRowValues& row);
    // Sets ap_status and its text on the row the query finds; `mac` is
    // written too unless null.
    bool UpdateStatus(const std::string& query, const SqlParams& params, uint32_t status,
                      const std::string* mac);

    // A device-list row as the page query sorts it.
    struct PageKey {
        SqlValue key;
        int64_t rowid;
    };

    std::string path_;
    std::mutex lock_;
    CADODatabase db_;
    CADORecordset cursor_;
    // Kept between page queries (under the lock) so that a large fleet's
    // keys do not cost a fresh allocation on every refresh.
    std::vector<PageKey> pageKeys_;
};

}  // namespace kestrix
