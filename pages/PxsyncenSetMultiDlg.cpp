#include "pages/PxsyncenSetMultiDlg.h"

namespace kestrix {

CPxsyncenSetMultiDlg::CPxsyncenSetMultiDlg(const AppContext& context, uint8_t initialState,
                                           QWidget* parent)
    : CSwitchSetMultiDlg(context, SwitchKind::kPxsync, "PX-SYNC", initialState, parent) {
    setObjectName(QStringLiteral("PxsyncenSetMultiDlg"));
}

}  // namespace kestrix
