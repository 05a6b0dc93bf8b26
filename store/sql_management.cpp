#include "store/sql_management.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "base/language.h"
#include "link/wire/addr_text.h"
#include "store/device_row.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

namespace fs = std::filesystem;

// The schema as eight column lists, in the order the tables were first
// built: table ap_info by one CREATE and six additions, then ap_other_info.
// SQLite adds one column per ALTER TABLE, so each addition becomes one
// statement per column; the tables, columns, order and sizes are the same.
struct SchemaStep {
    const char* table;
    bool create;
    const char* columns;
};
constexpr std::array<SchemaStep, 8> kSchema = {{
    {"ap_info", true,
     "ID Counter,mac char(18),ap_type long,ap_type_str char(33),ap_status long,ap_status_str "
     "char(33),work_mode long,work_mode_str char(33),mode_btn_status long,up_time long,up_time_str "
     "char(33),ip_mode long,ip_num double,ip char(16),ip_mask char(16),ip_gateway char(16),ip_dns1 "
     "char(16),ip_dns2 char(16),ap_name char(33),version char(33)"},
    {"ap_info", false, "restart_en long,restart_type long,restart_time long"},
    {"ap_info", false,
     "rf_count long,rf_en long,rf_type long,country_code long,network_mode long,bandwidth "
     "long,channel long,expand_channel long,tx_power long,tx_power_min long,tx_power_max long"},
    {"ap_info", false,
     "ssid_count long,ssid_rf_type long,ssid_id long,ssid_hide long,ssid_mac char(18),ssid "
     "char(33),secure_mode long,secure_mode_str char(33),wpapsk_auth_type long,wpapsk_key_value "
     "char(65),wpapsk_key_time long,wep_auth_type long,wep_key_index long,wep_key_value0 "
     "char(65),wep_key_type0 long,wep_key_value1 char(65),wep_key_type1 long,wep_key_value2 "
     "char(65),wep_key_type2 long,wep_key_value3 char(65),wep_key_type3 long,wpa_auth_type "
     "long,wpa_radius_ip char(16),wpa_radius_port long,wpa_key char(65),wpa_key_time long"},
    {"ap_info", false,
     "bridge_work_mode long, bridge_mac char(18), bridge_channel long, bridge_ssid char(33)"},
    {"ap_info", false, "vlan_en long,vlan_id long,vlan_id_wlan long,vlan_id_lan long"},
    {"ap_info", false,
     "bridge_transparent long,bridge_transparent_str char(33),tdmaEn long,tdmaEn_str "
     "char(33),vlan_pvid long,vlan_id_lan3 long,vlan_id_lan4 long, wl_dfs long"},
    {"ap_other_info", true,
     "ID Counter,packet_count long,packet_id long,icount long,mac char(18),ssid char(33),signal "
     "long,channel long,secure_mode long,exchannel long,bandwidth long"},
}};

// Lookups by MAC stay flat as the fleet grows; no result changes.
constexpr std::array<const char*, 2> kIndexes = {
    "CREATE INDEX ap_info_mac ON ap_info(mac)",
    "CREATE INDEX ap_other_info_mac ON ap_other_info(mac)",
};

// "name type" with the type word carried over to SQLite's.
std::string ColumnDefinition(std::string_view spec) {
    const size_t space = spec.find(' ');
    const std::string_view name = spec.substr(0, space);
    const std::string_view type = space == std::string_view::npos ? "" : spec.substr(space + 1);
    std::string sqlType;
    if (type == "Counter") {
        sqlType = "INTEGER PRIMARY KEY AUTOINCREMENT";
    } else if (type == "long") {
        sqlType = "INTEGER";
    } else if (type == "double") {
        sqlType = "REAL";
    } else if (type.substr(0, 5) == "char(") {
        sqlType = "VARCHAR" + std::string(type.substr(4));
    } else {
        sqlType = std::string(type);
    }
    return std::string(name) + " " + sqlType;
}

