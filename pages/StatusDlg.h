#pragma once
// The status page: every known device with its identity and radio state,
// and the devices only heard announcing themselves after the stored ones.

#include "pages/DeviceListDlg.h"

namespace kestrix {

class CStatusDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    explicit CStatusDlg(QWidget* parent = nullptr);
};

}  // namespace kestrix
