#include "pages/DeviceListDlg.h"

#include <algorithm>

#include <QAbstractItemDelegate>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QToolButton>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "controls/TMultiPages.h"
#include "controls/WaitDlg.h"
#include "fleet/csv_export.h"
#include "fleet/list_rows.h"
#include "link/device_link.h"
#include "pages/GridStyling.h"
#include "pages/PageMessage.h"
#include "shell/ChildDlg.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kTopBarY = 14;
constexpr int kTopBarHeight = 34;
constexpr int kFilterWidth = 260;
constexpr int kGridTop = 58;
constexpr int kFooterHeight = 58;
constexpr int kFooterButton = 30;
constexpr int kStripWidth = 420;
const QColor kIconColour(44, 62, 94);
constexpr int kPageSizes[] = {15, 30, 50, 100};
constexpr int kInitialPageSize = 1;  // 30 rows

QString Tr(const char* key) {
    return ToQString(TranslateText(key));
}

// Puts the values into the "%s" places of a translated pattern, in order,
// by hand: the pattern comes from a file the operator can edit.
QString FillTexts(QString pattern, const QStringList& values) {
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype at = pattern.indexOf(QLatin1String("%s"), from);
        if (at < 0) break;
        pattern.replace(at, 2, value);
        from = at + value.size();
    }
    return pattern;
}

QPixmap PaintIcon(const std::function<void(QPainter&)>& draw) {
    QPixmap icon(QSize(18, 18) * 2);
    icon.setDevicePixelRatio(2);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return icon;
}

