#pragma once
// The six device lists differ only in this table: the columns each shows
// (heading, width, what the cell holds), which headings sort and by which
// store key, whether the first column holds tick boxes and which column the
// first fill sorts by. Everything else about a list is shared.

#include <cstdint>
#include <vector>

namespace kestrix {

enum class ListPage { kStatus, kManagement, kBridge, kReboot, kUpgrade, kRestore };

// What a grid column shows of a device record.
enum class CellField {
    kTick,
    kSerial,
    kLocation,
    kType,
    kIp,
    kMac,
    kOperationMode,
    kSsid,
    kChannel,
    kVersion,
    kTransparentBridge,
    kPxsync,
    kTime,
    kOperate,
    kSecureMode,
    kPower,
    kStatus,
};

// The device store's sort keys (QueryDevicePage).
enum SortKey : int {
    kSortMac = 0,
    kSortIp = 1,
    kSortName = 2,
    kSortType = 3,
    kSortWorkMode = 4,
    kSortSsid = 5,
    kSortChannel = 6,
    kSortSecureMode = 7,
    kSortTxPower = 8,
    kSortVersion = 9,
    kSortTransparentBridge = 10,
    kSortPxsync = 11,
    kSortUptime = 12,
    kSortStatus = 13,
};

inline constexpr int kNotSortable = -1;

struct ListColumn {
    CellField field;
    const char* heading;  // English text key; empty for the tick column
    int width;            // pixels
    int sortKey;          // store key of a sortable heading, else kNotSortable
};

struct ListDescriptor {
    ListPage page;
    int dialogId;
    std::vector<ListColumn> columns;
    bool hasTickColumn;
    // The status page lists the devices the link only heard announce
    // themselves after the stored rows of its last page.
    bool appendsAnnounced;
    // The count label is drawn in the number colour of the appearance
    // settings on these pages.
    bool countInNumberColour;

    int ColumnCount() const { return static_cast<int>(columns.size()); }
    // The grid column showing `field`, or -1.
    int ColumnOf(CellField field) const;
    // The column the first fill sorts by: the "IP" column.
    int InitialSortColumn() const { return ColumnOf(CellField::kIp); }
};

const ListDescriptor& DescriptorFor(ListPage page);
const ListDescriptor* DescriptorForDialog(int dialogId);

bool IsSortableColumn(const ListDescriptor& list, int column);
// The store key a refresh sorts `column` by: the column's key, or the IP
// address key for a column outside the map.
int SortKeyForColumn(const ListDescriptor& list, int column);

}  // namespace kestrix
