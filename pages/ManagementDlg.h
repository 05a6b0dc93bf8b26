#pragma once
// The management page: the devices with their address and radio settings.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CManagementDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CManagementDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