// A circular arrow.
QIcon RefreshIcon() {
    return QIcon(PaintIcon([](QPainter& p) {
        p.setPen(QPen(kIconColour, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(3.5, 3.5, 11, 11), 60 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kIconColour);
        p.drawPolygon(QPolygonF({QPointF(10.2, 1.2), QPointF(14.6, 4.6), QPointF(9.6, 6.8)}));
    }));
}

// A sheet with an arrow leaving it.
QIcon ExportIcon() {
    return QIcon(PaintIcon([](QPainter& p) {
        p.setPen(QPen(kIconColour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF(
            {QPointF(10, 3), QPointF(3.5, 3), QPointF(3.5, 15), QPointF(13, 15), QPointF(13, 11)}));
        p.drawLine(QPointF(7.5, 10.5), QPointF(15.5, 2.5));
        p.drawPolyline(QPolygonF({QPointF(11, 2.5), QPointF(15.5, 2.5), QPointF(15.5, 7)}));
    }));
}

// The magnifier at the left end of the filter box.
QIcon FilterIcon() {
    return QIcon(PaintIcon([](QPainter& p) {
        p.setPen(QPen(QColor(142, 142, 142), 1.7, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(QPointF(7.5, 7.5), 4.5, 4.5);
        p.drawLine(QPointF(11, 11), QPointF(15, 15));
    }));
}

QToolButton* MakeToolButton(QWidget* parent, const QIcon& icon, const char* name) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setIconSize(QSize(18, 18));
    b->setAutoRaise(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

CDeviceListDlg::CDeviceListDlg(const AppContext& context, ListPage page, QWidget* parent)
    : CPageBase(context, DescriptorFor(page).dialogId, parent),
      list_(DescriptorFor(page)),
      state_(list_) {
    BuildControls();
    TranslateDialog(this);
    ShowCount();
    LayoutControls();
}

CDeviceListDlg::~CDeviceListDlg() {
    // Workers hold copies only; they are asked to stop and let go before
    // the controls go.
    workers_.ReleaseAll();
}

void CDeviceListDlg::BuildControls() {
    const AppearanceSettings& a = Context().appearance;
    ApplyBackground(a, this);

    search_ = new CTButtonPicture(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->SetImages(ToQString(Context().skin.btnSearch));
    StyleButton(a, QStringLiteral("Search"), search_);
    search_->hide();

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->addAction(FilterIcon(), QLineEdit::LeadingPosition);
    filter_->setClearButtonEnabled(true);
    filter_->setPlaceholderText(Tr("Filter the list"));
    filter_->setFont(MakeFont(a.StaticFont()));
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        state_.filterText = text.toStdString();
        RefreshList(1, state_.RefreshAscending(), state_.sortColumn, state_.filterText);
    });

    grid_ = new CGridCtrl(this);
    grid_->setObjectName(QStringLiteral("grid"));
    ApplyGridAppearance(a, Context().skin, grid_);
    grid_->SetColumnCount(list_.ColumnCount());
    grid_->SetCheckColumn(list_.hasTickColumn);
    for (int c = 0; c < list_.ColumnCount(); ++c) {
        const ListColumn& column = list_.columns[static_cast<size_t>(c)];
        StyleGridHeading(a, grid_, c, Tr(column.heading));
        grid_->setColumnWidth(c, column.width);
    }
    const int operate = list_.ColumnOf(CellField::kOperate);
    if (operate >= 0) grid_->setColumnHidden(operate, true);
    connect(grid_, &CGridCtrl::CellClicked, this,
            [this](int row, int column) { OnGridClicked(row, column); });
    // The view lets go of the editor in its own handler of this signal;
    // the deferred refresh runs once that is done, after the edit's end.
    connect(grid_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        QMetaObject::invokeMethod(
            this, [this] { RunDeferredRefresh(); }, Qt::QueuedConnection);
    });

    pageSizeLabel_ = new QLabel(QStringLiteral("Each page number"), this);
    pageSizeLabel_->setObjectName(QStringLiteral("pageSizeLabel"));
    StyleStaticLabel(a, pageSizeLabel_);
    pageSize_ = new QComboBox(this);
    pageSize_->setObjectName(QStringLiteral("pageSize"));
    // Numbers, not captions: the translation walk leaves them alone.
    pageSize_->setProperty("kxKeepText", true);
    for (int size : kPageSizes) pageSize_->addItem(QString::number(size), size);
    pageSize_->setCurrentIndex(kInitialPageSize);
    pageSize_->setFont(MakeFont(a.StaticFont()));
    connect(pageSize_, &QComboBox::currentIndexChanged, this, [this] {
        RefreshList(1, state_.RefreshAscending(), state_.sortColumn, state_.filterText);
    });

    refresh_ = MakeToolButton(this, RefreshIcon(), "refresh");
    refresh_->setToolTip(Tr("Refresh"));
    connect(refresh_, &QToolButton::clicked, this, [this] { RefreshCurrentPage(); });
    export_ = MakeToolButton(this, ExportIcon(), "export");
    export_->setToolTip(Tr("Export"));
    connect(export_, &QToolButton::clicked, this, [this] { OnExportClicked(); });

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("onlineCount"));
    StyleStaticLabel(a, count_, list_.countInNumberColour);

    strip_ = new CTMultiPages(this);
    strip_->setObjectName(QStringLiteral("pageStrip"));
    strip_->SetOwnerId(DialogId());
    strip_->SetBackground(ToQColor(a.ChildBkColor));
    strip_->setFont(MakeFont(a.StaticFont()));
    strip_->SetPages(1, 0);
    connect(strip_, &CTMultiPages::PageSelected, this, [this](int dialogId, int page) {
        // The page container routes a page change to the page it names,
        // as for any other page's request.
        if (CChildDlg* container = Container()) {
            container->GoToPage(dialogId, page);
        } else {
            GoToPage(page);
        }
    });
}

QRect CDeviceListDlg::ActionArea() const {
    return QRect(kMargin, kTopBarY, std::max(width() - 3 * kMargin - kFilterWidth, 0),
                 kTopBarHeight);
}

void CDeviceListDlg::LayoutControls() {
    const int w = width();
    const int h = height();
    search_->setGeometry(kMargin, kTopBarY, 110, kTopBarHeight);
    filter_->setGeometry(w - kMargin - kFilterWidth, kTopBarY + 2, kFilterWidth, kTopBarHeight - 4);
    grid_->setGeometry(kMargin, kGridTop, std::max(w - 2 * kMargin, 0),
                       std::max(h - kGridTop - kFooterHeight, 0));

    const int footerMid = h - kFooterHeight / 2 + 2;
    int x = kMargin;
    const int labelWidth = pageSizeLabel_->sizeHint().width();
    pageSizeLabel_->setGeometry(x, footerMid - 12, labelWidth, 24);
    x += labelWidth + 8;
    pageSize_->setGeometry(x, footerMid - 13, 64, 26);
    x += 64 + 6;
    refresh_->setGeometry(x, footerMid - kFooterButton / 2, kFooterButton, kFooterButton);
    x += kFooterButton + 2;
    export_->setGeometry(x, footerMid - kFooterButton / 2, kFooterButton, kFooterButton);
    x += kFooterButton + 24;
    const int stripLeft = std::max(w - kMargin - kStripWidth, x);
    count_->setGeometry(x, footerMid - 12, std::max(stripLeft - x - 8, 0), 24);
    strip_->setGeometry(stripLeft, footerMid - 16, w - kMargin - stripLeft, 32);
}

void CDeviceListDlg::resizeEvent(QResizeEvent* event) {
    CPageBase::resizeEvent(event);
    LayoutControls();
}

void CDeviceListDlg::paintEvent(QPaintEvent* event) {
    CPageBase::paintEvent(event);
    // The separator above the footer.
    QPainter p(this);
    p.setPen(ToQColor(Context().appearance.LineColor));
    const int y = height() - kFooterHeight + 6;
    p.drawLine(kMargin, y, width() - kMargin, y);
}

CChildDlg* CDeviceListDlg::Container() const {
    return qobject_cast<CChildDlg*>(parentWidget());
}

void CDeviceListDlg::SetContainerRefreshAllowed(bool allowed) {
    if (CChildDlg* container = Container()) container->SetRefreshAllowed(allowed);
}

std::unique_ptr<CWaitDlg> CDeviceListDlg::MakeWaitDialog(int seconds, bool research,
                                                         int researchCount) {
    auto wait = std::make_unique<CWaitDlg>(seconds, research, researchCount, this);
    wait->SetCloseImage(ToQString(Context().skin.closeWait));
    wait->SetBackground(ToQColor(Context().appearance.ChildBkColor));
    // The link is looked up when the searches fall due, not now.
    const AppContext& context = Context();
    wait->SetReleaseAnnounced([&context] {
        if (DeviceLink* link = context.link) link->ReleaseAnnounced();
    });
    wait->SetSearch([&context] {
        if (DeviceLink* link = context.link) link->Search();
    });
    return wait;
}

DeviceListSource& CDeviceListDlg::Source() {
    if (source_) return *source_;
    if (Context().deviceSource) return *Context().deviceSource;
    if (!appSource_) {
        appSource_ = std::make_unique<StoreDeviceSource>(Context().store, Context().link);
    }
    return *appSource_;
}

int CDeviceListDlg::RowsPerPage() const {
    const int size = pageSize_->currentData().toInt();
    return size > 0 ? size : kPageSizes[kInitialPageSize];
}

void CDeviceListDlg::RefreshCurrentPage() {
    RefreshList(state_.currentPage, state_.RefreshAscending(), state_.sortColumn,
                state_.filterText);
}

void CDeviceListDlg::GoToPage(int page) {
    RefreshList(page, state_.RefreshAscending(), state_.sortColumn, state_.filterText);
}

bool CDeviceListDlg::EditorOpen() const {
    const int column = grid_->EditableColumn();
    if (column < 0) return false;
    const QAbstractItemModel* model = grid_->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (grid_->indexWidget(model->index(r, column)) != nullptr) return true;
    }
    return false;
}

void CDeviceListDlg::RunDeferredRefresh() {
    if (!deferredRefresh_ || EditorOpen()) return;
    const RefreshRequest r = *deferredRefresh_;
    RefreshList(r.page, r.ascending, r.column, r.filter);
}

void CDeviceListDlg::RefreshList(int page, bool ascending, int column, const std::string& filter) {
    if (EditorOpen()) {
        deferredRefresh_ = RefreshRequest{page, ascending, column, filter};
        return;
    }
    deferredRefresh_.reset();
    const int pageSize = RowsPerPage();
    page = std::max(page, 1);
    ListPageResult result =
        LoadListPage(Source(), list_, {page, ascending, column, filter, pageSize});
    if (result.ok && result.pageCount > 0 && page > result.pageCount) {
        // The list shrank under the page shown (a search dropped devices):
        // rather than an empty grid, show the first page.
        page = 1;
        result = LoadListPage(Source(), list_, {page, ascending, column, filter, pageSize});
    }
    state_.sortColumn = column;
    state_.currentPage = page;
    FillGrid(result.rows, pageSize);
    grid_->SetSortMark(column, ascending);
    strip_->SetPages(page, result.pageCount);
    state_.onlineCount = result.onlineCount;
    ShowCount();
    emit ListRefreshed();
}

void CDeviceListDlg::FillGrid(const std::vector<ap_info_stu>& rows, int pageSize) {
    const AppearanceSettings& a = Context().appearance;
    const QColor pending = ToQColor(a.TextUnlineColor);
    const QColor online = ToQColor(a.TextOnlineColor);
    const int serialColumn = list_.ColumnOf(CellField::kSerial);
    const int operate = list_.ColumnOf(CellField::kOperate);
    if (operate >= 0) grid_->setColumnHidden(operate, !HasOperateAction());

    grid_->SetRedraw(false);
    grid_->DeleteNonFixedRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const ListRow row = BuildListRow(
            list_, rows[i], SerialNumber(static_cast<int>(i), pageSize, state_.currentPage));
        const int r = grid_->InsertRow();
        for (size_t c = 0; c < row.cells.size(); ++c) {
            const ListCell& cell = row.cells[c];
            const int column = static_cast<int>(c);
            if (!cell.text.empty())
                grid_->SetItemText(r, column, QString::fromStdString(cell.text));
            if (cell.colour == CellColour::kPending) grid_->SetItemFgColour(r, column, pending);
            if (cell.colour == CellColour::kOnline) grid_->SetItemFgColour(r, column, online);
            if (cell.operateImage) grid_->SetItemImage(r, column, 0);
        }
        if (serialColumn >= 0) grid_->SetItemData(r, serialColumn, row.status);
    }
    grid_->SetCheck(0, false);
    state_.allTicked = 0;
    grid_->SetRedraw(true);
}

