#pragma once
// The restore page: the devices to reset to factory settings, with their
// transmit power and status.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CRestoreDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CRestoreDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
