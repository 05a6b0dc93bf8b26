#include "fleet/ticked_rows.h"

#include "store/field_texts.h"

namespace kestrix {

namespace {
constexpr const char* kNotApplicable = "N/A";
}

std::vector<SelectedDevice> CollectSelection(const std::vector<TickedRow>& rows,
                                             SelectionFilter filter) {
    std::vector<SelectedDevice> selection;
    for (const TickedRow& row : rows) {
        if (!row.ticked) continue;
        if (filter == SelectionFilter::kTransparentBridge && row.bridgeText == kNotApplicable)
            continue;
        if (filter == SelectionFilter::kPxsync && row.pxsyncText == kNotApplicable) continue;
        selection.push_back({row.ip, row.mac, ModelCode(row.typeText)});
    }
    return selection;
}

}  // namespace kestrix
