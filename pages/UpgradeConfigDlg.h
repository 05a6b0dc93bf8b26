#pragma once
// "Device upgrade": upgrades up to ten devices of one type picked on the
// upgrade page from one firmware file. The operator chooses the type and the
// file; Upgrade checks the file, asks, starts the file server and runs the
// upgrade (fleet/upgrade_run.h) on the dialog's four one-second timers: the
// group watch, the transfer phase, the rebooting phase and the status view,
// which writes each watched device's status into its page row. Every way
// out of the dialog stops the file server.

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QString>
#include <QTimer>

#include "fleet/selection.h"
#include "fleet/upgrade_plan.h"
#include "fleet/upgrade_run.h"
#include "pages/SkinDlg.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace kestrix {

class CTButtonPicture;

class CUpgradeConfigDlg : public CSkinDlg {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 1000;

    CUpgradeConfigDlg(const AppContext& context, std::vector<SelectedDevice> targets,
                      std::shared_ptr<UpgradeLink> link, std::shared_ptr<FileServerControl> server,
                      QWidget* parent = nullptr);
    ~CUpgradeConfigDlg() override;

    // Where the status view writes each watched device's status code.
    void SetStatusView(std::function<void(const std::string& mac, int status)> view) {
        statusView_ = std::move(view);
    }
    // The worker's wait for the file server (tests shorten it).
    void SetServerWait(const ServerWait& wait) { serverWait_ = wait; }
    // Asks for the firmware file instead of a file dialog (tests).
    void SetFileChooser(std::function<QString()> chooser) { chooser_ = std::move(chooser); }
    // The timers' ticks come only from the On...Timer calls (tests that
    // drive the run step by step against real devices, where a timer firing
    // on its own between two checks would make them race it).
    void SetManualTicks(bool manual) { manualTicks_ = manual; }

    void OnScan();
    void OnUpgrade();
    // One tick of each timer (tests call them instead of waiting).
    void OnGroupTimer();
    void OnTransferTimer();
    void OnRebootingTimer();
    void OnStatusViewTimer();

    const UpgradeRun& Run() const { return run_; }
    bool WorkerRunning() const { return worker_.joinable(); }
    const QTimer& GroupTimer() const { return groupTimer_; }
    const QTimer& TransferTimer() const { return transferTimer_; }
    const QTimer& RebootingTimer() const { return rebootingTimer_; }
    const QTimer& StatusViewTimer() const { return statusTimer_; }

    QComboBox* TypeBox() const { return type_; }
    QLineEdit* PathEdit() const { return path_; }
    CTButtonPicture* ScanButton() const { return scan_; }
    CTButtonPicture* UpgradeButton() const { return upgrade_; }
    QLabel* ProgressLabel() const { return progressLabel_; }
    QProgressBar* Progress() const { return progress_; }

protected:
    void done(int result) override;

private:
    void StartUpgrade(const UpgradeFile& file);
    void StartWorker();
    void StopWorker();
    // Timers and controls follow the run after each of its steps.
    void Follow();

    std::vector<SelectedDevice> targets_;
    std::shared_ptr<UpgradeLink> link_;
    std::shared_ptr<FileServerControl> server_;
    UpgradeRun run_;
    ServerWait serverWait_;
    std::function<void(const std::string&, int)> statusView_;
    std::function<QString()> chooser_;
    std::jthread worker_;
    bool closing_ = false;
    bool manualTicks_ = false;

    QTimer groupTimer_, transferTimer_, rebootingTimer_, statusTimer_;
    QComboBox* type_ = nullptr;
    QLineEdit* path_ = nullptr;
    CTButtonPicture* scan_ = nullptr;
    CTButtonPicture* upgrade_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace kestrix
