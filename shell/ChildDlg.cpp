#include "shell/ChildDlg.h"

#include "fleet/page_ids.h"
#include "shell/PageBase.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

CChildDlg::CChildDlg(const AppContext& context, const PageList& pages, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("pageContainer"));
    TranslateDialog(this);
    ApplyBackground(context.appearance, this);

    for (const PageEntry& entry : pages) {
        CPageBase* page = entry.create(context, this);
        page->setGeometry(rect());
        page->hide();
        pages_[entry.dialogId] = page;
    }

    showRefresh_.setSingleShot(true);
    showRefresh_.setInterval(kShowRefreshMs);
    connect(&showRefresh_, &QTimer::timeout, this, [this] { OnShowRefreshTimer(); });
    periodicRefresh_.setInterval(kPeriodicRefreshMs);
    connect(&periodicRefresh_, &QTimer::timeout, this, [this] { OnPeriodicRefreshTimer(); });

    visiblePageId_ = kStatusPageId;
    if (CPageBase* first = Page(visiblePageId_)) first->show();
    showRefresh_.start();
    periodicRefresh_.start();
}

CPageBase* CChildDlg::Page(int pageId) const {
    auto it = pages_.find(pageId);
    return it == pages_.end() ? nullptr : it->second;
}

void CChildDlg::ShowPage(int pageId) {
    CPageBase* target = Page(pageId);
    if (!target) return;
    visiblePageId_ = pageId;
    // Show the new page before hiding the old one, so nothing flickers.
    target->show();
    target->raise();
    for (auto& [id, page] : pages_) {
        if (id != pageId) page->hide();
    }
    showRefresh_.start();
}

void CChildDlg::GoToPage(int pageId, int pageNumber) {
    if (CPageBase* page = Page(pageId)) page->GoToPage(pageNumber);
}

void CChildDlg::OnShowRefreshTimer() {
    showRefresh_.stop();
    RefreshVisiblePage();
}

void CChildDlg::OnPeriodicRefreshTimer() {
    if (!refreshAllowed_) return;
    // Pages whose list follows an action in progress change only through
    // that action.
    if (visiblePageId_ == kRebootPageId || visiblePageId_ == kUpgradePageId ||
        visiblePageId_ == kRestorePageId) {
        return;
    }
    RefreshVisiblePage();
}

void CChildDlg::RefreshVisiblePage() {
    if (CPageBase* page = Page(visiblePageId_)) {
        page->RefreshCurrentPage();
        emit PageRefreshed(visiblePageId_);
    }
}

void CChildDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (auto& [id, page] : pages_) page->setGeometry(rect());
}

}  // namespace kestrix
