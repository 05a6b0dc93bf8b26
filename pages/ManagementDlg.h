#pragma once
// The management page: the devices with their address and radio settings.
// Each row's "Operate" cell opens the device configuration dialog for that
// device; what its Save collects goes out through the page's send worker,
// which works on its own copy of the target and the blocks, so a later
// Save can never change what an earlier worker sends.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QTimer>

#include "fleet/device_config.h"
#include "fleet/selection.h"
#include "fleet/status_link.h"
#include "pages/DeviceListDlg.h"

namespace kestrix {

class CManagementConfigDlg;

class CManagementDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    static constexpr int kRefreshAfterDialogMs = 2000;
    enum WorkerKind : int { kSendWorker = 1 };

    explicit CManagementDlg(const AppContext& context, QWidget* parent = nullptr);

    // Where commands go and records come from: the context's status link
    // unless set, else the application's link and store.
    void SetLink(std::shared_ptr<StatusLink> link) { link_ = std::move(link); }

    // The Operate click of a data row.
    void OpenConfiguration(int row);
    // Starts the send worker on copies of the target and the pending area;
    // a worker still sending is asked to stop first.
    void StartSendWorker();

    const SelectedDevice& Target() const { return target_; }
    const PendingSettings& Pending() const { return pending_; }
    const QTimer& RefreshTimer() const { return refreshTimer_; }

protected:
    bool HasOperateAction() const override { return true; }
    void OnDataCellClicked(int row, int column) override;

private:
    std::shared_ptr<StatusLink> Link();
    std::vector<std::string> StoredIps() const;
    void ShowWait(const ConfigWait& wait);

    std::shared_ptr<StatusLink> link_;
    std::shared_ptr<StatusLink> appLink_;
    SelectedDevice target_;
    PendingSettings pending_;
    QTimer refreshTimer_;
};

}  // namespace kestrix
