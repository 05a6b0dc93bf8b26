#pragma once
// The page container: holds every page of the main window, shows one at a
// time, refreshes the visible page 100 ms after it is shown and every 30 s
// (list pages only, and not while a search or scan runs).

#include <map>

#include <QTimer>
#include <QWidget>

#include "shell/PageBase.h"

namespace kestrix {

class CChildDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShowRefreshMs = 100;
    static constexpr int kPeriodicRefreshMs = 30000;

    // Makes every page of `pages`, in their order, with `context`.
    CChildDlg(const AppContext& context, const PageList& pages, QWidget* parent = nullptr);

    // The menu's page change: records `pageId` as the visible page, shows it,
    // hides the others and restarts the 100 ms refresh.
    void ShowPage(int pageId);
    int VisiblePageId() const { return visiblePageId_; }
    CPageBase* Page(int pageId) const;
    int PageCount() const { return static_cast<int>(pages_.size()); }

    // A page's request to show page `pageNumber` of the list of page
    // `pageId`.
    void GoToPage(int pageId, int pageNumber);

    // Cleared by a page while a search or a scan runs.
    void SetRefreshAllowed(bool allowed) { refreshAllowed_ = allowed; }
    bool RefreshAllowed() const { return refreshAllowed_; }

    // The two timers' work (tests call them instead of waiting).
    void OnShowRefreshTimer();
    void OnPeriodicRefreshTimer();
    const QTimer& ShowRefreshTimer() const { return showRefresh_; }
    const QTimer& PeriodicRefreshTimer() const { return periodicRefresh_; }

signals:
    // After the container has asked page `pageId` to reload its list.
    void PageRefreshed(int pageId);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void RefreshVisiblePage();

    std::map<int, CPageBase*> pages_;
    int visiblePageId_ = 0;
    bool refreshAllowed_ = true;
    QTimer showRefresh_;
    QTimer periodicRefresh_;
};

}  // namespace kestrix
