#include "pages/StatusDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPointer>
#include <QUrl>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "fleet/device_workers.h"
#include "pages/BridgeSetMultiDlg.h"
#include "pages/IpsetMutilDlg.h"
#include "pages/PageMessage.h"
#include "pages/PxsyncenSetMultiDlg.h"
#include "shell/ApplicationDlg.h"
#include "shell/MenuDlg.h"
#include "shell/Styling.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

constexpr int kActionButtonWidth = 110;
constexpr int kActionButtonGap = 8;
constexpr int kBusySize = 60;

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

// Runs `call` on the user-interface thread with the page, if the page still
// exists then. Workers use it for the one thing they ask of the page.
void PostToPage(QPointer<CStatusDlg> page, void (CStatusDlg::*call)()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(
        app,
        [page, call] {
            if (page) (page.data()->*call)();
        },
        Qt::QueuedConnection);
}

}  // namespace

CStatusDlg::CStatusDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kStatus, parent) {
    // The list's own controls are translated by now; the page's buttons
    // take their translated texts as they are made.
    BuildActions();
    LayoutActions();
}

std::shared_ptr<StatusLink> CStatusDlg::Link() {
    if (link_) return link_;
    if (Context().statusLink) return Context().statusLink;
    if (!appLink_) {
        appLink_ = std::make_shared<AppStatusLink>(Context().link, Context().store);
    }
    return appLink_;
}

void CStatusDlg::BuildActions() {
    const AppearanceSettings& a = Context().appearance;
    const SkinPaths& skin = Context().skin;

    CTButtonPicture* search = SearchButton();
    search->show();
    connect(search, &QAbstractButton::clicked, this, [this] { OnSearchButton(); });

    auto makeButton = [&](const char* key, const char* name) {
        auto* b = new CTButtonPicture(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetImages(ToQString(skin.btnUpdateNormal), ToQString(skin.btnUpdateDown));
        StyleButton(a, Tr(key), b);
        return b;
    };
    setIp_ = makeButton("Set IP", "setIp");
    setBridge_ = makeButton("Set Bridge", "setBridge");
    pxsync_ = makeButton("PX-SYNC", "pxsync");
    connect(setIp_, &QAbstractButton::clicked, this, [this] { OnSetIp(); });
    connect(setBridge_, &QAbstractButton::clicked, this, [this] { OnSetBridge(); });
    connect(pxsync_, &QAbstractButton::clicked, this, [this] { OnSetPxsync(); });

    busy_ = new QLabel(this);
    busy_->setObjectName(QStringLiteral("busy"));
    busy_->setAlignment(Qt::AlignCenter);
    // A small card, so the turning dots stand out over the rows.
    busy_->setStyleSheet(
        QStringLiteral("QLabel#busy { background: white; border: 1px solid rgb(%1, "
                       "%2, %3); border-radius: 8px; }")
            .arg(a.LineColor.r)
            .arg(a.LineColor.g)
            .arg(a.LineColor.b));
    busy_->setAttribute(Qt::WA_TransparentForMouseEvents);
    busyMovie_ = new QMovie(ToQString(skin.waitSearch), QByteArray(), busy_);
    busy_->setMovie(busyMovie_);
    busy_->hide();

    CGridCtrl* grid = Grid();
    grid->SetEditableColumn(Descriptor().ColumnOf(CellField::kLocation));
    grid->SetEditable(false);
    connect(grid, &CGridCtrl::EditBegin, this,
            [this](int row, int column) { OnEditBegin(row, column); });
    connect(grid, &CGridCtrl::EditEnd, this,
            [this](int row, int column) { OnEditEnd(row, column); });

    searchTimer_.setInterval(kSearchTickMs);
    connect(&searchTimer_, &QTimer::timeout, this, [this] { OnSearchTick(); });
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshAfterActionMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { RefreshCurrentPage(); });
}

void CStatusDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListDlg::resizeEvent(event);
    LayoutActions();
}

void CStatusDlg::LayoutActions() {
    const QRect area = ActionArea();
    // Search sits at the left end of the strip; the three actions follow.
    int x = SearchButton()->geometry().right() + 1 + kActionButtonGap;
    for (CTButtonPicture* b : {setIp_, setBridge_, pxsync_}) {
        b->setGeometry(x, area.top(), kActionButtonWidth, area.height());
        x += kActionButtonWidth + kActionButtonGap;
    }
    const QRect grid = Grid()->geometry();
    busy_->setGeometry(grid.center().x() - kBusySize / 2, grid.center().y() - kBusySize / 2,
                       kBusySize, kBusySize);
    busy_->raise();
}

