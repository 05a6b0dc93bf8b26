#pragma once
// The "WirelessSet" tab of the device configuration dialog: radio, SSID
// and security of one device, with the WEP and WPA sub-panels. A thin view
// over fleet/wireless_settings.h: each change goes through the logic's
// handler and the lists are shown again from it.

#include <array>

#include <QWidget>

#include "fleet/config_field.h"
#include "fleet/wireless_settings.h"
#include "shell/AppContext.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kestrix {

class CTIpAddressEdit;

class CWirelessSetDlg : public QWidget {
    Q_OBJECT
public:
    CWirelessSetDlg(const AppContext& context, WirelessSettings& settings, QWidget* parent);

    // Copies the texts of the free fields into the settings (before Collect).
    void Store();
    // The widget of a field, for the focus after a failed rule.
    QWidget* FieldWidget(ConfigField field) const;

    QLineEdit* SsidEdit() const { return ssid_; }
    QCheckBox* HideBox() const { return hide_; }
    QCheckBox* DfsBox() const { return dfs_; }
    QComboBox* NetworkModeBox() const { return netMode_; }
    QComboBox* BandwidthBox() const { return bandwidth_; }
    QComboBox* CountryBox() const { return country_; }
    QComboBox* ChannelBox() const { return channel_; }
    QComboBox* ExtensionBox() const { return extension_; }
    QComboBox* SecurityBox() const { return security_; }
    QLineEdit* PowerEdit() const { return power_; }
    QLineEdit* KeyEdit() const { return key_; }
    QWidget* WepPanel() const { return wepPanel_; }
    QWidget* WpaPanel() const { return wpaPanel_; }

private:
    void ShowLists();
    void ShowSecurity();
    void FillEntries();

    const AppContext& context_;
    WirelessSettings& settings_;

    QLineEdit* ssid_ = nullptr;
    QCheckBox* hide_ = nullptr;
    QLabel* dfsLabel_ = nullptr;
    QCheckBox* dfs_ = nullptr;
    QComboBox* netMode_ = nullptr;
    QComboBox* bandwidth_ = nullptr;
    QLineEdit* power_ = nullptr;
    QLabel* powerRange_ = nullptr;
    QComboBox* country_ = nullptr;
    QComboBox* channel_ = nullptr;
    QComboBox* extension_ = nullptr;
    QComboBox* security_ = nullptr;
    QWidget* pskRow_ = nullptr;
    QRadioButton* aes_ = nullptr;
    QRadioButton* tkip_ = nullptr;
    QRadioButton* tkipAes_ = nullptr;
    QLineEdit* keyTime_ = nullptr;
    QLineEdit* key_ = nullptr;
    std::array<QWidget*, 4> pskLabels_{};

    QWidget* wepPanel_ = nullptr;
    QComboBox* wepAuth_ = nullptr;
    QComboBox* wepDefault_ = nullptr;
    std::array<QLineEdit*, 4> wepKeys_{};
    std::array<QComboBox*, 4> wepFormats_{};

    QWidget* wpaPanel_ = nullptr;
    QComboBox* wpaAuth_ = nullptr;
    CTIpAddressEdit* radiusIp_ = nullptr;
    QLineEdit* radiusPort_ = nullptr;
    QLineEdit* radiusKey_ = nullptr;
    QLineEdit* radiusTime_ = nullptr;
};

}  // namespace kestrix
