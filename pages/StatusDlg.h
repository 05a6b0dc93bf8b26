#pragma once
// The status page: every known device with its identity and radio state,
// and the devices only heard announcing themselves after the stored ones.
// It is the one page that searches: Search runs a 30 s search that repeats
// every 3 s and shows page 1 each time, with the list's controls and the
// menu held still meanwhile. Its rows open a device's web page (Operate)
// and rename a device in place (Location); its buttons give addresses to a
// batch of devices and switch transparent bridging or PX-SYNC on many
// devices at once.

#include <memory>
#include <string>

#include <QString>
#include <QTimer>

#include "fleet/address_batch.h"
#include "fleet/search_cycle.h"
#include "fleet/selection.h"
#include "fleet/status_link.h"
#include "pages/DeviceListDlg.h"

class QLabel;
class QMovie;

namespace kestrix {

class CStatusDlg : public CDeviceListDlg {
    Q_OBJECT
public:
    // The search clock ticks every second; a search lasts 30 ticks.
    static constexpr int kSearchTickMs = 1000;
    // The one-shot refresh after a rename or a switch.
    static constexpr int kRefreshAfterActionMs = 2000;

    // The page's worker of each action kind.
    enum WorkerKind : int {
        kRenameWorker = 1,
        kBatchAddressWorker,
        kBridgeSwitchWorker,
        kPxsyncSwitchWorker,
    };

    explicit CStatusDlg(const AppContext& context, QWidget* parent = nullptr);

    // Where the searches and commands go and the first selected device's
    // record comes from: the context's status link unless set, else the
    // context's link and store.
    void SetStatusLink(std::shared_ptr<StatusLink> link) { link_ = std::move(link); }

    // ---- Search ----
    // The Search/Stop button.
    void OnSearchButton();
    // One tick of the search clock (tests drive it instead of waiting).
    void OnSearchTick();
    bool IsSearching() const { return !searchIdle_; }
    int SearchTicks() const { return searchTicks_; }
    const QTimer& SearchTimer() const { return searchTimer_; }
    QLabel* BusyIndicator() const { return busy_; }

    // ---- Actions ----
    void OnSetIp();
    void OnSetBridge();
    void OnSetPxsync();
    CTButtonPicture* SetIpButton() const { return setIp_; }
    CTButtonPicture* SetBridgeButton() const { return setBridge_; }
    CTButtonPicture* PxsyncButton() const { return pxsync_; }

    // The one-shot refresh of the current page two seconds after a rename
    // or the last command of a switch.
    void ArmRefresh();
    const QTimer& RefreshTimer() const { return refreshTimer_; }

    // The name last accepted for sending (cut to 32 bytes).
    const std::string& NewName() const { return newName_; }

protected:
    bool HasOperateAction() const override { return true; }
    void OnDataCellClicked(int row, int column) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // What the end of an in-place edit found in its row.
    struct EditedRow {
        int row = 0;
        QString text;
        std::string ip, mac, typeText;
        qint64 status = 0;
    };

    void BuildActions();
    void LayoutActions();
    void StartSearch();
    void StopSearch();
    void ShowSearching(bool searching);
    void OnEditBegin(int row, int column);
    void OnEditEnd(int row, int column);
    void FinishRename(const EditedRow& edited);
    void PutNameBack(const EditedRow& edited, const QString& text);
    void OpenSwitchDialog(SwitchKind kind);
    void StartSwitchWorker(SwitchKind kind, bool on);
    void StartBatchWorker(const AddressRange& range);
    qint64 RowStatus(int row) const;
    std::string CellText(int row, CellField field) const;
    std::shared_ptr<StatusLink> Link();

    std::shared_ptr<StatusLink> link_;
    std::shared_ptr<StatusLink> appLink_;

    bool searchIdle_ = true;
    int searchTicks_ = 0;
    SearchSchedule schedule_{kStatusSearchMs, kSearchIntervalMs};
    QTimer searchTimer_;
    QTimer refreshTimer_;

    QString oldName_;
    std::string newName_;

    CTButtonPicture* setIp_ = nullptr;
    CTButtonPicture* setBridge_ = nullptr;
    CTButtonPicture* pxsync_ = nullptr;
    QLabel* busy_ = nullptr;
    QMovie* busyMovie_ = nullptr;
};

}  // namespace kestrix
