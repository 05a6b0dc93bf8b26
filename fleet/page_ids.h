#pragma once
// The dialog ids by which the menu, the page container and the pages name
// the eight pages (a page asks the container for a page change by id).

namespace kestrix {

enum PageId : int {
    kStatusPageId = 133,
    kManagementPageId = 134,
    kBridgePageId = 135,
    kRebootPageId = 136,
    kUpgradePageId = 137,
    kRestorePageId = 138,
    kInstallHelpPageId = 139,
    kSystemToolPageId = 155,
};

}  // namespace kestrix
