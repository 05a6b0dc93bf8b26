#pragma once
// The reboot and restore pages share one implementation: both send one
// command to every ticked device (stations' access points first), follow
// each device's status in its row while a 60 s wait dialog runs its closing
// searches, and read the list again a second after it closes. What differs
// (button, question, command, number of closing searches) is the Action.

#include <memory>

#include <QPointer>
#include <QTimer>

#include "fleet/device_workers.h"
#include "fleet/status_link.h"
#include "pages/DeviceListDlg.h"

namespace kestrix {

class CRebootRestoreDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    // Timer 1000: the Status cells follow the store while the wait runs.
    static constexpr int kStatusTickMs = 1000;
    // Timer 2000: the list is read again this long after the wait closed.
    static constexpr int kRefreshAfterWaitMs = 1000;
    static constexpr int kWaitSeconds = 60;

    enum WorkerKind : int { kCommandWorker = 1 };

    struct Action {
        const char* button;    // text key of button 1001
        const char* question;  // asked before anything is sent
        MsgType command;
        int closingSearches;  // of the wait dialog
    };
    static const Action& ActionFor(ListPage page);
    const Action& PageAction() const { return action_; }

    // Where the commands and searches go: the context's status link unless
    // set, else the application's link and store.
    void SetStatusLink(std::shared_ptr<StatusLink> link) { link_ = std::move(link); }
    // The worker's pause between its two passes; a stop-aware sleep unless
    // set (tests record it instead of waiting).
    void SetPassPause(PauseFunction pause) { pause_ = std::move(pause); }

    // Button 1001: select, confirm, send, wait, search, refresh.
    void OnAction();
    // One event of timer 1000 / timer 2000 (tests drive them).
    void OnStatusTick();
    void OnRefreshTimer();

    // While the wait dialog is open.
    bool IsWaiting() const { return waiting_; }
    CWaitDlg* WaitDialog() const;
    CTButtonPicture* ActionButton() const { return action1001_; }
    const QTimer& StatusTimer() const { return statusTimer_; }
    const QTimer& RefreshTimer() const { return refreshTimer_; }

protected:
    CRebootRestoreDlg(const AppContext& context, ListPage page, QWidget* parent);
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayoutAction();
    void StartCommandWorker();
    void FinishWait();
    std::shared_ptr<StatusLink> Link();

    const Action& action_;
    std::shared_ptr<StatusLink> link_;
    std::shared_ptr<StatusLink> appLink_;
    PauseFunction pause_;
    bool waiting_ = false;
    QPointer<CWaitDlg> wait_;
    QTimer statusTimer_;
    QTimer refreshTimer_;
    CTButtonPicture* action1001_ = nullptr;
};

}  // namespace kestrix
