#include "pages/ManagementDlg.h"

namespace kestrix {

CManagementDlg::CManagementDlg(QWidget* parent) : CDeviceListDlg(ListPage::kManagement, parent) {}

}  // namespace kestrix
