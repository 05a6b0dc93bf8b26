#include "pages/BridgeSetMultiDlg.h"

namespace kestrix {

CBridgeSetMultiDlg::CBridgeSetMultiDlg(uint8_t initialState, QWidget* parent)
    : CSwitchSetMultiDlg(SwitchKind::kTransparentBridge, "Set Bridge", initialState, parent) {
    setObjectName(QStringLiteral("BridgeSetMultiDlg"));
}

}  // namespace kestrix
