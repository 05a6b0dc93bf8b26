#include "pages/BridgeDlg.h"

namespace kestrix {

CBridgeDlg::CBridgeDlg(QWidget* parent) : CDeviceListDlg(ListPage::kBridge, parent) {}

}  // namespace kestrix
