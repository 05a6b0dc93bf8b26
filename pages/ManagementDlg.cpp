#include "pages/ManagementDlg.h"

namespace kestrix {

CManagementDlg::CManagementDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kManagement, parent) {}

}  // namespace kestrix
