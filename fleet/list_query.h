#pragma once
// Where a device list gets its rows: one page of the device store, and on
// the status page the devices the link only heard announce themselves after
// the stored rows of the last page.

#include <memory>
#include <string>
#include <vector>

#include "fleet/list_descriptor.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class CSqlManagement;
class DeviceLink;

class DeviceListSource {
public:
    virtual ~DeviceListSource() = default;
    // As CSqlManagement::QueryDevicePage; false when the query could not run.
    virtual bool QueryDevicePage(const std::string& filter, int sortKey, bool ascending,
                                 int pageSize, int pageNumber, std::vector<ap_info_stu>& rows,
                                 int& pageCount, int& onlineCount) = 0;
    // As DeviceLink::ListAnnounced.
    virtual void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter,
                               int limit) = 0;
};

// The application's store and link; either may be missing (no rows then).
class StoreDeviceSource : public DeviceListSource {
public:
    StoreDeviceSource(CSqlManagement* store, DeviceLink* link) : store_(store), link_(link) {}
    bool QueryDevicePage(const std::string& filter, int sortKey, bool ascending, int pageSize,
                         int pageNumber, std::vector<ap_info_stu>& rows, int& pageCount,
                         int& onlineCount) override;
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter,
                       int limit) override;

private:
    CSqlManagement* store_;
    DeviceLink* link_;
};

// How many announced-only devices follow the stored rows: only on the last
// page (or when there are no pages) and only to fill it up.
int AnnouncedLimit(int storedRows, int pageSize, int page, int pageCount);

struct ListPageRequest {
    int page = 1;
    bool ascending = false;
    int column = 0;
    std::string filter;
    int pageSize = 30;
};

struct ListPageResult {
    std::vector<ap_info_stu> rows;  // stored rows first, then announced-only ones
    int storedRows = 0;
    int pageCount = 0;
    int onlineCount = 0;
    bool ok = false;  // the store answered
};

// Steps 1 to 4 of a refresh: the column's sort key, the page of the store,
// and on a list that shows them the announced-only devices. A query that
// fails gives an empty page, no pages and no devices online.
ListPageResult LoadListPage(DeviceListSource& source, const ListDescriptor& list,
                            const ListPageRequest& request);

// Every row matching the filter in the list's current order (the CSV
// export): the whole store in one page, then on the status page every
// announced-only device.
ListPageResult LoadAllRows(DeviceListSource& source, const ListDescriptor& list,
                           const ListPageRequest& request);

}  // namespace kestrix
