#include "pages/StatusDlg.h"

namespace kestrix {

CStatusDlg::CStatusDlg(QWidget* parent) : CDeviceListDlg(ListPage::kStatus, parent) {}

}  // namespace kestrix
