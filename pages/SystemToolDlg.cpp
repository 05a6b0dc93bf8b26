#include "pages/SystemToolDlg.h"

#include <QLabel>
#include <QPainter>

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "fleet/adapter_rows.h"
#include "fleet/page_ids.h"
#include "link/device_link.h"
#include "pages/GridStyling.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

namespace {

constexpr int kMargin = 16;
constexpr int kCountTop = 14;
constexpr int kLineY = 50;
constexpr int kGridTop = 62;

struct Column {
    const char* heading;
    int width;
};
constexpr Column kColumns[] = {{"ID", 60}, {"Description", 400}, {"MAC", 140}, {"IP", 400}};

}  // namespace

CSystemToolDlg::CSystemToolDlg(const AppContext& context, QWidget* parent)
    : CPageBase(context, kSystemToolPageId, parent) {
    const AppearanceSettings& a = Context().appearance;
    ApplyBackground(a, this);
    provider_ = context.adapters;

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("adapterCount"));
    StyleStaticLabel(a, count_, /*numberColor=*/true);

    grid_ = new CGridCtrl(this);
    grid_->setObjectName(QStringLiteral("adapterGrid"));
    ApplyGridAppearance(a, Context().skin, grid_);
    grid_->SetColumnCount(static_cast<int>(std::size(kColumns)));
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        const Column& column = kColumns[c];
        StyleGridHeading(a, grid_, c, ToQString(TranslateText(column.heading)));
        grid_->setColumnWidth(c, column.width);
    }

    TranslateDialog(this);
    ShowCount(0);
    Fill();
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Fill(); });
    timer_.start();
}

std::vector<AdapterRecord> CSystemToolDlg::ReadAdapters() {
    if (provider_) return provider_();
    std::vector<AdapterRecord> adapters;
    if (DeviceLink* link = Context().link) link->GetLocalAdapters(adapters);
    return adapters;
}

void CSystemToolDlg::Fill() {
    const std::vector<AdapterRow> rows = BuildAdapterRows(ReadAdapters());
    const AppearanceSettings& a = Context().appearance;
    grid_->SetRedraw(false);
    grid_->DeleteNonFixedRows();
    for (const AdapterRow& row : rows) {
        const int r = grid_->InsertRow();
        StyleGridCell(a, grid_, r, 0, ToQString(row.id));
        StyleGridCell(a, grid_, r, 1, ToQString(row.description));
        StyleGridCell(a, grid_, r, 2, ToQString(row.mac));
        StyleGridCell(a, grid_, r, 3, ToQString(row.ips));
    }
    grid_->SetRedraw(true);
    if (!filledOnce_) {
        filledOnce_ = true;
        update();
    }
    ShowCount(static_cast<int>(rows.size()));
}

void CSystemToolDlg::ShowCount(int count) {
    count_->setText(ToQString(FormatNumbers(TranslateText("Adapter count:%d"), {count})));
}

void CSystemToolDlg::resizeEvent(QResizeEvent* event) {
    CPageBase::resizeEvent(event);
    count_->setGeometry(kMargin, kCountTop, std::max(width() - 2 * kMargin, 0), 28);
    grid_->setGeometry(kMargin, kGridTop, std::max(width() - 2 * kMargin, 0),
                       std::max(height() - kGridTop - kMargin, 0));
}

void CSystemToolDlg::paintEvent(QPaintEvent* event) {
    CPageBase::paintEvent(event);
    QPainter p(this);
    p.setPen(ToQColor(Context().appearance.LineColor));
    p.drawLine(kMargin, kLineY, width() - kMargin, kLineY);
}

}  // namespace kestrix
