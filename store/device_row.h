#pragma once
// The mapping between a device record (ap_info_stu) and its row in the
// table ap_info, in both directions. Kept apart from CSqlManagement so that
// the values written can be built before the store lock is taken.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "link/wire/wire_format.h"
#include "store/ado_database.h"

namespace kestrix {

// The 75 data columns in the order SaveDeviceInfo writes them.
inline constexpr size_t kDeviceDataColumns = 75;

// Every value SaveDeviceInfo writes, with the derived texts (addresses, MAC
// texts, display texts) already computed.
struct DeviceRowValues {
    std::array<SqlValue, kDeviceDataColumns> values;
};

DeviceRowValues BuildDeviceRow(const ap_info_stu& record);

// Writes all 75 columns, in order, into the row being edited or appended.
// False when any write is refused.
bool WriteDeviceRow(CADORecordset& rows, const DeviceRowValues& row);

// Fills `record` from the current row: zeroed first, then every column that
// maps back (the display texts, ip_num and the four bridge fields do not).
// Texts are trimmed and cut to their areas.
void ReadDeviceRow(CADORecordset& rows, ap_info_stu& record);

// The name of the data column at `index` (0..74) in write order.
const char* DeviceColumnName(size_t index);

// Surrounding white space removed, as from every text the store reads.
std::string TrimText(std::string_view text);

}  // namespace kestrix
