#pragma once
// Step 0 of the bridge wizard: the device scans its radio neighbourhood
// and the operator ticks one of the access points it heard. A scan empties
// the neighbour table, has the page start the scan worker, and fills the
// grid once, when the link says the last report arrived or after 30 s.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QTimer>
#include <QWidget>

#include "fleet/bridge_link.h"
#include "shell/AppContext.h"

class QLabel;
class QMovie;

namespace kestrix {

class CGridCtrl;
class CTButtonPicture;

class CBridgeSearcgAPDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;

    CBridgeSearcgAPDlg(const AppContext& context, std::shared_ptr<BridgeLink> link,
                       std::function<void()> startScanWorker, QWidget* parent);

    void StartScan();
    // The wizard closed: no list is filled any more.
    void StopScan() { timer_.stop(); }
    // One second of the scan (the timer's event; tests drive it).
    void Tick();
    bool IsScanning() const { return timer_.isActive(); }
    int TickCount() const { return ticks_; }
    int ScanColumn() const { return scanColumn_; }
    bool ScanAscending() const { return scanAscending_; }
    // The MAC text of the ticked access point.
    std::optional<std::string> TickedMac() const;

    CGridCtrl* Grid() const { return grid_; }
    CTButtonPicture* ScanButton() const { return scan_; }
    QLabel* BusyPicture() const { return busy_; }
    QLabel* ScanningLabel() const { return scanning_; }
    const QTimer& Timer() const { return timer_; }

signals:
    // Whether an access point is ticked; the frame enables Next by it.
    void ChoiceChanged(bool chosen);

private:
    void EndScan();
    void FillList();
    void OnGridClicked(int row, int column);

    const AppContext& context_;
    std::shared_ptr<BridgeLink> link_;
    std::function<void()> startScanWorker_;
    QTimer timer_;
    int ticks_ = 0;
    bool scanAscending_ = false;
    int scanColumn_ = 5;

    QLabel* title_ = nullptr;
    CTButtonPicture* scan_ = nullptr;
    QLabel* busy_ = nullptr;
    QMovie* busyMovie_ = nullptr;
    QLabel* scanning_ = nullptr;
    CGridCtrl* grid_ = nullptr;
};

}  // namespace kestrix
