#include "fleet/list_rows.h"

#include "link/wire/addr_text.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

// Announced-only records carry what the announcement said; fields the
// announcement of a device without an SSID leaves out are shown empty
// rather than as misleading defaults ("Auto", "Off", 0:0:0).
bool ShownForAnnounced(CellField field, bool hasSsid) {
    switch (field) {
        case CellField::kLocation:
        case CellField::kOperationMode:
        case CellField::kSsid:
        case CellField::kChannel:
        case CellField::kTransparentBridge:
        case CellField::kPxsync:
        case CellField::kTime:
            return hasSsid;
        default:
            return true;
    }
}

}  // namespace

int SerialNumber(int rowIndex, int pageSize, int page) {
    return rowIndex + 1 + pageSize * (page - 1);
}

std::string FieldText(CellField field, const ap_info_stu& record) {
    const DeviceInfoBlock info = record.info();
    switch (field) {
        case CellField::kLocation:
            return info.ap_name();
        case CellField::kType:
            return ModelName(record.ap_type());
        case CellField::kIp:
            return IpBytesToText(info.address().ip());
        case CellField::kMac:
            return record.mac();
        case CellField::kOperationMode:
            return WorkModeText(info.work_mode());
        case CellField::kSsid:
            return info.wireless().ssid();
        case CellField::kChannel:
            return ChannelText(info.wireless().channel());
        case CellField::kVersion:
            return info.version();
        case CellField::kTransparentBridge:
            return BridgeTransparentText(record.ap_type(), info.work_mode(),
                                         info.extension().bridge_transparent());
        case CellField::kPxsync:
            return TdmaEnText(record.ap_type(), info.extension().tdmaEn());
        case CellField::kTime:
            return UptimeText(info.up_time());
        case CellField::kSecureMode:
            return SecureModeText(info.wireless().security().secure_mode());
        case CellField::kPower:
            return std::to_string(info.wireless().tx_power());
        case CellField::kStatus:
            return StatusText(record.ap_status());
        case CellField::kTick:
        case CellField::kSerial:
        case CellField::kOperate:
            break;
    }
    return {};
}

ListRow BuildListRow(const ListDescriptor& list, const ap_info_stu& record, int serial) {
    ListRow row;
    row.status = record.ap_status();
    const bool announced = row.status == kStatusAnnouncedOnly;
    const bool hasSsid = announced && !record.info().wireless().ssid().empty();
    row.cells.reserve(list.columns.size());
    for (const ListColumn& column : list.columns) {
        ListCell& cell = row.cells.emplace_back();
        switch (column.field) {
            case CellField::kTick:
                break;
            case CellField::kSerial:
                cell.text = std::to_string(serial);
                break;
            case CellField::kOperate:
                cell.operateImage = !announced;
                break;
            case CellField::kStatus:
                cell.text = FieldText(column.field, record);
                if (row.status != kStatusOffline) cell.colour = CellColour::kOnline;
                break;
            default:
                if (!announced || ShownForAnnounced(column.field, hasSsid)) {
                    cell.text = FieldText(column.field, record);
                }
                break;
        }
        if (announced) cell.colour = CellColour::kPending;
    }
    return row;
}

}  // namespace kestrix
