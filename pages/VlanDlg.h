#pragma once
// The "VLAN" tab of the device configuration dialog: VLAN tagging on or
// off and the VLAN numbers the device's type has (fleet/vlan_settings.h).

#include <array>

#include <QWidget>

#include "fleet/vlan_settings.h"
#include "shell/AppContext.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kestrix {

class CVlanDlg : public QWidget {
    Q_OBJECT
public:
    // Fields in the order PVID, Manage VLAN, WLAN, LAN2 (LAN), LAN3, LAN4.
    static constexpr size_t kFieldCount = 6;

    CVlanDlg(const AppContext& context, VlanEntries& entries, const VlanLayout& layout,
             QWidget* parent);
    void Store();
    QWidget* FieldWidget(ConfigField field) const;

    QCheckBox* EnableBox() const { return enable_; }
    QLineEdit* Field(size_t i) const { return edits_[i]; }
    QLabel* Label(size_t i) const { return labels_[i]; }

private:
    void ShowEnabled();

    VlanEntries& entries_;
    VlanLayout layout_;
    QCheckBox* enable_ = nullptr;
    std::array<QLineEdit*, kFieldCount> edits_{};
    std::array<QLabel*, kFieldCount> labels_{};
};

}  // namespace kestrix
