#include "pages/RestoreDlg.h"

namespace kestrix {

CRestoreDlg::CRestoreDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kRestore, parent) {}

}  // namespace kestrix