void CDeviceListDlg::ShowCount() {
    count_->setText(
        ToQString(FormatNumbers(TranslateText("Online device count:%d"), {state_.onlineCount})));
}

void CDeviceListDlg::OnGridClicked(int row, int column) {
    if (row == 0) {
        const HeadingAction action = OnHeadingClick(state_, list_, column);
        if (action.kind == HeadingAction::Kind::kTickAll) {
            for (int r = 1; r < grid_->GetRowCount(); ++r) grid_->SetCheck(r, action.tick);
            grid_->SetCheck(0, action.tick);
        } else if (action.kind == HeadingAction::Kind::kSort) {
            RefreshList(1, action.ascending, action.column, state_.filterText);
        }
        return;
    }
    if (column == 0 && list_.hasTickColumn) {
        grid_->SetCheck(row, !grid_->GetCheck(row));
        return;
    }
    OnDataCellClicked(row, column);
}

const std::vector<SelectedDevice>& CDeviceListDlg::CollectSelection(SelectionFilter filter) {
    const int ip = list_.ColumnOf(CellField::kIp);
    const int mac = list_.ColumnOf(CellField::kMac);
    const int type = list_.ColumnOf(CellField::kType);
    const int bridge = list_.ColumnOf(CellField::kTransparentBridge);
    const int pxsync = list_.ColumnOf(CellField::kPxsync);
    std::vector<TickedRow> rows;
    if (list_.hasTickColumn) {
        for (int r = 1; r < grid_->GetRowCount(); ++r) {
            TickedRow& row = rows.emplace_back();
            row.ticked = grid_->GetCheck(r);
            row.ip = grid_->GetItemText(r, ip).toStdString();
            row.mac = grid_->GetItemText(r, mac).toStdString();
            row.typeText = grid_->GetItemText(r, type).toStdString();
            if (bridge >= 0) row.bridgeText = grid_->GetItemText(r, bridge).toStdString();
            if (pxsync >= 0) row.pxsyncText = grid_->GetItemText(r, pxsync).toStdString();
        }
    }
    selection_ = kestrix::CollectSelection(rows, filter);
    return selection_;
}

