#include "tests/support/reference_page.h"

#include <algorithm>
#include <filesystem>

#include "store/device_row.h"
#include "store/sql_management.h"

namespace kestrix::testing {

namespace {
constexpr const char* kFilterColumns[] = {
    "ap_name",       "ip",          "mac",           "ssid",           "version",
    "work_mode_str", "channel",     "ap_type_str",   "tx_power",       "bridge_transparent_str",
    "tdmaEn_str",    "up_time_str", "ap_status_str", "secure_mode_str"};

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool ContainsNoCase(const std::string& text, const std::string& needle) {
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return Fold(a) == Fold(b); }) != text.end();
}

ReferencePager::ReferencePager(const std::string& path) : copy_(path + ".reference"), rows_(&db_) {
    std::filesystem::copy_file(path, copy_, std::filesystem::copy_options::overwrite_existing);
    db_.OpenConnection(copy_);
}

ReferencePager::~ReferencePager() {
    rows_.CloseQuery();
    db_.CloseConnection();
    std::error_code ec;
    std::filesystem::remove(copy_, ec);
}

bool ReferencePager::QueryDevicePage(const std::string& filter, int sortColumn, bool ascending,
                                     int pageSize, int pageNumber, std::vector<ap_info_stu>& list,
                                     int& pageCount, int& onlineCount) {
    const char* column = CSqlManagement::DeviceSortColumn(sortColumn);
    if (column == nullptr || pageSize < 1) return false;
    const std::string sql = std::string("select * from ap_info order by ap_info.") + column +
                            (ascending ? " asc" : " desc") + ", ap_info.rowid asc";
    if (!rows_.OpenQuery(sql)) return false;
    const int n = rows_.RowCount();
    long long matched = 0;
    const long long first = (static_cast<long long>(pageNumber) - 1) * pageSize;
    std::string text;
    for (int r = 0; r < n; ++r, rows_.ToNextRow()) {
        bool match = filter.empty();
        for (const char* c : kFilterColumns) {
            if (match) break;
            match = rows_.ReadText(c, text) && ContainsNoCase(text, filter);
        }
        if (!match) continue;
        ap_info_stu record;
        ReadDeviceRow(rows_, record);
        if (record.ap_status() != 0) ++onlineCount;
        if (matched >= first && matched < first + pageSize) list.push_back(record);
        ++matched;
    }
    rows_.CloseQuery();
    pageCount = static_cast<int>(matched / pageSize + (matched % pageSize != 0 ? 1 : 0));
    return true;
}

}  // namespace kestrix::testing
