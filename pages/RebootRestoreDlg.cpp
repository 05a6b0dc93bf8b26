#include "pages/RebootRestoreDlg.h"

#include <QScrollBar>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/WaitDlg.h"
#include "link/wire/device_status.h"
#include "pages/PageMessage.h"
#include "shell/Styling.h"
#include "store/field_texts.h"
#include "store/sql_management.h"

namespace kestrix {

namespace {

constexpr int kActionButtonWidth = 110;

const CRebootRestoreDlg::Action kReboot{"Reboot", "Are you sure you want to restart?",
                                        MsgType::Reboot, 3};
const CRebootRestoreDlg::Action kRestore{"Restore", "Are you sure you want to reset?",
                                         MsgType::Restore, 5};

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

}  // namespace

const CRebootRestoreDlg::Action& CRebootRestoreDlg::ActionFor(ListPage page) {
    return page == ListPage::kRestore ? kRestore : kReboot;
}

CRebootRestoreDlg::CRebootRestoreDlg(const AppContext& context, ListPage page, QWidget* parent)
    : CDeviceListDlg(context, page, parent), action_(ActionFor(page)) {
    const AppearanceSettings& a = Context().appearance;
    action1001_ = new CTButtonPicture(this);
    action1001_->setObjectName(QStringLiteral("action"));
    action1001_->SetImages(ToQString(Context().skin.btnUpdateNormal),
                           ToQString(Context().skin.btnUpdateDown));
    StyleButton(a, Tr(action_.button), action1001_);
    connect(action1001_, &QAbstractButton::clicked, this, [this] { OnAction(); });

    statusTimer_.setInterval(kStatusTickMs);
    connect(&statusTimer_, &QTimer::timeout, this, [this] { OnStatusTick(); });
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshAfterWaitMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { OnRefreshTimer(); });
    LayoutAction();
}

std::shared_ptr<StatusLink> CRebootRestoreDlg::Link() {
    if (link_) return link_;
    if (Context().statusLink) return Context().statusLink;
    if (!appLink_) appLink_ = std::make_shared<AppStatusLink>(Context().link, Context().store);
    return appLink_;
}

CWaitDlg* CRebootRestoreDlg::WaitDialog() const {
    return wait_.data();
}

void CRebootRestoreDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListDlg::resizeEvent(event);
    LayoutAction();
}

void CRebootRestoreDlg::LayoutAction() {
    // The hidden Search button's place: these pages have no search.
    const QRect area = ActionArea();
    action1001_->setGeometry(area.left(), area.top(), kActionButtonWidth, area.height());
}

void CRebootRestoreDlg::OnAction() {
    // The wait dialog is modal, so a second action cannot start during it;
    // a call from elsewhere meanwhile is ignored.
    if (waiting_) return;
    if (!CollectSelectionOrWarn()) return;
    if (!CPageMessage::Confirm(Context(), this, Tr(action_.question))) return;

    StartCommandWorker();
    waiting_ = true;
    statusTimer_.start();
    // The list is wider than the page: the Status column, the one that
    // changes now, comes into view.
    QScrollBar* sideways = Grid()->horizontalScrollBar();
    sideways->setValue(sideways->maximum());

    std::shared_ptr<StatusLink> link = Link();
    wait_ = MakeWaitDialog(kWaitSeconds, true, action_.closingSearches).release();
    wait_->SetReleaseAnnounced([link] { link->ReleaseAnnounced(); });
    wait_->SetSearch([link] { link->Search(); });
    QPointer<CRebootRestoreDlg> self(this);
    wait_->exec();
    // The dialog is the page's child: if the page went while it was open,
    // both are gone.
    if (!self) return;
    delete wait_.data();
    FinishWait();
}

void CRebootRestoreDlg::StartCommandWorker() {
    // The worker reads the store for the stations' access points from its
    // own thread; the store serialises that with the page's reads.
    CSqlManagement* store = Context().store;
    auto hasBridgedStation = [store](const std::string& mac) {
        return store != nullptr && store->HasBridgedStation(mac);
    };
    StartWorker(kCommandWorker, [link = Link(), selection = Selection(), command = action_.command,
                                 hasBridgedStation, pause = pause_](std::stop_token stop) {
        RunRebootWorker(*link, selection, command, hasBridgedStation, stop, pause);
    });
}

void CRebootRestoreDlg::FinishWait() {
    waiting_ = false;
    statusTimer_.stop();
    Link()->Search();
    refreshTimer_.start(kRefreshAfterWaitMs);
}

void CRebootRestoreDlg::OnStatusTick() {
    // The updates stop the moment the wait dialog closes, even if a timer
    // event was already queued.
    if (!waiting_) return;
    CSqlManagement* store = Context().store;
    // Without a store nothing is known; the cells keep what they show.
    if (store == nullptr) return;
    const ListDescriptor& list = Descriptor();
    const int macColumn = list.ColumnOf(CellField::kMac);
    const int statusColumn = list.ColumnOf(CellField::kStatus);
    const QColor online = ToQColor(Context().appearance.TextOnlineColor);
    CGridCtrl* grid = Grid();
    for (const SelectedDevice& device : Selection()) {
        const int status = store->GetDeviceStatus(device.mac);
        const QString mac = QString::fromStdString(device.mac);
        // The page may have changed during the wait: a device no longer
        // shown is skipped.
        for (int r = 1; r < grid->GetRowCount(); ++r) {
            if (grid->GetItemText(r, macColumn) != mac) continue;
            grid->SetItemText(r, statusColumn,
                              QString::fromStdString(StatusText(static_cast<uint32_t>(status))));
            // As the list draws it: "Offline" stays in the text colour.
            grid->SetItemFgColour(r, statusColumn, status != kStatusOffline ? online : QColor());
            grid->RedrawCell(r, statusColumn);
            break;
        }
    }
}

void CRebootRestoreDlg::OnRefreshTimer() {
    refreshTimer_.stop();
    RefreshCurrentPage();
}

}  // namespace kestrix