std::vector<std::string> SchemaStatements() {
    std::vector<std::string> out;
    for (const SchemaStep& step : kSchema) {
        std::vector<std::string> columns;
        std::string_view rest = step.columns;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            columns.push_back(ColumnDefinition(TrimText(rest.substr(0, comma))));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        if (step.create) {
            std::string sql = std::string("CREATE TABLE ") + step.table + "(";
            for (size_t i = 0; i < columns.size(); ++i) sql += (i ? "," : "") + columns[i];
            out.push_back(sql + ")");
        } else {
            for (const std::string& c : columns) {
                out.push_back(std::string("ALTER TABLE ") + step.table + " ADD COLUMN " + c);
            }
        }
    }
    for (const char* index : kIndexes) out.emplace_back(index);
    return out;
}

// The 14 columns the device filter searches, all against parameter 1.
// ESCAPE makes '%', '_' and '\' typed by the operator match themselves: the
// filter box is a "contains" search, not a pattern language. LIKE stays
// case-insensitive for ASCII letters.
const std::string& DeviceFilterClause() {
    static const std::string clause = [] {
        constexpr std::array<const char*, 14> kFilterColumns = {
            "ap_name",       "ip",
            "mac",           "ssid",
            "version",       "work_mode_str",
            "channel",       "ap_type_str",
            "tx_power",      "bridge_transparent_str",
            "tdmaEn_str",    "up_time_str",
            "ap_status_str", "secure_mode_str"};
        std::string s = " where ";
        for (size_t i = 0; i < kFilterColumns.size(); ++i) {
            if (i) s += " or ";
            s += std::string("ap_info.") + kFilterColumns[i] + " like ?1 escape '\\'";
        }
        return s;
    }();
    return clause;
}

std::string LikePattern(std::string_view text) {
    std::string p = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') p += '\\';
        p += c;
    }
    p += '%';
    return p;
}

std::mutex& StaticMutex() {
    static std::mutex m;
    return m;
}
std::string& ConfiguredPath() {
    static std::string path;
    return path;
}
CSqlManagement::MessageHook& ConfiguredHook() {
    static CSqlManagement::MessageHook hook;
    return hook;
}

void ShowMessage(const std::string& text) {
    CSqlManagement::MessageHook hook;
    {
        std::lock_guard<std::mutex> guard(StaticMutex());
        hook = ConfiguredHook();
    }
    if (hook) {
        hook(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

// Removes whatever file is at the path; a directory is left alone.
void RemoveFile(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) return;
    fs::remove(path, ec);
}

// One store operation's statements as one transaction: the file is locked
// and its changed pages written once per operation instead of once per
// statement. A transaction that could not be started leaves every
// statement committing on its own, as before.
class Transaction {
public:
    explicit Transaction(CADODatabase& db) : db_(db), active_(db.ExecuteStatement("BEGIN")) {}
    ~Transaction() {
        if (active_) db_.ExecuteStatement("ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // False when the changes could not be made lasting (they are undone).
    bool Commit() {
        if (!active_) return true;
        active_ = false;
        if (db_.ExecuteStatement("COMMIT")) return true;
        db_.ExecuteStatement("ROLLBACK");
        return false;
    }

private:
    CADODatabase& db_;
    bool active_;
};

void ReadScanEntry(CADORecordset& rows, config_otherwl_basic& entry) {
    entry = config_otherwl_basic();
    std::string text;
    if (rows.ReadText("mac", text)) entry.set_mac(MacTextToBytes(TrimText(text)));
    if (rows.ReadText("ssid", text)) entry.set_ssid(TrimText(text));
    int32_t v = 0;
    if (rows.ReadInt16("channel", v)) entry.set_channel(static_cast<uint8_t>(v));
    if (rows.ReadInt16("secure_mode", v)) entry.set_secure_mode(static_cast<uint8_t>(v));
    if (rows.ReadInt16("signal", v)) entry.set_signal(static_cast<int8_t>(v));
    if (rows.ReadInt16("exchannel", v)) entry.set_exchannel(static_cast<uint8_t>(v));
    if (rows.ReadInt16("bandwidth", v)) entry.set_bandwidth(static_cast<uint8_t>(v));
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and the file

CSqlManagement& CSqlManagement::GetInstance() {
    static CSqlManagement instance([] {
        std::lock_guard<std::mutex> guard(StaticMutex());
        return ConfiguredPath().empty() ? DefaultDatabasePath() : ConfiguredPath();
    }());
    return instance;
}

void CSqlManagement::SetDatabasePath(std::string path) {
    std::lock_guard<std::mutex> guard(StaticMutex());
    ConfiguredPath() = std::move(path);
}

std::string CSqlManagement::DefaultDatabasePath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return "data.mdb";
    return (exe.parent_path() / "data.mdb").string();
}

void CSqlManagement::SetMessageHook(MessageHook hook) {
    std::lock_guard<std::mutex> guard(StaticMutex());
    ConfiguredHook() = std::move(hook);
}

CSqlManagement::CSqlManagement(std::string path) : path_(std::move(path)), cursor_(&db_) {
    // The file is this run's alone: holding its lock for the whole run keeps
    // every other process out and spares each statement a lock round-trip.
    db_.SetExclusiveAccess(true);
    OpenDatabase();
}

CSqlManagement::~CSqlManagement() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        cursor_.CloseQuery();
        db_.CloseConnection();
    }
    RemoveFile(path_);
}

void CSqlManagement::OpenDatabase() {
    // Nothing is carried over from an earlier run, not even after a crash.
    RemoveFile(path_);
    CreateTables();
    bool opened;
    {
        std::lock_guard<std::mutex> guard(lock_);
        opened = db_.OpenConnection(path_);
    }
    if (!opened) ShowMessage(TranslateText("Failed to open database, unable to get data."));
}

void CSqlManagement::CreateTables() {
    std::error_code ec;
    if (fs::symlink_status(path_, ec).type() != fs::file_type::not_found) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!db_.CreateDatabaseFile(path_) || !db_.OpenConnection(path_)) return;
    }
    // Each statement gets its three attempts; one that still fails is
    // skipped and the operations that need it report failure later.
    for (const std::string& statement : SchemaStatements()) ExecuteSql(statement);
    std::lock_guard<std::mutex> guard(lock_);
    db_.CloseConnection();
}

