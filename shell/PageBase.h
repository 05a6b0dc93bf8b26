#pragma once
// What the page container asks of every page it holds. A device-list page
// overrides the three hooks; pages without a list (install help) keep the
// defaults.

#include <QWidget>

namespace kestrix {

class CPageBase : public QWidget {
    Q_OBJECT
public:
    CPageBase(int dialogId, QWidget* parent);

    int DialogId() const { return dialogId_; }

    // Reloads the page's list at its current page number: the container's
    // one-shot refresh 100 ms after the page is shown, and its 30 s refresh.
    virtual void RefreshCurrentPage() {}
    // Shows page `page` of the list (page strip, other pages' requests).
    virtual void GoToPage(int page) { (void)page; }

private:
    int dialogId_;
};

}  // namespace kestrix
