#pragma once
// The restore page: the devices to reset to factory settings, with their
// transmit power and status.

#include "pages/RebootRestoreDlg.h"

namespace kestrix {

class CRestoreDlg : public CRebootRestoreDlg {
    Q_OBJECT
public:
    explicit CRestoreDlg(const AppContext& context, QWidget* parent = nullptr);
};

}  // namespace kestrix