// ---- Search -----------------------------------------------------------------

void CStatusDlg::OnSearchButton() {
    if (searchIdle_) {
        StartSearch();
    } else {
        StopSearch();
    }
}

void CStatusDlg::StartSearch() {
    searchIdle_ = false;
    StartSearchCycle(*Link());
    searchTicks_ = 0;
    schedule_ = SearchSchedule(kStatusSearchMs, kSearchIntervalMs);
    // A search shows everything it finds: the filter goes, and page 1 is
    // read (emptying the box reads it by itself).
    if (!FilterBox()->text().isEmpty()) {
        FilterBox()->clear();
    } else {
        GoToPage(1);
    }
    ShowSearching(true);
    searchTimer_.start();
}

void CStatusDlg::StopSearch() {
    searchIdle_ = true;
    searchTimer_.stop();
    ShowSearching(false);
    RefreshCurrentPage();
}

void CStatusDlg::OnSearchTick() {
    if (searchIdle_) return;
    ++searchTicks_;
    const int64_t elapsedMs = int64_t{searchTicks_} * kSearchTickMs;
    if (schedule_.Finished(elapsedMs)) {
        StopSearch();
        return;
    }
    if (schedule_.TakeDue(elapsedMs)) {
        Link()->Search();
        GoToPage(1);
    }
}

void CStatusDlg::ShowSearching(bool searching) {
    busy_->setVisible(searching);
    if (searching) {
        busy_->raise();
        busyMovie_->start();
    } else {
        busyMovie_->stop();
    }
    SearchButton()->setText(Tr(searching ? "Stop" : "Search"));
    // The list holds still while the search fills it; the actions and the
    // refresh button stay usable.
    FilterBox()->setEnabled(!searching);
    Grid()->setEnabled(!searching);
    PageSizeBox()->setEnabled(!searching);
    if (auto* main = qobject_cast<CApplicationDlg*>(window())) {
        if (CMenuDlg* menu = main->MenuPanel()) {
            for (int i = 0; i < CMenuDlg::kButtonCount; ++i)
                menu->Button(i)->setEnabled(!searching);
        }
    }
    SetContainerRefreshAllowed(!searching);
}

// ---- Cells: Operate and the in-place rename ----------------------------------

qint64 CStatusDlg::RowStatus(int row) const {
    return Grid()->GetItemData(row, Descriptor().ColumnOf(CellField::kSerial));
}

std::string CStatusDlg::CellText(int row, CellField field) const {
    return Grid()->GetItemText(row, Descriptor().ColumnOf(field)).toStdString();
}

void CStatusDlg::OnDataCellClicked(int row, int column) {
    const ListDescriptor& list = Descriptor();
    const bool announced = RowStatus(row) == kStatusAnnouncedOnly;
    if (column == list.ColumnOf(CellField::kOperate)) {
        Grid()->SetEditable(false);
        // A device only heard announcing itself cannot be reached.
        if (announced) return;
        const QString ip = Grid()->GetItemText(row, list.ColumnOf(CellField::kIp));
        OpenAddress(Context(), QUrl(QStringLiteral("http://") + ip));
        return;
    }
    // Only the name of a device that gave its information can change.
    Grid()->SetEditable(column == list.ColumnOf(CellField::kLocation) && !announced);
}

void CStatusDlg::OnEditBegin(int row, int column) {
    if (column == Descriptor().ColumnOf(CellField::kLocation))
        oldName_ = Grid()->GetItemText(row, column);
}

void CStatusDlg::OnEditEnd(int row, int column) {
    if (column != Descriptor().ColumnOf(CellField::kLocation)) return;
    EditedRow edited;
    edited.row = row;
    edited.text = Grid()->GetItemText(row, column);
    edited.ip = CellText(row, CellField::kIp);
    edited.mac = CellText(row, CellField::kMac);
    edited.typeText = CellText(row, CellField::kType);
    edited.status = RowStatus(row);
    Grid()->SetEditable(false);
    // The grid is still inside its editor's commit: the checks (and a
    // message box) come once it is done.
    QMetaObject::invokeMethod(
        this, [this, edited] { FinishRename(edited); }, Qt::QueuedConnection);
}

void CStatusDlg::PutNameBack(const EditedRow& edited, const QString& text) {
    // Only into the row that was edited: a refresh in between may have
    // put another device there.
    CGridCtrl* grid = Grid();
    if (edited.row >= grid->GetRowCount() || CellText(edited.row, CellField::kMac) != edited.mac)
        return;
    grid->SetItemText(edited.row, Descriptor().ColumnOf(CellField::kLocation), text);
}

