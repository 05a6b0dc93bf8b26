#include "pages/BridgeSetMultiDlg.h"

namespace kestrix {

CBridgeSetMultiDlg::CBridgeSetMultiDlg(const AppContext& context, uint8_t initialState,
                                       QWidget* parent)
    : CSwitchSetMultiDlg(context, SwitchKind::kTransparentBridge, "Set Bridge", initialState,
                         parent) {
    setObjectName(QStringLiteral("BridgeSetMultiDlg"));
}

}  // namespace kestrix
