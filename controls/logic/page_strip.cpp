#include "controls/logic/page_strip.h"

namespace kestrix {

std::vector<int> PageStripSlots(int current, int count) {
    std::vector<int> slots;
    if (count <= 0) return slots;
    if (count <= kStripMaxButtons) {
        for (int p = 1; p <= count; ++p) slots.push_back(p);
        return slots;
    }
    if (current <= 4) return {1, 2, 3, 4, 5, kStripEllipsis, count};
    // The middle form needs a current page strictly below count - 3;
    // nearer the end the last five pages are shown.
    if (current < count - 3) {
        return {1, kStripEllipsis, current - 1, current, current + 1, kStripEllipsis, count};
    }
    return {1, kStripEllipsis, count - 4, count - 3, count - 2, count - 1, count};
}

int StripCurrentPage(int current, int count) {
    return current > count ? 1 : current;
}

}  // namespace kestrix
