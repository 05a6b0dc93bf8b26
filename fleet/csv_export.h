#pragma once
// The CSV export of a device list: the list's columns (those that hold
// text) with their headings as the operator reads them, one line per
// device in the list's order. UTF-8, comma separated, CR LF line ends.

#include <string>
#include <string_view>
#include <vector>

#include "fleet/list_descriptor.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// One field: quoted when it holds a comma, a quote or a line break (quotes
// doubled). A field that a spreadsheet would run as a formula (it starts
// with =, +, -, @, a tab or a carriage return) gets a leading apostrophe:
// device names come from the devices, and opening the export must never
// run what a device put there.
std::string CsvField(std::string_view text);
std::string CsvLine(const std::vector<std::string>& fields);

// The columns an export writes: every column but the tick boxes and the
// "Operate" images.
std::vector<int> ExportColumns(const ListDescriptor& list);

// The whole file: the header line, then each record with its running
// number from 1.
std::string BuildCsv(const ListDescriptor& list, const std::vector<ap_info_stu>& records);

}  // namespace kestrix
