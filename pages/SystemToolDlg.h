#pragma once
// The system tool page: the computer's network adapters as the device link
// uses them (position, description, MAC and IPv4 addresses), so that the
// operator can see where searches and commands go. It reads them again
// every 5 seconds while it exists, visible or not.

#include <functional>
#include <vector>

#include <QTimer>

#include "link/adapters.h"
#include "shell/PageBase.h"

class QLabel;

namespace kestrix {

class CGridCtrl;

class CSystemToolDlg : public CPageBase {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 5000;

    explicit CSystemToolDlg(const AppContext& context, QWidget* parent = nullptr);

    // Where the adapters come from: the application's link unless set. The
    // static one applies to pages made afterwards (tests building windows).
    using AdapterProvider = std::function<std::vector<AdapterRecord>()>;
    void SetAdapterProvider(AdapterProvider provider) { provider_ = std::move(provider); }

    // Reads the adapters and rebuilds the grid (the timer's work; tests
    // call it instead of waiting).
    void Fill();

    CGridCtrl* Grid() const { return grid_; }
    QLabel* CountLabel() const { return count_; }
    const QTimer& RefreshTimer() const { return timer_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<AdapterRecord> ReadAdapters();
    void ShowCount(int count);

    AdapterProvider provider_;
    CGridCtrl* grid_ = nullptr;
    QLabel* count_ = nullptr;
    QTimer timer_;
    bool filledOnce_ = false;
};

}  // namespace kestrix
