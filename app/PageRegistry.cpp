#include "app/PageRegistry.h"

#include "fleet/page_ids.h"
#include "pages/BridgeDlg.h"
#include "pages/InstallHelpDlg.h"
#include "pages/ManagementDlg.h"
#include "pages/RebootDlg.h"
#include "pages/RestoreDlg.h"
#include "pages/StatusDlg.h"
#include "pages/SystemToolDlg.h"
#include "pages/UpgradeDlg.h"

namespace kestrix {

namespace {

template <class Page>
PageEntry Entry(int id, const char* title) {
    return {id, title, [](const AppContext& context, QWidget* parent) -> CPageBase* {
                return new Page(context, parent);
            }};
}

}  // namespace

const PageList& RegisteredPages() {
    static const PageList pages = {
        Entry<CSystemToolDlg>(kSystemToolPageId, "System tool"),
        Entry<CStatusDlg>(kStatusPageId, "Device status"),
        Entry<CManagementDlg>(kManagementPageId, "Device management"),
        Entry<CBridgeDlg>(kBridgePageId, "Device bridge"),
        Entry<CRebootDlg>(kRebootPageId, "Device reboot"),
        Entry<CRestoreDlg>(kRestorePageId, "Device restore"),
        Entry<CUpgradeDlg>(kUpgradePageId, "Device upgrade"),
        Entry<CInstallHelpDlg>(kInstallHelpPageId, "Install Help"),
    };
    return pages;
}

}  // namespace kestrix
