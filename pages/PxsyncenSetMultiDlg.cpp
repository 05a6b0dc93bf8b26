#include "pages/PxsyncenSetMultiDlg.h"

namespace kestrix {

CPxsyncenSetMultiDlg::CPxsyncenSetMultiDlg(uint8_t initialState, QWidget* parent)
    : CSwitchSetMultiDlg(SwitchKind::kPxsync, "PX-SYNC", initialState, parent) {
    setObjectName(QStringLiteral("PxsyncenSetMultiDlg"));
}

}  // namespace kestrix
