#pragma once
// The bridge page: the devices with their bridge-relevant state and status.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CBridgeDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CBridgeDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
