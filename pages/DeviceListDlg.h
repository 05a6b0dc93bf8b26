#pragma once
// The list machinery the six device pages share: the grid with its tick
// boxes and sortable headings, the filter box, the page-size box, the
// refresh and export buttons, the online count and the page strip, and
// RefreshList, the one operation through which a page reloads its list.
// A page is this class with its descriptor (fleet/list_descriptor.h);
// what a page adds (action buttons, clicks on its cells, workers) builds on
// the hooks and helpers below.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "fleet/action_workers.h"
#include "fleet/list_descriptor.h"
#include "fleet/list_query.h"
#include "fleet/list_state.h"
#include "fleet/ticked_rows.h"
#include "shell/PageBase.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace kestrix {

class CChildDlg;
class CGridCtrl;
class CTButtonPicture;
class CTMultiPages;
class CWaitDlg;

class CDeviceListDlg : public CPageBase {
    Q_OBJECT
public:
    static constexpr int kMargin = 16;

    CDeviceListDlg(const AppContext& context, ListPage page, QWidget* parent);
    ~CDeviceListDlg() override;

    const ListDescriptor& Descriptor() const { return list_; }
    const ListState& State() const { return state_; }

    // The container's refreshes (100 ms after showing, every 30 s) and the
    // page strip's page change.
    void RefreshCurrentPage() override;
    void GoToPage(int page) override;

    // Reloads the grid with page `page` of the devices matching `filter`,
    // sorted by the key of grid column `column`. Every tick is cleared.
    // While the grid's in-place editor is open the reload waits until the
    // editor closes (the last request wins), so that what the operator is
    // typing is neither lost nor written into another device's row.
    void RefreshList(int page, bool ascending, int column, const std::string& filter);
    int RowsPerPage() const;

    // ---- For the page's own actions ----

    // Rebuilds the selection from the ticked rows.
    const std::vector<SelectedDevice>& CollectSelection(
        SelectionFilter filter = SelectionFilter::kEveryTicked);
    const std::vector<SelectedDevice>& Selection() const { return selection_; }
    // CollectSelection; when nothing usable is ticked, shows the page's
    // no-selection message ("Please select the devices!", or for the
    // feature filters "Please select configurable devices!") and returns
    // false.
    bool CollectSelectionOrWarn(SelectionFilter filter = SelectionFilter::kEveryTicked);
    // Starts the worker of action `kind`; one still registered for that
    // kind is asked to stop and let go first. The body gets copies only.
    void StartWorker(int kind, ActionWorkers::Body body) { workers_.Start(kind, std::move(body)); }
    ActionWorkers& Workers() { return workers_; }
    // The wait dialog of a page action, in the page's look, whose closing
    // searches go to the application's link. Shown modally by the caller.
    std::unique_ptr<CWaitDlg> MakeWaitDialog(int seconds, bool research, int researchCount);
    // Suspends (false) or resumes the container's 30 s refresh.
    void SetContainerRefreshAllowed(bool allowed);
    CChildDlg* Container() const;

    // ---- CSV export ----

    // Writes every device matching the filter, in the list's order, to
    // `path`. On failure `error` says why.
    bool ExportCsv(const QString& path, QString* error = nullptr);
    // Asks where to save: the context's chooser, else a file dialog.

    // ---- Where the rows come from ----

    // The context's source unless set, else the context's store and link.
    void SetDeviceSource(std::shared_ptr<DeviceListSource> source) { source_ = std::move(source); }

    // ---- Controls ----
    CGridCtrl* Grid() const { return grid_; }
    CTMultiPages* Strip() const { return strip_; }
    QLineEdit* FilterBox() const { return filter_; }
    QComboBox* PageSizeBox() const { return pageSize_; }
    QLabel* CountLabel() const { return count_; }
    QToolButton* RefreshButton() const { return refresh_; }
    QToolButton* ExportButton() const { return export_; }
    // Shown only by a page that searches.
    CTButtonPicture* SearchButton() const { return search_; }

signals:
    // After every RefreshList.
    void ListRefreshed();

protected:
    // A click on a data cell that is not a tick box.
    virtual void OnDataCellClicked(int row, int column) {
        (void)row;
        (void)column;
    }
    // Whether a click on an "Operate" cell does something on this page
    // yet; the column stays hidden until it does.
    virtual bool HasOperateAction() const { return false; }
    // The free strip at the top left where a page puts its action buttons.
    QRect ActionArea() const;

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildControls();
    void LayoutControls();
    void OnGridClicked(int row, int column);
    void FillGrid(const std::vector<ap_info_stu>& rows, int pageSize);
    void ShowCount();
    void OnExportClicked();
    bool EditorOpen() const;
    void RunDeferredRefresh();
    DeviceListSource& Source();

    const ListDescriptor& list_;
    ListState state_;
    struct RefreshRequest {
        int page;
        bool ascending;
        int column;
        std::string filter;
    };
    std::optional<RefreshRequest> deferredRefresh_;
    std::vector<SelectedDevice> selection_;
    ActionWorkers workers_;
    std::shared_ptr<DeviceListSource> source_;
    std::unique_ptr<StoreDeviceSource> appSource_;

    CTButtonPicture* search_ = nullptr;
    QLineEdit* filter_ = nullptr;
    CGridCtrl* grid_ = nullptr;
    QLabel* pageSizeLabel_ = nullptr;
    QComboBox* pageSize_ = nullptr;
    QToolButton* refresh_ = nullptr;
    QToolButton* export_ = nullptr;
    QLabel* count_ = nullptr;
    CTMultiPages* strip_ = nullptr;
};

}  // namespace kestrix
