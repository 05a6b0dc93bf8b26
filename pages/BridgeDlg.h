#pragma once
// The bridge page: the devices with their bridge-relevant state and status,
// and the entry to the bridge wizard through a row's "Operate" cell. The
// page keeps the device the wizard works on, holds the wizard's scan
// worker, and re-reads its list two seconds after the wizard closes, by
// when the device has normally answered the SetBridge.

#include <memory>

#include <QTimer>

#include "fleet/bridge_link.h"
#include "fleet/selection.h"
#include "pages/DeviceListDlg.h"

namespace kestrix {

class CBridgeConfigDlg;

class CBridgeDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    static constexpr int kRefreshAfterWizardMs = 2000;

    explicit CBridgeDlg(const AppContext& context, QWidget* parent = nullptr);
    ~CBridgeDlg() override;

    // The link and store the page and its wizard use; the application's by default.
    void SetBridgeLink(std::shared_ptr<BridgeLink> link) { link_ = std::move(link); }

    const SelectedDevice& WizardDevice() const { return wizardDevice_; }
    CBridgeConfigDlg* Wizard() const { return wizard_.get(); }
    const QTimer& RefreshTimer() const { return refreshTimer_; }
    // What the timer does when it fires.
    void OnRefreshTimer();

protected:
    bool HasOperateAction() const override { return true; }
    void OnDataCellClicked(int row, int column) override;

private:
    std::shared_ptr<BridgeLink> Link();
    void StartScanWorker();

    std::shared_ptr<BridgeLink> link_;
    SelectedDevice wizardDevice_;
    std::unique_ptr<CBridgeConfigDlg> wizard_;
    QTimer refreshTimer_;
};

}  // namespace kestrix
