#include "pages/BridgeSearcgAPDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QPixmap>
#include <QVBoxLayout>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "fleet/bridge_wizard.h"
#include "fleet/neighbour_texts.h"
#include "pages/GridStyling.h"
#include "shell/Styling.h"

namespace kestrix {

namespace {

struct ScanHeading {
    const char* key;
    int width;
};
constexpr ScanHeading kHeadings[kScanColumnCount] = {
    {"Select", 40}, {"SingleName", 140}, {"Channel", 70},
    {"MAC", 120},   {"Secure", 120},     {"SingleStrength", 76},
};

}  // namespace

CBridgeSearcgAPDlg::CBridgeSearcgAPDlg(const AppContext& context, std::shared_ptr<BridgeLink> link,
                                       std::function<void()> startScanWorker, QWidget* parent)
    : QWidget(parent),
      context_(context),
      link_(std::move(link)),
      startScanWorker_(std::move(startScanWorker)) {
    setObjectName(QStringLiteral("bridgeSearchAp"));
    const AppearanceSettings& a = context.appearance;
    const SkinPaths& skin = context.skin;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 0, 12, 0);
    auto* top = new QHBoxLayout;
    title_ = new QLabel(QStringLiteral("SearchOtherAP"), this);
    title_->setObjectName(QStringLiteral("searchOtherAp"));
    StyleStaticLabel(a, title_);
    top->addWidget(title_);
    top->addStretch(1);
    busy_ = new QLabel(this);
    busy_->setObjectName(QStringLiteral("scanBusy"));
    busyMovie_ = new QMovie(ToQString(skin.waitSearch), QByteArray(), busy_);
    busy_->setMovie(busyMovie_);
    busy_->setFixedSize(24, 24);
    busy_->setScaledContents(true);
    scanning_ = new QLabel(QStringLiteral("Scanning..."), this);
    scanning_->setObjectName(QStringLiteral("scanningText"));
    StyleStaticLabel(a, scanning_, true);
    scan_ = new CTButtonPicture(this);
    scan_->setObjectName(QStringLiteral("scanButton"));
    scan_->SetImages(ToQString(skin.btnConfig), ToQString(skin.configBtn));
    StyleButton(a, QStringLiteral("Scan"), scan_);
    scan_->setFixedSize(scan_->sizeHint());
    top->addWidget(busy_);
    top->addWidget(scanning_);
    top->addWidget(scan_);
    column->addLayout(top);

    grid_ = new CGridCtrl(this);
    grid_->setObjectName(QStringLiteral("scanGrid"));
    ApplyGridAppearance(a, skin, grid_);
    grid_->SetColumnCount(kScanColumnCount);
    grid_->SetCheckColumn(true);
    for (int c = 0; c < kScanColumnCount; ++c) {
        StyleGridHeading(a, grid_, c, ToQString(TranslateText(kHeadings[c].key)));
        grid_->setColumnWidth(c, kHeadings[c].width);
    }
    // The signal pictures, numbered as the skin numbers them.
    std::vector<QPixmap> pictures;
    for (const std::string& path : skin.signalStrength) {
        QPixmap p(ToQString(path));
        if (!p.isNull()) p.setMask(p.createMaskFromColor(Qt::white, Qt::MaskInColor));
        pictures.push_back(p);
    }
    grid_->SetImages(std::move(pictures));
    column->addWidget(grid_, 1);

    connect(grid_, &CGridCtrl::CellClicked, this,
            [this](int row, int col) { OnGridClicked(row, col); });
    connect(scan_, &QAbstractButton::clicked, this, [this] { StartScan(); });
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void CBridgeSearcgAPDlg::StartScan() {
    grid_->DeleteNonFixedRows();
    grid_->SetCheck(0, false);
    busy_->show();
    busyMovie_->start();
    scanning_->show();
    scan_->hide();
    emit ChoiceChanged(false);
    if (link_) link_->DeleteScanResults();
    if (startScanWorker_) startScanWorker_();
    ticks_ = 0;
    timer_.start();
}

void CBridgeSearcgAPDlg::Tick() {
    if (!timer_.isActive()) return;
    ++ticks_;
    if (ticks_ >= kScanSeconds || (link_ && link_->IsScanComplete())) EndScan();
}

void CBridgeSearcgAPDlg::EndScan() {
    timer_.stop();
    busyMovie_->stop();
    busy_->hide();
    scanning_->hide();
    scan_->show();
    FillList();
}

void CBridgeSearcgAPDlg::FillList() {
    const std::vector<config_otherwl_basic> list =
        link_ ? link_->QueryScanList(ScanSortKey(scanColumn_), scanAscending_)
              : std::vector<config_otherwl_basic>{};
    grid_->SetRedraw(false);
    grid_->DeleteNonFixedRows();
    for (const config_otherwl_basic& e : list) {
        const int r = grid_->InsertRow();
        grid_->SetItemText(r, kScanColumnSsid, QString::fromStdString(e.ssid()));
        grid_->SetItemText(r, kScanColumnChannel, QString::number(e.channel()));
        grid_->SetItemText(r, kScanColumnMac, QString::fromStdString(MacBytesToText(e.mac())));
        grid_->SetItemText(r, kScanColumnSecure,
                           ToQString(TranslateText(NeighbourSecurityText(e.secure_mode()))));
        grid_->SetItemImage(r, kScanColumnSignal, SignalImage(e.signal()));
    }
    grid_->SetCheck(0, false);
    grid_->SetRedraw(true);
    grid_->SetSortMark(scanColumn_, scanAscending_);
    emit ChoiceChanged(false);
}

void CBridgeSearcgAPDlg::OnGridClicked(int row, int column) {
    if (row == 0) {
        if (column == kScanColumnSelect || IsScanning()) return;
        // The direction flips first, also on the first click of a column.
        scanAscending_ = !scanAscending_;
        scanColumn_ = column;
        FillList();
        return;
    }
    if (column != kScanColumnSelect) return;
    const bool wasTicked = grid_->GetCheck(row);
    for (int r = 1; r < grid_->GetRowCount(); ++r) grid_->SetCheck(r, false);
    grid_->SetCheck(row, !wasTicked);
    emit ChoiceChanged(!wasTicked);
}

std::optional<std::string> CBridgeSearcgAPDlg::TickedMac() const {
    for (int r = 1; r < grid_->GetRowCount(); ++r) {
        if (grid_->GetCheck(r)) return grid_->GetItemText(r, kScanColumnMac).toStdString();
    }
    return std::nullopt;
}

}  // namespace kestrix
