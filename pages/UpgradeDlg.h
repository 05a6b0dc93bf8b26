#pragma once
// The upgrade page: the devices with their firmware version and status, and
// "Upgrade", which opens the upgrade dialog for up to ten ticked devices and
// searches again once it closes, reloading the list a second later.

#include <memory>
#include <string>

#include <QTimer>

#include "fleet/upgrade_plan.h"
#include "fleet/upgrade_run.h"
#include "pages/DeviceListDlg.h"

namespace kestrix {

class CTButtonPicture;
class CUpgradeConfigDlg;

class CUpgradeDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    static constexpr int kReloadAfterUpgradeMs = 1000;

    explicit CUpgradeDlg(const AppContext& context, QWidget* parent = nullptr);

    // Where the upgrade's commands, searches and status reads go, and the
    // file server it starts: the application's link, store and
    // service/FileServer unless set (tests).
    void SetUpgradeLink(std::shared_ptr<UpgradeLink> link) { link_ = std::move(link); }
    void SetFileServer(std::shared_ptr<FileServerControl> server) { server_ = std::move(server); }
    // Called with the dialog before it runs (tests shorten its waits).
    void SetDialogSetup(std::function<void(CUpgradeConfigDlg&)> setup) {
        dialogSetup_ = std::move(setup);
    }

    void OnUpgrade();
    // Writes the status text of `status` into the row of `mac`, if shown.
    void ShowDeviceStatus(const std::string& mac, int status);

    CTButtonPicture* UpgradeButton() const { return upgrade_; }
    const QTimer& ReloadTimer() const { return reloadTimer_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<UpgradeLink> Link();
    std::shared_ptr<FileServerControl> Server();

    std::shared_ptr<UpgradeLink> link_;
    std::shared_ptr<FileServerControl> server_;
    std::function<void(CUpgradeConfigDlg&)> dialogSetup_;
    QTimer reloadTimer_;
    CTButtonPicture* upgrade_ = nullptr;
};

}  // namespace kestrix