bool CSqlManagement::IsOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    return IsOpenLocked();
}

bool CSqlManagement::ExecuteSql(const std::string& statement, const SqlParams& params) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::lock_guard<std::mutex> guard(lock_);
        if (IsOpenLocked() && db_.ExecuteStatement(statement, params)) return true;
    }
    return false;
}

void CSqlManagement::SetStatementTrace(std::function<void(std::string_view)> hook) {
    std::lock_guard<std::mutex> guard(lock_);
    db_.SetTraceHook(std::move(hook));
}

// ---------------------------------------------------------------------------
// Device table

const char* CSqlManagement::DeviceSortColumn(int index) {
    static constexpr std::array<const char*, 14> kColumns = {
        "mac",     "ip_num",      "ap_name",  "ap_type", "work_mode",          "ssid",
        "channel", "secure_mode", "tx_power", "version", "bridge_transparent", "tdmaEn",
        "up_time", "ap_status"};
    if (index < 0 || index >= static_cast<int>(kColumns.size())) return nullptr;
    return kColumns[static_cast<size_t>(index)];
}

bool CSqlManagement::QueryDevicePage(const std::string& filter, int sortColumn, bool ascending,
                                     int pageSize, int pageNumber, std::vector<ap_info_stu>& list,
                                     int& pageCount, int& onlineCount) {
    const char* column = DeviceSortColumn(sortColumn);
    // A page size below 1 has no pages (and would divide by zero below).
    if (column == nullptr || pageSize < 1) return false;
    const std::string where = filter.empty() ? std::string() : DeviceFilterClause();
    SqlParams params;
    if (!filter.empty()) params.emplace_back(LikePattern(filter));
    const int64_t first = (static_cast<int64_t>(pageNumber) - 1) * pageSize;

    // The engine's order of the sort column; ties go by insertion order so
    // that pages never overlap or skip a device between two requests.
    const auto before = [ascending](const PageKey& a, const PageKey& b) {
        const int c = CompareSqlValues(a.key, b.key);
        if (c != 0) return ascending ? c < 0 : c > 0;
        return a.rowid < b.rowid;
    };
    int online = 0;

    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    std::vector<PageKey>& matches = pageKeys_;
    matches.clear();
    // The scan and the page's reads see one state of the table.
    Transaction transaction(db_);
    // One pass over the matching rows reads only the sort key and the
    // status: the counts come from every match, the page is picked from the
    // keys, and only the page's own rows are read whole. The filter, the
    // costly part, runs once.
    const bool scanned = db_.ForEachRow(
        std::string("select ap_info.rowid, ap_info.") + column +
            ", ap_info.ap_status from ap_info" + where,
        params, [&](std::vector<SqlValue>& row) {
            int64_t rowid = 0, status = 0;
            SqlValueToInt64(row[0], rowid);
            if (SqlValueToInt64(row[2], status) && static_cast<uint32_t>(status) != 0) ++online;
            matches.push_back({std::move(row[1]), rowid});
        });
    if (!scanned) return false;
    const auto total = static_cast<int64_t>(matches.size());

    std::vector<ap_info_stu> page;
    if (pageNumber >= 1 && first < total) {
        const auto begin = matches.begin() + first;
        const auto end = matches.begin() + std::min(first + pageSize, total);
        std::nth_element(matches.begin(), begin, matches.end(), before);
        std::partial_sort(begin, end, matches.end(), before);
        for (auto it = begin; it != end; ++it) {
            if (!cursor_.OpenQuery("select * from ap_info where rowid=?", {it->rowid}) ||
                cursor_.RowCount() != 1) {
                cursor_.CloseQuery();
                return false;
            }
            ReadDeviceRow(cursor_, page.emplace_back());
        }
        cursor_.CloseQuery();
    }
    list.insert(list.end(), page.begin(), page.end());
    pageCount = static_cast<int>(total / pageSize + (total % pageSize != 0 ? 1 : 0));
    onlineCount += online;
    return true;
}