void CStatusDlg::FinishRename(const EditedRow& edited) {
    if (edited.status == kStatusAnnouncedOnly) {
        PutNameBack(edited, oldName_);
        return;
    }
    const uint16_t type = ModelCode(edited.typeText);
    const RenameDecision decision =
        DecideRename(edited.text.toStdString(), oldName_.toStdString(), type);
    switch (decision.kind) {
        case RenameDecision::Kind::kUnchanged:
            return;
        case RenameDecision::Kind::kEmpty:
            PutNameBack(edited, oldName_);
            return;
        case RenameDecision::Kind::kRejected:
            CPageMessage::Show(Context(), this, decision.rule.kind,
                               ToQString(decision.rule.message));
            PutNameBack(edited, oldName_);
            return;
        case RenameDecision::Kind::kSend:
            break;
    }
    newName_ = decision.name;
    PutNameBack(edited, QString::fromStdString(newName_));
    const SelectedDevice device{edited.ip, edited.mac, type};
    StartWorker(kRenameWorker, [link = Link(), device, name = newName_](std::stop_token stop) {
        SendRename(*link, device, name);
        if (!stop.stop_requested()) RequestDeviceInfo(*link, device);
    });
    ArmRefresh();
}

void CStatusDlg::ArmRefresh() {
    refreshTimer_.start(kRefreshAfterActionMs);
}

// ---- Set IP, Set Bridge, PX-SYNC ---------------------------------------------

void CStatusDlg::OnSetIp() {
    if (!CollectSelectionOrWarn(SelectionFilter::kEveryTicked)) return;
    std::shared_ptr<StatusLink> link = Link();
    ap_info_stu record;
    AddressBlock defaults;
    const bool found = link->GetDeviceByMac(Selection().front().mac, record);
    if (found) defaults = record.info().address();
    CIpsetMutilDlg dialog(Context(), Selection(), found ? &defaults : nullptr, this);
    dialog.SetApply([this](const AddressRange& range) { StartBatchWorker(range); });
    dialog.SetReleaseAnnounced([link] { link->ReleaseAnnounced(); });
    dialog.SetSearch([link] { link->Search(); });
    dialog.exec();
}

void CStatusDlg::OnSetBridge() {
    OpenSwitchDialog(SwitchKind::kTransparentBridge);
}

void CStatusDlg::OnSetPxsync() {
    OpenSwitchDialog(SwitchKind::kPxsync);
}

void CStatusDlg::OpenSwitchDialog(SwitchKind kind) {
    const SelectionFilter filter = kind == SwitchKind::kPxsync
                                       ? SelectionFilter::kPxsync
                                       : SelectionFilter::kTransparentBridge;
    if (!CollectSelectionOrWarn(filter)) return;
    // The first device's state; a device the store no longer has starts
    // the dialog off.
    ap_info_stu record;
    uint8_t initial = 0;
    if (Link()->GetDeviceByMac(Selection().front().mac, record))
        initial = SwitchState(kind, record);
    std::unique_ptr<CSwitchSetMultiDlg> dialog;
    if (kind == SwitchKind::kPxsync) {
        dialog = std::make_unique<CPxsyncenSetMultiDlg>(Context(), initial, this);
    } else {
        dialog = std::make_unique<CBridgeSetMultiDlg>(Context(), initial, this);
    }
    if (dialog->exec() != QDialog::Accepted) return;
    StartSwitchWorker(kind, dialog->SwitchState() != 0);
}

void CStatusDlg::StartSwitchWorker(SwitchKind kind, bool on) {
    const int workerKind = kind == SwitchKind::kPxsync ? kPxsyncSwitchWorker : kBridgeSwitchWorker;
    QPointer<CStatusDlg> page(this);
    StartWorker(workerKind,
                [link = Link(), selection = Selection(), kind, on, page](std::stop_token stop) {
                    RunSwitchWorker(*link, selection, kind, on, stop);
                    for (const SelectedDevice& device : selection) {
                        if (stop.stop_requested()) return;
                        RequestDeviceInfo(*link, device);
                    }
                    if (!stop.stop_requested()) PostToPage(page, &CStatusDlg::ArmRefresh);
                });
}

void CStatusDlg::StartBatchWorker(const AddressRange& range) {
    StartWorker(kBatchAddressWorker,
                [link = Link(), selection = Selection(), range](std::stop_token stop) {
                    RunBatchAddressWorker(*link, selection, range, stop);
                });
}

}  // namespace kestrix
