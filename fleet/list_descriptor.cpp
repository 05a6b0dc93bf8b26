#include "fleet/list_descriptor.h"

#include <cstddef>

#include "fleet/page_ids.h"

namespace kestrix {

namespace {

using F = CellField;
using Columns = std::vector<ListColumn>;

Columns Join(Columns head, const Columns& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The tick box and the device's identity, as the reboot, restore and
// upgrade lists start.
Columns TickListHead() {
    return {
        {F::kTick, "", 30, kNotSortable},
        {F::kSerial, "Serial", 60, kNotSortable},
        {F::kLocation, "Location", 110, kSortName},
        {F::kType, "Type", 80, kSortType},
        {F::kIp, "IP", 132, kSortIp},
        {F::kMac, "MAC", 132, kSortMac},
    };
}

// Identity and radio settings, as the management and bridge lists start.
Columns SingleDeviceHead() {
    return {
        {F::kSerial, "Serial", 60, kNotSortable},
        {F::kLocation, "Location", 100, kSortName},
        {F::kType, "Type", 80, kSortType},
        {F::kIp, "IP", 132, kSortIp},
        {F::kMac, "MAC", 132, kSortMac},
        {F::kOperationMode, "OperationMode", 96, kSortWorkMode},
        {F::kSsid, "SSID", 130, kSortSsid},
        {F::kChannel, "Channel", 80, kSortChannel},
        {F::kSecureMode, "SecureMode", 90, kSortSecureMode},
    };
}

ListDescriptor MakeStatus() {
    return {ListPage::kStatus,
            kStatusPageId,
            {
                {F::kTick, "", 20, kNotSortable},
                {F::kSerial, "Serial", 40, kNotSortable},
                {F::kLocation, "Location", 90, kSortName},
                {F::kType, "Type", 80, kSortType},
                {F::kIp, "IP", 102, kSortIp},
                {F::kMac, "MAC", 112, kSortMac},
                {F::kOperationMode, "OperationMode", 66, kSortWorkMode},
                {F::kSsid, "SSID", 100, kSortSsid},
                {F::kChannel, "Channel", 65, kSortChannel},
                {F::kVersion, "Version", 60, kSortVersion},
                {F::kTransparentBridge, "Transparent bridge", 100, kSortTransparentBridge},
                {F::kPxsync, "PX-SYNC", 70, kSortPxsync},
                {F::kTime, "Time", 70, kSortUptime},
                {F::kOperate, "Operate", 70, kNotSortable},
            },
            true,
            true,
            false};
}

ListDescriptor MakeManagement() {
    return {ListPage::kManagement,
            kManagementPageId,
            Join(SingleDeviceHead(), {{F::kPower, "Power", 70, kSortTxPower},
                                      {F::kOperate, "Operate", 70, kNotSortable}}),
            false,
            false,
            true};
}

ListDescriptor MakeBridge() {
    return {ListPage::kBridge,
            kBridgePageId,
            Join(SingleDeviceHead(), {{F::kStatus, "Status", 70, kSortStatus},
                                      {F::kOperate, "Operate", 70, kNotSortable}}),
            false,
            false,
            false};
}

ListDescriptor MakeReboot() {
    return {ListPage::kReboot,
            kRebootPageId,
            Join(TickListHead(), {{F::kOperationMode, "OperationMode", 106, kSortWorkMode},
                                  {F::kSsid, "SSID", 130, kSortSsid},
                                  {F::kChannel, "Channel", 80, kSortChannel},
                                  {F::kSecureMode, "SecureMode", 100, kSortSecureMode},
                                  {F::kStatus, "Status", 80, kNotSortable}}),
            true,
            false,
            false};
}

ListDescriptor MakeRestore() {
    return {ListPage::kRestore,
            kRestorePageId,
            Join(TickListHead(), {{F::kOperationMode, "OperationMode", 96, kSortWorkMode},
                                  {F::kSsid, "SSID", 120, kSortSsid},
                                  {F::kChannel, "Channel", 80, kSortChannel},
                                  {F::kSecureMode, "SecureMode", 70, kSortSecureMode},
                                  {F::kPower, "Power", 70, kSortTxPower},
                                  {F::kStatus, "Status", 60, kNotSortable}}),
            true,
            false,
            false};
}

// No widths are laid down for this list; these follow the reboot list's.
ListDescriptor MakeUpgrade() {
    return {ListPage::kUpgrade,
            kUpgradePageId,
            Join(TickListHead(), {{F::kOperationMode, "OperationMode", 106, kSortWorkMode},
                                  {F::kSsid, "SSID", 130, kSortSsid},
                                  {F::kVersion, "Version", 100, kSortVersion},
                                  {F::kStatus, "Status", 100, kSortStatus}}),
            true,
            false,
            true};
}

}  // namespace

int ListDescriptor::ColumnOf(CellField field) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].field == field) return static_cast<int>(i);
    }
    return -1;
}

const ListDescriptor& DescriptorFor(ListPage page) {
    static const ListDescriptor status = MakeStatus();
    static const ListDescriptor management = MakeManagement();
    static const ListDescriptor bridge = MakeBridge();
    static const ListDescriptor reboot = MakeReboot();
    static const ListDescriptor upgrade = MakeUpgrade();
    static const ListDescriptor restore = MakeRestore();
    switch (page) {
        case ListPage::kStatus:
            return status;
        case ListPage::kManagement:
            return management;
        case ListPage::kBridge:
            return bridge;
        case ListPage::kReboot:
            return reboot;
        case ListPage::kUpgrade:
            return upgrade;
        case ListPage::kRestore:
            break;
    }
    return restore;
}

const ListDescriptor* DescriptorForDialog(int dialogId) {
    for (ListPage p : {ListPage::kStatus, ListPage::kManagement, ListPage::kBridge,
                       ListPage::kReboot, ListPage::kUpgrade, ListPage::kRestore}) {
        const ListDescriptor& d = DescriptorFor(p);
        if (d.dialogId == dialogId) return &d;
    }
    return nullptr;
}

bool IsSortableColumn(const ListDescriptor& list, int column) {
    return column >= 0 && column < list.ColumnCount() &&
           list.columns[static_cast<size_t>(column)].sortKey != kNotSortable;
}

int SortKeyForColumn(const ListDescriptor& list, int column) {
    return IsSortableColumn(list, column) ? list.columns[static_cast<size_t>(column)].sortKey
                                          : kSortIp;
}

}  // namespace kestrix