bool CSqlManagement::GetDeviceByMac(const std::string& mac, ap_info_stu& record) {
    record = ap_info_stu();
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    const bool ok = mac.empty() ? cursor_.OpenQuery("select * from ap_info limit 1")
                                : cursor_.OpenQuery("select * from ap_info where mac=?", {mac});
    if (!ok) return false;
    if (cursor_.RowCount() > 0) ReadDeviceRow(cursor_, record);
    cursor_.CloseQuery();
    return true;
}

namespace {
bool AppendColumnTexts(CADORecordset& rows, const char* column, std::vector<std::string>& out) {
    const int n = rows.RowCount();
    std::string text;
    for (int i = 0; i < n; ++i, rows.ToNextRow()) {
        text.clear();
        rows.ReadText(column, text);
        out.push_back(TrimText(text));
    }
    rows.CloseQuery();
    return true;
}
}  // namespace

bool CSqlManagement::GetAllDeviceIps(std::vector<std::string>& out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select ip from ap_info")) return false;
    return AppendColumnTexts(cursor_, "ip", out);
}

bool CSqlManagement::GetAllDeviceMacs(std::vector<std::string>& out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select mac from ap_info")) return false;
    return AppendColumnTexts(cursor_, "mac", out);
}

int CSqlManagement::GetDeviceStatus(const std::string& mac) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select ap_status from ap_info where mac=?", {mac})) {
        return 0;
    }
    int32_t status = 0;
    if (cursor_.RowCount() > 0 && !cursor_.ReadInt32("ap_status", status)) status = 0;
    cursor_.CloseQuery();
    return status;
}

bool CSqlManagement::IsUpgradeWaiting(const std::string& mac) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select * from ap_info where mac=? and ap_status=?",
                                              {mac, int64_t{kStatusUpgradeWait}})) {
        return false;
    }
    const bool found = cursor_.RowCount() > 0;
    cursor_.CloseQuery();
    return found;
}

bool CSqlManagement::HasBridgedStation(const std::string& mac) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select ssid_mac from ap_info where mac=?", {mac})) {
        return false;
    }
    std::string wirelessMac;
    const bool found = cursor_.RowCount() > 0 && cursor_.ReadText("ssid_mac", wirelessMac);
    cursor_.CloseQuery();
    if (!found) return false;
    if (!cursor_.OpenQuery("select mac from ap_info where work_mode=? and bridge_mac=? limit 1",
                           {int64_t{kWorkModeStation}, TrimText(wirelessMac)})) {
        return false;
    }
    const bool bridged = cursor_.RowCount() > 0;
    cursor_.CloseQuery();
    return bridged;
}

