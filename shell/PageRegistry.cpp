#include "shell/PageRegistry.h"

#include "pages/BridgeDlg.h"
#include "pages/ManagementDlg.h"
#include "pages/RebootDlg.h"
#include "pages/RestoreDlg.h"
#include "pages/StatusDlg.h"
#include "pages/SystemToolDlg.h"
#include "pages/UpgradeDlg.h"
#include "shell/InstallHelpDlg.h"
#include "shell/PageIds.h"

namespace kestrix {

namespace {

template <class Page>
PageEntry Entry(int id, const char* title) {
    return {id, title, [](QWidget* parent) -> CPageBase* { return new Page(parent); }};
}

}  // namespace

const std::vector<PageEntry>& RegisteredPages() {
    static const std::vector<PageEntry> pages = {
        Entry<CSystemToolDlg>(kSystemToolPageId, "System tool"),
        Entry<CStatusDlg>(kStatusPageId, "Device status"),
        Entry<CManagementDlg>(kManagementPageId, "Device management"),
        Entry<CBridgeDlg>(kBridgePageId, "Device bridge"),
        Entry<CRebootDlg>(kRebootPageId, "Device reboot"),
        Entry<CRestoreDlg>(kRestorePageId, "Device restore"),
        Entry<CUpgradeDlg>(kUpgradePageId, "Device upgrade"),
        {kInstallHelpPageId, "Install Help",
         [](QWidget* parent) -> CPageBase* { return new CInstallHelpDlg(parent); }},
    };
    return pages;
}

}  // namespace kestrix