bool CDeviceListDlg::CollectSelectionOrWarn(SelectionFilter filter) {
    if (!CollectSelection(filter).empty()) return true;
    const char* message = filter == SelectionFilter::kEveryTicked
                              ? "Please select the devices!"
                              : "Please select configurable devices!";
    CPageMessage::Show(Context(), this, MessageKind::kWarning, Tr(message));
    return false;
}

bool CDeviceListDlg::ExportCsv(const QString& path, QString* error) {
    const ListPageResult all = LoadAllRows(
        Source(), list_, {1, state_.RefreshAscending(), state_.sortColumn, state_.filterText, 1});
    const std::string csv = BuildCsv(list_, all.rows);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) !=
            static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void CDeviceListDlg::OnExportClicked() {
    const QString suggested = QStringLiteral("devices.csv");
    QString path;
    if (Context().saveFileChooser) {
        path = Context().saveFileChooser(this, suggested);
    } else {
        path = QFileDialog::getSaveFileName(this, Tr("Export the list to a CSV file"), suggested,
                                            Tr("CSV files (*.csv)"));
    }
    if (path.isEmpty()) return;
    QString error;
    if (!ExportCsv(path, &error)) {
        CPageMessage::Show(Context(), this, MessageKind::kWarning,
                           FillTexts(Tr("The list could not be written to %s: %s"),
                                     {QDir::toNativeSeparators(path), error}));
    }
}

}  // namespace kestrix
