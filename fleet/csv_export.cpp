#include "fleet/csv_export.h"

#include "base/language.h"
#include "fleet/list_rows.h"

namespace kestrix {

std::string CsvField(std::string_view text) {
    std::string field;
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' ||
                          text[0] == '\t' || text[0] == '\r')) {
        field.push_back('\'');
    }
    field.append(text);
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line.push_back(',');
        line += CsvField(fields[i]);
    }
    line += "\r\n";
    return line;
}

std::vector<int> ExportColumns(const ListDescriptor& list) {
    std::vector<int> columns;
    for (int c = 0; c < list.ColumnCount(); ++c) {
        const CellField f = list.columns[static_cast<size_t>(c)].field;
        if (f != CellField::kTick && f != CellField::kOperate) columns.push_back(c);
    }
    return columns;
}

std::string BuildCsv(const ListDescriptor& list, const std::vector<ap_info_stu>& records) {
    const std::vector<int> columns = ExportColumns(list);
    std::vector<std::string> fields;
    fields.reserve(columns.size());
    for (int c : columns) {
        fields.push_back(TranslateText(list.columns[static_cast<size_t>(c)].heading));
    }
    std::string csv = CsvLine(fields);
    for (size_t i = 0; i < records.size(); ++i) {
        const ListRow row = BuildListRow(list, records[i], static_cast<int>(i) + 1);
        fields.clear();
        for (int c : columns) fields.push_back(row.cells[static_cast<size_t>(c)].text);
        csv += CsvLine(fields);
    }
    return csv;
}

}  // namespace kestrix
