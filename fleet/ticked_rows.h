#pragma once
// The devices an action works on, collected from the ticked rows of a list
// as the grid shows them (SelectedDevice is the actions' own type: the
// dialogs and workers each take a copy).

#include <string>
#include <vector>

#include "fleet/selection.h"

namespace kestrix {

enum class SelectionFilter {
    kEveryTicked,
    // Only rows whose "Transparent bridge" / "PX-SYNC" cell does not read
    // "N/A": devices that have the switch at all.
    kTransparentBridge,
    kPxsync,
};

// One list row as the collection reads it from the grid.
struct TickedRow {
    bool ticked = false;
    std::string ip, mac, typeText;
    std::string bridgeText, pxsyncText;  // the feature cells, where the list has them
};

std::vector<SelectedDevice> CollectSelection(const std::vector<TickedRow>& rows,
                                             SelectionFilter filter);

}  // namespace kestrix
