#pragma once
// "Device bridge": the bridge page's four-step wizard that makes one device
// a station of a neighbouring access point. Scan and pick, link security,
// own address, finish; Save sends one SetBridge from the wizard's apply
// worker. The neighbour table is emptied whenever the wizard closes.

#include <functional>
#include <memory>

#include "fleet/action_workers.h"
#include "fleet/bridge_link.h"
#include "fleet/selection.h"
#include "link/wire/wire_format.h"
#include "pages/SkinDlg.h"

class QStackedWidget;

namespace kestrix {

class CBridgeFinishDlg;
class CBridgeIPSetDlg;
class CBridgeSearcgAPDlg;
class CBridgeSecureDlg;
class CTButtonPicture;

class CBridgeConfigDlg : public CSkinDlg {
    Q_OBJECT
public:
    static constexpr int kStepScan = 0, kStepSecurity = 1, kStepAddress = 2, kStepFinish = 3;

    // `record` is a copy of the device's stored record; `startScanWorker`
    // has the page start (and hold) the scan worker; `wizardDevice` reads
    // the page's device at Save.
    CBridgeConfigDlg(const AppContext& context, const ap_info_stu& record,
                     std::shared_ptr<BridgeLink> link, std::function<void()> startScanWorker,
                     std::function<SelectedDevice()> wizardDevice, QWidget* parent);
    ~CBridgeConfigDlg() override;

    void OnNext();
    void OnBack();
    int Step() const { return step_; }

    const BridgeBlock& Bridge() const { return bridge_; }
    const AddressBlock& Address() const { return address_; }
    const SelectedDevice& Target() const { return target_; }

    CBridgeSearcgAPDlg* ScanPage() const { return scanPage_; }
    CBridgeSecureDlg* SecurityPage() const { return securityPage_; }
    CBridgeIPSetDlg* AddressPage() const { return addressPage_; }
    CBridgeFinishDlg* FinishPage() const { return finishPage_; }
    CTButtonPicture* BackButton() const { return back_; }
    CTButtonPicture* NextButton() const { return next_; }

protected:
    void done(int result) override;

private:
    void ShowStep(int step);
    void Save();

    ap_info_stu record_;
    std::shared_ptr<BridgeLink> link_;
    std::function<SelectedDevice()> wizardDevice_;
    int step_ = kStepScan;
    BridgeBlock bridge_;
    AddressBlock address_;
    config_otherwl_basic accessPoint_;
    SelectedDevice target_;
    ActionWorkers workers_;

    QStackedWidget* steps_ = nullptr;
    CBridgeSearcgAPDlg* scanPage_ = nullptr;
    CBridgeSecureDlg* securityPage_ = nullptr;
    CBridgeIPSetDlg* addressPage_ = nullptr;
    CBridgeFinishDlg* finishPage_ = nullptr;
    CTButtonPicture* back_ = nullptr;
    CTButtonPicture* next_ = nullptr;
};

}  // namespace kestrix
