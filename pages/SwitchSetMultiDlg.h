#pragma once
// The twin dialogs that switch a feature on or off on every device ticked
// on the status page (transparent bridging, PX-SYNC): "Enable" or
// "Disable_off", starting from the first device's current state. Save
// accepts the dialog with the chosen state, which the status page then
// sends; Cancel and the close button send nothing.

#include "fleet/selection.h"
#include "pages/SkinDlg.h"

class QButtonGroup;
class QRadioButton;

namespace kestrix {

class CTButtonPicture;

class CSwitchSetMultiDlg : public CSkinDlg {
    Q_OBJECT
public:
    SwitchKind Kind() const { return kind_; }
    // 1 = enable, 0 = disable.
    int SwitchState() const { return switchState_; }

    QRadioButton* EnableRadio() const { return enable_; }
    QRadioButton* DisableRadio() const { return disable_; }
    CTButtonPicture* SaveButton() const { return save_; }
    CTButtonPicture* CancelButton() const { return cancel_; }

protected:
    // `titleKey` is both the title and the label before the radios; any
    // non-zero initial state counts as on.
    CSwitchSetMultiDlg(const AppContext& context, SwitchKind kind, const char* titleKey,
                       uint8_t initialState, QWidget* parent);

private:
    SwitchKind kind_;
    int switchState_ = 0;
    QRadioButton* enable_ = nullptr;
    QRadioButton* disable_ = nullptr;
    QButtonGroup* group_ = nullptr;
    CTButtonPicture* save_ = nullptr;
    CTButtonPicture* cancel_ = nullptr;
};

}  // namespace kestrix
