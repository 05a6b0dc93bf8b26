#include "pages/VlanDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

#include "shell/Styling.h"

namespace kestrix {

CVlanDlg::CVlanDlg(const AppContext& context, VlanEntries& entries, const VlanLayout& layout,
                   QWidget* parent)
    : QWidget(parent), entries_(entries), layout_(layout) {
    setObjectName(QStringLiteral("vlanSet"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 16, 24, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(10);
    auto* title = new QLabel(QStringLiteral("VLAN configuration"), this);
    StyleStaticLabel(context.appearance, title);
    enable_ = new QCheckBox(QStringLiteral("Enable"), this);
    enable_->setObjectName(QStringLiteral("vlanEnable"));
    enable_->setChecked(entries.enabled);
    grid->addWidget(title, 0, 0);
    grid->addWidget(enable_, 0, 1);

    const std::array<const char*, kFieldCount> keys = {"PVID",          "Manage VLAN", "WLAN",
                                                       layout.lanLabel, "LAN3",        "LAN4"};
    constexpr std::array<const char*, kFieldCount> names = {"pvid",    "manageVlan", "wlanVlan",
                                                            "lanVlan", "lan3Vlan",   "lan4Vlan"};
    const std::array<const std::string*, kFieldCount> values = {
        &entries.pvid, &entries.manage, &entries.wlan, &entries.lan, &entries.lan3, &entries.lan4};
    const std::array<bool, kFieldCount> offered = {layout.pvid, true,         true,
                                                   layout.lan,  layout.lan34, layout.lan34};
    for (size_t i = 0; i < kFieldCount; ++i) {
        labels_[i] = new QLabel(QString::fromUtf8(keys[i]), this);
        StyleStaticLabel(context.appearance, labels_[i]);
        edits_[i] = new QLineEdit(this);
        edits_[i]->setObjectName(QString::fromLatin1(names[i]));
        edits_[i]->setMaxLength(4);
        edits_[i]->setValidator(new QIntValidator(0, 9999, edits_[i]));
        edits_[i]->setFixedWidth(120);
        edits_[i]->setText(QString::fromStdString(*values[i]));
        labels_[i]->setVisible(offered[i]);
        edits_[i]->setVisible(offered[i]);
        grid->addWidget(labels_[i], static_cast<int>(i) + 1, 0);
        grid->addWidget(edits_[i], static_cast<int>(i) + 1, 1, Qt::AlignLeft);
    }
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(static_cast<int>(kFieldCount) + 1, 1);

    connect(enable_, &QCheckBox::toggled, this, [this] { ShowEnabled(); });
    ShowEnabled();
    if (layout_.readOnly) {
        enable_->setEnabled(false);
        for (QLineEdit* e : edits_) e->setEnabled(false);
    }
}

void CVlanDlg::ShowEnabled() {
    for (QLineEdit* e : edits_) e->setEnabled(enable_->isChecked());
}

void CVlanDlg::Store() {
    entries_.enabled = enable_->isChecked();
    const std::array<std::string*, kFieldCount> values = {&entries_.pvid, &entries_.manage,
                                                          &entries_.wlan, &entries_.lan,
                                                          &entries_.lan3, &entries_.lan4};
    for (size_t i = 0; i < kFieldCount; ++i) *values[i] = edits_[i]->text().toStdString();
}

QWidget* CVlanDlg::FieldWidget(ConfigField field) const {
    switch (field) {
        case ConfigField::kVlanPvid:
            return edits_[0];
        case ConfigField::kVlanManage:
            return edits_[1];
        case ConfigField::kVlanWlan:
            return edits_[2];
        case ConfigField::kVlanLan:
            return edits_[3];
        case ConfigField::kVlanLan3:
            return edits_[4];
        case ConfigField::kVlanLan4:
            return edits_[5];
        default:
            return nullptr;
    }
}

}  // namespace kestrix
