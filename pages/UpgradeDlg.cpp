#include "pages/UpgradeDlg.h"

#include "base/language.h"
#include "base/os_utils.h"
#include "controls/GridCtrl.h"
#include "controls/TButtonPicture.h"
#include "pages/PageMessage.h"
#include "pages/UpgradeConfigDlg.h"
#include "shell/Styling.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

constexpr int kActionButtonWidth = 110;
constexpr int kActionButtonGap = 8;

}  // namespace

CUpgradeDlg::CUpgradeDlg(const AppContext& context, QWidget* parent)
    : CDeviceListDlg(context, ListPage::kUpgrade, parent) {
    upgrade_ = new CTButtonPicture(this);
    upgrade_->setObjectName(QStringLiteral("upgrade"));
    upgrade_->SetImages(ToQString(Context().skin.btnUpdateNormal),
                        ToQString(Context().skin.btnUpdateDown));
    StyleButton(Context().appearance, ToQString(TranslateText("Upgrade")), upgrade_);
    connect(upgrade_, &QAbstractButton::clicked, this, [this] { OnUpgrade(); });
    reloadTimer_.setSingleShot(true);
    reloadTimer_.setInterval(kReloadAfterUpgradeMs);
    connect(&reloadTimer_, &QTimer::timeout, this, [this] { RefreshCurrentPage(); });
}

std::shared_ptr<UpgradeLink> CUpgradeDlg::Link() {
    if (!link_) link_ = std::make_shared<AppUpgradeLink>(Context().link, Context().store);
    return link_;
}

std::shared_ptr<FileServerControl> CUpgradeDlg::Server() {
    if (!server_)
        server_ = std::make_shared<ProcessFileServer>(COperateSystemInfo::ProgramFolderCached() +
                                                      "service/");
    return server_;
}

void CUpgradeDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListDlg::resizeEvent(event);
    const QRect area = ActionArea();
    int x = area.left();
    if (SearchButton()->isVisible()) x = SearchButton()->geometry().right() + 1 + kActionButtonGap;
    upgrade_->setGeometry(x, area.top(), kActionButtonWidth, area.height());
}

void CUpgradeDlg::OnUpgrade() {
    const std::vector<SelectedDevice>& targets = CollectSelection();
    if (const RuleResult rule = CheckUpgradeTargetCount(targets.size()); !rule) {
        CPageMessage::Show(Context(), this, rule.kind, ToQString(rule.message));
        return;
    }
    std::shared_ptr<UpgradeLink> link = Link();
    {
        CUpgradeConfigDlg dialog(Context(), targets, link, Server(), this);
        dialog.SetStatusView(
            [this](const std::string& mac, int status) { ShowDeviceStatus(mac, status); });
        if (dialogSetup_) dialogSetup_(dialog);
        dialog.exec();
    }
    link->Search();
    reloadTimer_.start();
}

void CUpgradeDlg::ShowDeviceStatus(const std::string& mac, int status) {
    CGridCtrl* grid = Grid();
    const int macColumn = Descriptor().ColumnOf(CellField::kMac);
    const int statusColumn = Descriptor().ColumnOf(CellField::kStatus);
    const QString text = ToQString(TranslateText(StatusText(static_cast<uint32_t>(status))));
    for (int row = 1; row < grid->GetRowCount(); ++row) {
        if (grid->GetItemText(row, macColumn).toStdString() == mac)
            grid->SetItemText(row, statusColumn, text);
    }
}

}  // namespace kestrix
