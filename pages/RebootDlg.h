#pragma once
// The reboot page: the devices to restart, with their status.

#include "pages/RebootRestoreDlg.h"

namespace kestrix {

class CRebootDlg : public CRebootRestoreDlg {
    Q_OBJECT
public:
    explicit CRebootDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
