#pragma once
// What a list row shows of one device record: the text of every cell, the
// colour it is drawn in and whether it holds the "open" image. Built here,
// without the grid, so that the grid, the CSV export and the tests read the
// same texts.

#include <cstdint>
#include <string>
#include <vector>

#include "fleet/list_descriptor.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// Which colour of the appearance settings a cell is drawn in.
enum class CellColour {
    kText,     // the grid text colour
    kPending,  // a device the link only heard announce itself (status page)
    kOnline,   // a Status cell whose status code is not 0
};

struct ListCell {
    std::string text;
    CellColour colour = CellColour::kText;
    bool operateImage = false;  // image 0 of the grid's image strip
};

struct ListRow {
    std::vector<ListCell> cells;  // one per column of the descriptor
    uint32_t status = 0;          // item data of the Serial cell
};

// The running number of data row `rowIndex` (0-based) on page `page`.
int SerialNumber(int rowIndex, int pageSize, int page);

ListRow BuildListRow(const ListDescriptor& list, const ap_info_stu& record, int serial);

// The text of one field of a record as a cell shows it (the tick and the
// Operate cells have none).
std::string FieldText(CellField field, const ap_info_stu& record);

}  // namespace kestrix
