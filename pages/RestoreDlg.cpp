#include "pages/RestoreDlg.h"

namespace kestrix {

CRestoreDlg::CRestoreDlg(QWidget* parent) : CDeviceListDlg(ListPage::kRestore, parent) {}

}  // namespace kestrix
