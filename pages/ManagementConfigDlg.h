#pragma once
// "Device management": the settings of one device in four tabs (wireless,
// address, VLAN, timed reboot) and one Save that collects all four in that
// order, hands the changed blocks to the management page's send worker,
// waits while the device moves or re-tags, and closes. A failing rule shows
// its message and moves the focus into its field, leaving the tab in front
// where the operator had it. Cancel and the close button send nothing.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QStackedWidget>

#include "fleet/device_config.h"
#include "pages/SkinDlg.h"

namespace kestrix {

class CIpSetDlg;
class CTButtonPicture;
class CTimeRebootDlg;
class CVlanDlg;
class CWirelessSetDlg;

class CManagementConfigDlg : public CSkinDlg {
    Q_OBJECT
public:
    CManagementConfigDlg(const AppContext& context, const ap_info_stu& record,
                         QWidget* parent = nullptr);

    // Save's three steps that belong to the page: clearing its pending
    // area, taking the collected blocks (and starting the send worker),
    // and the wait after it.
    void SetClearPending(std::function<void()> call) { clearPending_ = std::move(call); }
    void SetApply(std::function<void(const PendingSettings&)> call) { apply_ = std::move(call); }
    void SetShowWait(std::function<void(const ConfigWait&)> call) { showWait_ = std::move(call); }
    // Every stored device's address, for the address-in-use rule.
    void SetStoredIps(std::function<std::vector<std::string>()> call) {
        storedIps_ = std::move(call);
    }

    void ShowTab(ConfigTab tab);
    ConfigTab FrontTab() const { return front_; }
    void OnSave();

    CTButtonPicture* TabButton(ConfigTab tab) const { return tabs_[Index(tab)]; }
    CTButtonPicture* SaveButton() const { return save_; }
    CTButtonPicture* CancelButton() const { return cancel_; }
    CWirelessSetDlg* WirelessView() const { return wireless_; }
    CIpSetDlg* AddressView() const { return address_; }
    CVlanDlg* VlanView() const { return vlan_; }
    CTimeRebootDlg* RebootView() const { return reboot_; }
    DeviceConfig& Config() { return *config_; }
    // The field the last failed Save moved the focus into.
    QWidget* FailedField() const { return failedField_; }

private:
    static size_t Index(ConfigTab tab) { return static_cast<size_t>(tab); }
    QWidget* FieldWidget(const ConfigFailure& failure) const;

    std::unique_ptr<DeviceConfig> config_;
    ConfigTab front_ = ConfigTab::kWireless;
    std::array<CTButtonPicture*, 4> tabs_{};
    QStackedWidget* stack_ = nullptr;
    CWirelessSetDlg* wireless_ = nullptr;
    CIpSetDlg* address_ = nullptr;
    CVlanDlg* vlan_ = nullptr;
    CTimeRebootDlg* reboot_ = nullptr;
    CTButtonPicture* save_ = nullptr;
    CTButtonPicture* cancel_ = nullptr;
    QWidget* failedField_ = nullptr;

    std::function<void()> clearPending_;
    std::function<void(const PendingSettings&)> apply_;
    std::function<void(const ConfigWait&)> showWait_;
    std::function<std::vector<std::string>()> storedIps_;
};

}  // namespace kestrix
