#include "pages/BridgeDlg.h"

namespace kestrix {

CBridgeDlg::CBridgeDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kBridge, parent) {}

}  // namespace kestrix
