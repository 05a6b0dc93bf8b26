#pragma once
// The reboot page: the devices to restart, with their status.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CRebootDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CRebootDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
