#pragma once
// Step 1 of the bridge wizard: the link's SSID, channel, bandwidth and
// security, started from the chosen access point and the device's record
// (fleet/bridge_wizard.h decides what), with the WEP panel below the
// security list.

#include <QWidget>

#include "fleet/bridge_wizard.h"
#include "shell/AppContext.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kestrix {

class CBridgeWepDlg;

class CBridgeSecureDlg : public QWidget {
    Q_OBJECT
public:
    CBridgeSecureDlg(const AppContext& context, QWidget* parent);

    // Fills every field for the access point `entry` of a scan.
    void Initialise(const config_otherwl_basic& entry, const ap_info_stu& record);
    // What the fields hold now.
    BridgeSecurity Collect() const;
    // Focus to the SSID after its rule failed.
    void FocusSsid();

    QLineEdit* SsidEdit() const { return ssid_; }
    QComboBox* ChannelBox() const { return channel_; }
    QComboBox* BandwidthBox() const { return bandwidth_; }
    QLabel* BandwidthLabel() const { return bandwidthLabel_; }
    QComboBox* ModeBox() const { return mode_; }
    QRadioButton* AesRadio() const { return aes_; }
    QRadioButton* TkipRadio() const { return tkip_; }
    QRadioButton* TkipAesRadio() const { return tkipAes_; }
    QLineEdit* KeyEdit() const { return key_; }
    QLineEdit* KeyTimeEdit() const { return keyTime_; }
    CBridgeWepDlg* WepPanel() const { return wep_; }

private:
    void ShowFieldsOfMode();
    void OnBandwidthChanged();
    PskCipher TickedCipher() const;

    config_otherwl_basic entry_;
    ap_info_stu record_;
    bool filling_ = false;

    QLineEdit* ssid_ = nullptr;
    QComboBox* channel_ = nullptr;
    QLabel* bandwidthLabel_ = nullptr;
    QComboBox* bandwidth_ = nullptr;
    QComboBox* mode_ = nullptr;
    QLabel* cipherLabel_ = nullptr;
    QRadioButton* aes_ = nullptr;
    QRadioButton* tkip_ = nullptr;
    QRadioButton* tkipAes_ = nullptr;
    QLabel* keyLabel_ = nullptr;
    QLineEdit* key_ = nullptr;
    QLabel* keyTimeLabel_ = nullptr;
    QLineEdit* keyTime_ = nullptr;
    CBridgeWepDlg* wep_ = nullptr;
};

}  // namespace kestrix
