#include "pages/RebootDlg.h"

namespace kestrix {

CRebootDlg::CRebootDlg(const AppContext& context, QWidget* parent)
    : CRebootRestoreDlg(context, ListPage::kReboot, parent) {}

}  // namespace kestrix
