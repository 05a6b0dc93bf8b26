#include "pages/UpgradeDlg.h"

namespace kestrix {

CUpgradeDlg::CUpgradeDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kUpgrade, parent) {}

}  // namespace kestrix
