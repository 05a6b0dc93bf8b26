#include "pages/RebootDlg.h"

namespace kestrix {

CRebootDlg::CRebootDlg(QWidget* parent) : CDeviceListDlg(ListPage::kReboot, parent) {}

}  // namespace kestrix
