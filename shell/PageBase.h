#pragma once
// What the page container asks of every page it holds. A device-list page
// overrides the three hooks; pages without a list (install help) keep the
// defaults. A page reaches the program's services through the context it
// was made with.

#include <functional>
#include <vector>

#include <QWidget>

#include "shell/AppContext.h"

namespace kestrix {

class CPageBase : public QWidget {
    Q_OBJECT
public:
    CPageBase(const AppContext& context, int dialogId, QWidget* parent);

    int DialogId() const { return dialogId_; }
    const AppContext& Context() const { return context_; }

    // Reloads the page's list at its current page number: the container's
    // one-shot refresh 100 ms after the page is shown, and its 30 s refresh.
    virtual void RefreshCurrentPage() {}
    // Shows page `page` of the list (page strip, other pages' requests).
    virtual void GoToPage(int page) { (void)page; }

private:
    const AppContext& context_;
    int dialogId_;
};

// One page of the main window, as the container is handed it.
struct PageEntry {
    int dialogId;
    // The menu text of the page, an English text passed through the
    // language lookup (also the page's title while it is a placeholder).
    const char* titleKey;
    std::function<CPageBase*(const AppContext& context, QWidget* parent)> create;
};
using PageList = std::vector<PageEntry>;

}  // namespace kestrix
