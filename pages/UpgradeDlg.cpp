#include "pages/UpgradeDlg.h"

namespace kestrix {

CUpgradeDlg::CUpgradeDlg(QWidget* parent) : CDeviceListDlg(ListPage::kUpgrade, parent) {}

}  // namespace kestrix