bool CSqlManagement::SaveDeviceInfo(const ap_info_stu& record) {
    // Every derived text is built before the lock is taken.
    const DeviceRowValues row = BuildDeviceRow(record);
    const std::string& mac = std::get<std::string>(row.values[0]);
    // A row without its key could never be found again, and a second save
    // would add a second keyless row.
    if (mac.empty()) return false;

    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    Transaction transaction(db_);
    const bool ok = WriteDeviceRowLocked(row);
    return transaction.Commit() && ok;
}

bool CSqlManagement::WriteDeviceRowLocked(const DeviceRowValues& row) {
    const std::string& mac = std::get<std::string>(row.values[0]);
    if (!cursor_.OpenQuery("select * from ap_info where mac=?", {mac})) return false;
    const bool ok =
        cursor_.BeginEditOrAppend() && WriteDeviceRow(cursor_, row) && cursor_.CommitRow();
    cursor_.CloseQuery();
    return ok;
}

bool CSqlManagement::SaveDeviceInfos(const std::vector<ap_info_stu>& records) {
    std::vector<DeviceRowValues> rows;
    rows.reserve(records.size());
    for (const auto& record : records) rows.push_back(BuildDeviceRow(record));
    const auto keyless = [](const DeviceRowValues& row) {
        return std::get<std::string>(row.values[0]).empty();
    };

    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    // One commit for the lot: a commit costs as much as all the writing of a
    // row, and a fleet's information arrives a few thousand rows at a time.
    std::vector<bool> written(rows.size(), false);
    bool committed;
    {
        Transaction transaction(db_);
        for (size_t i = 0; i < rows.size(); ++i)
            written[i] = !keyless(rows[i]) && WriteDeviceRowLocked(rows[i]);
        committed = transaction.Commit();
    }
    bool all = true;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (committed && written[i]) continue;
        if (keyless(rows[i])) {
            all = false;
            continue;
        }
        Transaction single(db_);
        const bool ok = WriteDeviceRowLocked(rows[i]);
        all = single.Commit() && ok && all;
    }
    return all;
}

bool CSqlManagement::DeleteDevice(const std::string& mac) {
    return ExecuteSql("delete from ap_info where mac=?", {mac});
}

bool CSqlManagement::UpdateDeviceUptime(const std::string& mac, const std::string& ip,
                                        uint32_t seconds) {
    const std::string uptimeText = UptimeText(seconds);
    const uint32_t ipNum = IpTextToNumber(ip);

    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    Transaction transaction(db_);
    if (!cursor_.OpenQuery("select * from ap_info where mac=?", {mac})) return false;
    bool ok = false;
    if (cursor_.RowCount() > 0) {
        cursor_.BeginEdit();
        ok = cursor_.WriteInt32("up_time", static_cast<int32_t>(seconds)) &&
             cursor_.WriteText("up_time_str", uptimeText) && cursor_.WriteText("mac", mac) &&
             cursor_.WriteText("ip", ip) && cursor_.WriteIpNum(ipNum) && cursor_.CommitRow();
    }
    cursor_.CloseQuery();
    return transaction.Commit() && ok;
}

bool CSqlManagement::UpdateStatus(const std::string& query, const SqlParams& params,
                                  uint32_t status, const std::string* mac) {
    const std::string text = StatusText(status);

    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    Transaction transaction(db_);
    if (!cursor_.OpenQuery(query, params)) return false;
    bool ok = false;
    if (cursor_.RowCount() > 0) {
        cursor_.BeginEdit();
        ok = cursor_.WriteInt32("ap_status", static_cast<int32_t>(status)) &&
             cursor_.WriteText("ap_status_str", text) &&
             (mac == nullptr || cursor_.WriteText("mac", *mac)) && cursor_.CommitRow();
    }
    cursor_.CloseQuery();
    return transaction.Commit() && ok;
}

