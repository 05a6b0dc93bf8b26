#include "pages/BridgeDlg.h"

#include "base/language.h"
#include "controls/GridCtrl.h"
#include "fleet/bridge_wizard.h"
#include "fleet/device_workers.h"
#include "pages/BridgeConfigDlg.h"
#include "pages/PageMessage.h"
#include "shell/Styling.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {
constexpr int kScanWorker = 1;
}  // namespace

CBridgeDlg::CBridgeDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kBridge, parent) {
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshAfterWizardMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { OnRefreshTimer(); });
}

CBridgeDlg::~CBridgeDlg() {
    // The wizard goes before the page's workers are let go.
    wizard_.reset();
}

std::shared_ptr<BridgeLink> CBridgeDlg::Link() {
    if (!link_) link_ = std::make_shared<AppBridgeLink>(Context().link, Context().store);
    return link_;
}

void CBridgeDlg::OnRefreshTimer() {
    refreshTimer_.stop();
    RefreshCurrentPage();
}

void CBridgeDlg::StartScanWorker() {
    StartWorker(kScanWorker, [link = Link(), device = wizardDevice_](std::stop_token) {
        SendNeighbourScan(*link, device);
    });
}

void CBridgeDlg::OnDataCellClicked(int row, int column) {
    const ListDescriptor& list = Descriptor();
    if (column != list.ColumnOf(CellField::kOperate)) return;
    CGridCtrl* grid = Grid();
    wizardDevice_.ip = grid->GetItemText(row, list.ColumnOf(CellField::kIp)).toStdString();
    wizardDevice_.mac = grid->GetItemText(row, list.ColumnOf(CellField::kMac)).toStdString();
    wizardDevice_.type =
        ModelCode(grid->GetItemText(row, list.ColumnOf(CellField::kType)).toStdString());
    wizard_.reset();
    SetContainerRefreshAllowed(false);

    // A device the store lost reads as an all-zero record: its switch
    // byte is 0 and the wizard opens with empty defaults.
    ap_info_stu record;
    Link()->GetDeviceByMac(wizardDevice_.mac, record);
    if (ModeSwitchBlocksBridge(record)) {
        CPageMessage::Show(Context(), this, MessageKind::kTitledWarning,
                           ToQString(TranslateText(kModeSwitchMessage)));
    } else {
        wizard_ = std::make_unique<CBridgeConfigDlg>(
            Context(), record, Link(), [this] { StartScanWorker(); },
            [this] { return wizardDevice_; }, this);
        wizard_->exec();
    }
    SetContainerRefreshAllowed(true);
    refreshTimer_.start();
}

}  // namespace kestrix
