#pragma once
// The one place where the pages of the main window are listed. A page is a
// CPageBase subclass; giving it to the container is one entry here.

#include "shell/PageBase.h"

namespace kestrix {

// In the order the container creates them.
const PageList& RegisteredPages();

}  // namespace kestrix