bool CSqlManagement::SetDeviceStatus(const std::string& mac, uint32_t status) {
    return UpdateStatus("select * from ap_info where mac=?", {mac}, status, &mac);
}

bool CSqlManagement::MarkUpgrading(const std::string& mac) {
    return UpdateStatus("select * from ap_info where mac=? and ap_status=?",
                        {mac, int64_t{kStatusUpgradeWait}}, kStatusUpgrading, &mac);
}

bool CSqlManagement::ClearUpgradeFail(const std::string& mac) {
    return UpdateStatus("select * from ap_info where mac=? and ap_status=?",
                        {mac, int64_t{kStatusUpgradeFail}}, kStatusOnline, nullptr);
}

// ---------------------------------------------------------------------------
// Neighbour table

const char* CSqlManagement::ScanSortColumn(int index) {
    static constexpr std::array<const char*, 5> kColumns = {"mac", "ssid", "channel", "secure_mode",
                                                            "signal"};
    if (index < 0 || index >= static_cast<int>(kColumns.size())) return nullptr;
    return kColumns[static_cast<size_t>(index)];
}

bool CSqlManagement::SaveScanPacket(const NeighbourReport& report) {
    const size_t count = std::min(
        {static_cast<size_t>(report.icount), kMaxNeighboursPerReport, report.entries.size()});
    // The texts of every entry are made before the lock is taken.
    std::vector<std::pair<std::string, std::string>> texts;
    texts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const config_otherwl_basic& e = report.entries[i];
        texts.emplace_back(MacBytesToText(e.mac()), e.ssid());
    }

    // The whole packet is stored under one hold of the lock.
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked()) return false;
    Transaction transaction(db_);
    bool all = true;
    for (size_t i = 0; i < count; ++i) {
        const config_otherwl_basic& e = report.entries[i];
        const auto& [mac, ssid] = texts[i];
        if (!cursor_.OpenQuery("select * from ap_other_info where mac=?", {mac})) {
            all = false;
            continue;
        }
        const bool ok = cursor_.BeginEditOrAppend() &&
                        cursor_.WriteInt32("packet_count", report.packet_count) &&
                        cursor_.WriteInt32("packet_id", report.packet_id) &&
                        cursor_.WriteInt32("icount", report.icount) &&
                        cursor_.WriteText("mac", mac) && cursor_.WriteText("ssid", ssid) &&
                        cursor_.WriteInt32("signal", e.signal()) &&
                        cursor_.WriteInt32("channel", e.channel()) &&
                        cursor_.WriteInt32("secure_mode", e.secure_mode()) &&
                        cursor_.WriteInt32("exchannel", e.exchannel()) &&
                        cursor_.WriteInt32("bandwidth", e.bandwidth()) && cursor_.CommitRow();
        cursor_.CloseQuery();
        all = all && ok;
    }
    return transaction.Commit() && all;
}

bool CSqlManagement::QueryScanList(int sortColumn, bool ascending,
                                   std::vector<config_otherwl_basic>& list) {
    const char* column = ScanSortColumn(sortColumn);
    if (column == nullptr) return false;
    const std::string statement = std::string("select * from ap_other_info order by ") + column +
                                  (ascending ? " asc" : " desc") + ", rowid asc";
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery(statement)) return false;
    const int n = cursor_.RowCount();
    for (int i = 0; i < n; ++i, cursor_.ToNextRow()) {
        ReadScanEntry(cursor_, list.emplace_back());
    }
    cursor_.CloseQuery();
    return true;
}

bool CSqlManagement::GetScanEntry(const std::string& mac, config_otherwl_basic& entry) {
    entry = config_otherwl_basic();
    std::lock_guard<std::mutex> guard(lock_);
    if (!IsOpenLocked() || !cursor_.OpenQuery("select * from ap_other_info where mac=?", {mac})) {
        return false;
    }
    if (cursor_.RowCount() > 0) ReadScanEntry(cursor_, entry);
    cursor_.CloseQuery();
    return true;
}

bool CSqlManagement::DeleteScanResults() {
    return ExecuteSql("delete from ap_other_info");
}

}  // namespace kestrix
