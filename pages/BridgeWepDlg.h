#pragma once
// The WEP panel of the bridge wizard's security step: open or shared key,
// the default key and the four keys with their ASCII/Hex formats.

#include <array>

#include <QWidget>

#include "fleet/bridge_wizard.h"
#include "shell/AppContext.h"

class QComboBox;
class QLineEdit;

namespace kestrix {

class CBridgeWepDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kKeyLength = 26;

    CBridgeWepDlg(const AppContext& context, QWidget* parent);

    void Set(const WepSettings& wep);
    WepSettings Get() const;

    QComboBox* AuthBox() const { return auth_; }
    QComboBox* DefaultKeyBox() const { return defaultKey_; }
    QLineEdit* KeyEdit(int k) const { return keys_[static_cast<size_t>(k)]; }
    QComboBox* FormatBox(int k) const { return formats_[static_cast<size_t>(k)]; }

private:
    QComboBox* auth_ = nullptr;
    QComboBox* defaultKey_ = nullptr;
    std::array<QLineEdit*, 4> keys_{};
    std::array<QComboBox*, 4> formats_{};
};

}  // namespace kestrix
