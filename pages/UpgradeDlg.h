#pragma once
// The upgrade page: the devices with their firmware version and status.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CUpgradeDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CUpgradeDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
