#include "pages/ManagementDlg.h"

#include "controls/GridCtrl.h"
#include "controls/WaitDlg.h"
#include "pages/ManagementConfigDlg.h"
#include "store/field_texts.h"
#include "store/sql_management.h"

namespace kestrix {

CManagementDlg::CManagementDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kManagement, parent) {
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshAfterDialogMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { RefreshCurrentPage(); });
}

std::shared_ptr<StatusLink> CManagementDlg::Link() {
    if (link_) return link_;
    if (Context().statusLink) return Context().statusLink;
    if (!appLink_) appLink_ = std::make_shared<AppStatusLink>(Context().link, Context().store);
    return appLink_;
}

std::vector<std::string> CManagementDlg::StoredIps() const {
    std::vector<std::string> ips;
    if (CSqlManagement* store = Context().store) store->GetAllDeviceIps(ips);
    return ips;
}

void CManagementDlg::OnDataCellClicked(int row, int column) {
    if (column == Descriptor().ColumnOf(CellField::kOperate)) OpenConfiguration(row);
}

void CManagementDlg::OpenConfiguration(int row) {
    const ListDescriptor& list = Descriptor();
    auto cell = [&](CellField f) {
        return Grid()->GetItemText(row, list.ColumnOf(f)).toStdString();
    };
    target_.ip = cell(CellField::kIp);
    target_.mac = cell(CellField::kMac);
    target_.type = ModelCode(cell(CellField::kType));

    SetContainerRefreshAllowed(false);
    // A device deleted from the store meanwhile opens with an all-zero record.
    ap_info_stu record;
    if (!Link()->GetDeviceByMac(target_.mac, record)) record = ap_info_stu();

    {
        CManagementConfigDlg dialog(Context(), record, this);
        dialog.SetClearPending([this] { pending_ = PendingSettings(); });
        dialog.SetApply([this](const PendingSettings& pending) {
            pending_ = pending;
            StartSendWorker();
        });
        dialog.SetShowWait([this](const ConfigWait& wait) { ShowWait(wait); });
        dialog.SetStoredIps([this] { return StoredIps(); });
        dialog.exec();
    }
    // However it closed.
    SetContainerRefreshAllowed(true);
    refreshTimer_.start(kRefreshAfterDialogMs);
}

void CManagementDlg::StartSendWorker() {
    StartWorker(kSendWorker,
                [link = Link(), target = target_, pending = pending_](std::stop_token stop) {
                    RunConfigSendWorker(*link, target, pending, stop);
                });
}

void CManagementDlg::ShowWait(const ConfigWait& wait) {
    std::unique_ptr<CWaitDlg> dialog = MakeWaitDialog(wait.seconds, wait.research, wait.searches);
    // The closing searches go where the page's commands go.
    std::shared_ptr<StatusLink> link = Link();
    dialog->SetReleaseAnnounced([link] { link->ReleaseAnnounced(); });
    dialog->SetSearch([link] { link->Search(); });
    dialog->exec();
}

}  // namespace kestrix
