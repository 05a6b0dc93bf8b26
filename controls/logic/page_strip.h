#pragma once
// The numbering of the page strip under every list: at most seven buttons,
// the first and the last page always shown, "..." where pages are left out.

#include <vector>

namespace kestrix {

inline constexpr int kStripEllipsis = 0;
inline constexpr int kStripMaxButtons = 7;

// The button labels for page `current` of `count`, left to right: a page
// number, or kStripEllipsis for "...". No pages: no buttons.
std::vector<int> PageStripSlots(int current, int count);

// The page the strip marks: a current page beyond the count marks page 1.
int StripCurrentPage(int current, int count);

}  // namespace kestrix
