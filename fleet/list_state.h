#pragma once
// The state every device list keeps between refreshes, and what a click on
// a heading does to it.

#include <string>

#include "fleet/list_descriptor.h"

namespace kestrix {

struct ListState {
    int currentPage = 1;
    // The direction of the last heading click, kept negated: refreshes sort
    // ascending when it is 0. It starts at 1, so the first fill lists the
    // devices by IP address, descending, and the first heading click sorts
    // ascending.
    int sortToggle = 1;
    int sortColumn = 0;
    std::string filterText;  // UTF-8
    int onlineCount = 0;
    int allTicked = 0;

    explicit ListState(const ListDescriptor& list) : sortColumn(list.InitialSortColumn()) {}
    bool RefreshAscending() const { return sortToggle == 0; }
};

struct HeadingAction {
    enum class Kind { kNothing, kTickAll, kSort };
    Kind kind = Kind::kNothing;
    bool tick = false;       // kTickAll: tick (true) or untick every row
    int column = -1;         // kSort: the column to sort by, on page 1
    bool ascending = false;  // kSort
};

// A click on the heading of `column`: the tick-column heading flips
// `allTicked`; a sortable heading sorts by its column in the direction of
// the shared toggle and flips the toggle, so every further heading click,
// on whichever column, reverses the direction; any other heading does
// nothing.
HeadingAction OnHeadingClick(ListState& state, const ListDescriptor& list, int column);

}  // namespace kestrix
