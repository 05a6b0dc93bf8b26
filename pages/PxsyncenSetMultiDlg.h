#pragma once
// Switches the PX-SYNC time-division radio mode on or off on the devices
// ticked on the status page.

#include "pages/SwitchSetMultiDlg.h"

namespace kestrix {

class CPxsyncenSetMultiDlg : public CSwitchSetMultiDlg {
    Q_OBJECT
public:
    CPxsyncenSetMultiDlg(const AppContext& context, uint8_t initialState,
                         QWidget* parent = nullptr);
};

}  // namespace kestrix
