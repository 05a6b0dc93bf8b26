#pragma once
// Switches transparent bridging on or off on the devices ticked on the
// status page.

#include "pages/SwitchSetMultiDlg.h"

namespace kestrix {

class CBridgeSetMultiDlg : public CSwitchSetMultiDlg {
    Q_OBJECT
public:
    CBridgeSetMultiDlg(const AppContext& context, uint8_t initialState, QWidget* parent = nullptr);
};

}  // namespace kestrix
