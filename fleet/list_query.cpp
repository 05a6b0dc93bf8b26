#include "fleet/list_query.h"

#include <climits>

#include "link/device_link.h"
#include "store/sql_management.h"

namespace kestrix {

bool StoreDeviceSource::QueryDevicePage(const std::string& filter, int sortKey, bool ascending,
                                        int pageSize, int pageNumber,
                                        std::vector<ap_info_stu>& rows, int& pageCount,
                                        int& onlineCount) {
    if (store_ == nullptr) return false;
    return store_->QueryDevicePage(filter, sortKey, ascending, pageSize, pageNumber, rows,
                                   pageCount, onlineCount);
}

void StoreDeviceSource::ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter,
                                      int limit) {
    out.clear();
    if (link_ != nullptr) link_->ListAnnounced(out, filter, limit);
}

int AnnouncedLimit(int storedRows, int pageSize, int page, int pageCount) {
    if (storedRows >= pageSize) return 0;
    if (pageCount != 0 && page != pageCount) return 0;
    return pageSize - storedRows;
}

namespace {

void AppendAnnounced(DeviceListSource& source, ListPageResult& result, const std::string& filter,
                     int limit) {
    if (limit <= 0) return;
    std::vector<ap_info_stu> announced;
    source.ListAnnounced(announced, filter, limit);
    // The link never hands more than asked; a page must not grow past its
    // size whatever a source does.
    if (announced.size() > static_cast<size_t>(limit)) announced.resize(static_cast<size_t>(limit));
    result.rows.insert(result.rows.end(), announced.begin(), announced.end());
}

}  // namespace

ListPageResult LoadListPage(DeviceListSource& source, const ListDescriptor& list,
                            const ListPageRequest& request) {
    ListPageResult result;
    const int key = SortKeyForColumn(list, request.column);
    result.ok =
        source.QueryDevicePage(request.filter, key, request.ascending, request.pageSize,
                               request.page, result.rows, result.pageCount, result.onlineCount);
    if (!result.ok) {
        result.rows.clear();
        result.pageCount = 0;
        result.onlineCount = 0;
    }
    result.storedRows = static_cast<int>(result.rows.size());
    if (list.appendsAnnounced) {
        AppendAnnounced(
            source, result, request.filter,
            AnnouncedLimit(result.storedRows, request.pageSize, request.page, result.pageCount));
    }
    return result;
}

ListPageResult LoadAllRows(DeviceListSource& source, const ListDescriptor& list,
                           const ListPageRequest& request) {
    ListPageRequest all = request;
    all.page = 1;
    all.pageSize = INT_MAX;
    return LoadListPage(source, list, all);
}

}  // namespace kestrix
