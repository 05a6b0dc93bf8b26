#include "fleet/list_state.h"

namespace kestrix {

HeadingAction OnHeadingClick(ListState& state, const ListDescriptor& list, int column) {
    HeadingAction action;
    if (column == 0 && list.hasTickColumn) {
        state.allTicked = state.allTicked == 0 ? 1 : 0;
        action.kind = HeadingAction::Kind::kTickAll;
        action.tick = state.allTicked == 1;
        return action;
    }
    if (!IsSortableColumn(list, column)) return action;
    action.kind = HeadingAction::Kind::kSort;
    action.column = column;
    action.ascending = state.sortToggle != 0;
    state.sortToggle = 1 - state.sortToggle;
    return action;
}

}  // namespace kestrix
