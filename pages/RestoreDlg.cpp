#include "pages/RestoreDlg.h"

namespace kestrix {

CRestoreDlg::CRestoreDlg(const AppContext& context, QWidget* parent)
    : CRebootRestoreDlg(context, ListPage::kRestore, parent) {}

}  // namespace kestrix
