#include "pages/ManagementConfigDlg.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "controls/TButtonPicture.h"
#include "pages/IpSetDlg.h"
#include "pages/PageMessage.h"
#include "pages/TimeRebootDlg.h"
#include "pages/VlanDlg.h"
#include "pages/WirelessSetDlg.h"
#include "shell/Styling.h"
#include "shell/TranslateWidgets.h"

namespace kestrix {

CManagementConfigDlg::CManagementConfigDlg(const AppContext& context, const ap_info_stu& record,
                                           QWidget* parent)
    : CSkinDlg(context, "Device management", parent),
      config_(std::make_unique<DeviceConfig>(record)) {
    setObjectName(QStringLiteral("managementConfigDialog"));
    const SkinPaths& skin = context.skin;

    auto* tabRow = new QHBoxLayout;
    tabRow->setSpacing(4);
    constexpr std::array<const char*, 4> kKeys = {"WirelessSet", "IPSET", "VLAN", "TimeReboot"};
    constexpr std::array<const char*, 4> kNames = {"wirelessTab", "addressTab", "vlanTab",
                                                   "rebootTab"};
    for (size_t i = 0; i < 4; ++i) {
        auto* b = new CTButtonPicture(this);
        b->setObjectName(QString::fromLatin1(kNames[i]));
        b->SetImages(ToQString(skin.btnConfig), ToQString(skin.configBtn));
        StyleButton(context.appearance, QString::fromUtf8(kKeys[i]), b);
        b->setFixedSize(b->sizeHint().expandedTo(QSize(110, 0)));
        const auto tab = static_cast<ConfigTab>(i);
        connect(b, &QAbstractButton::clicked, this, [this, tab] { ShowTab(tab); });
        tabs_[i] = b;
        tabRow->addWidget(b);
    }
    tabRow->addStretch(1);
    Body()->addLayout(tabRow);

    stack_ = new QStackedWidget(this);
    DeviceConfig& c = *config_;
    wireless_ = new CWirelessSetDlg(context, c.wireless, stack_);
    address_ = new CIpSetDlg(context, c.address, stack_);
    vlan_ = new CVlanDlg(context, c.vlan, c.vlanLayout, stack_);
    reboot_ = new CTimeRebootDlg(context, c.reboot, stack_);
    for (QWidget* w : {static_cast<QWidget*>(wireless_), static_cast<QWidget*>(address_),
                       static_cast<QWidget*>(vlan_), static_cast<QWidget*>(reboot_)})
        stack_->addWidget(w);
    Body()->addWidget(stack_, 1);

    // The VLAN view still exists (Save collects it) but cannot be reached.
    tabs_[Index(ConfigTab::kVlan)]->setEnabled(VlanTabOffered(record.ap_type()));

    AddSaveCancel(save_, cancel_);
    connect(save_, &QAbstractButton::clicked, this, [this] { OnSave(); });
    connect(CloseButton(), &QAbstractButton::clicked, this, [this] { reject(); });

    ShowTab(ConfigTab::kWireless);
    TranslateDialog(this);
    setMinimumSize(sizeHint().expandedTo(QSize(720, 560)));
}

void CManagementConfigDlg::ShowTab(ConfigTab tab) {
    front_ = tab;
    stack_->setCurrentIndex(static_cast<int>(Index(tab)));
    for (size_t i = 0; i < 4; ++i) tabs_[i]->SetSelected(i == Index(tab));
}

QWidget* CManagementConfigDlg::FieldWidget(const ConfigFailure& f) const {
    switch (f.tab) {
        case ConfigTab::kWireless:
            return wireless_->FieldWidget(f.field);
        case ConfigTab::kAddress:
            return address_->FieldWidget(f.field);
        case ConfigTab::kVlan:
            return vlan_->FieldWidget(f.field);
        case ConfigTab::kReboot:
            return reboot_->FieldWidget(f.field);
    }
    return nullptr;
}

void CManagementConfigDlg::OnSave() {
    if (clearPending_) clearPending_();
    wireless_->Store();
    address_->Store();
    vlan_->Store();
    reboot_->Store();
    const std::vector<std::string> ips = storedIps_ ? storedIps_() : std::vector<std::string>{};
    const SaveOutcome out = CollectForSave(*config_, ips);
    if (out.failure) {
        CPageMessage::Show(Context(), this, out.failure->rule.kind,
                           ToQString(out.failure->rule.message));
        // The focus goes into the field even on a tab that is not in front;
        // the operator finds it there when opening that tab.
        failedField_ = FieldWidget(*out.failure);
        if (failedField_ != nullptr) failedField_->setFocus(Qt::OtherFocusReason);
        return;
    }
    failedField_ = nullptr;
    if (out.pending.AnyChanged() && apply_) apply_(out.pending);
    if (out.wait.seconds > 0 && showWait_) showWait_(out.wait);
    accept();
}

}  // namespace kestrix
