#pragma once
// The one place where the pages of the main window are listed. A page is a
// CPageBase subclass; giving it to the container is one entry here.

#include <functional>
#include <vector>

#include "shell/PageBase.h"

namespace kestrix {

struct PageEntry {
    int dialogId;
    // The menu text of the page, an English text passed through the
    // language lookup (also the page's title while it is a placeholder).
    const char* titleKey;
    std::function<CPageBase*(QWidget* parent)> create;
};

// In the order the container creates them.
const std::vector<PageEntry>& RegisteredPages();

}  // namespace kestrix
