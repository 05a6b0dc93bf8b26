#include "pages/IpSetDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "controls/TIpAddressEdit.h"
#include "shell/Styling.h"

namespace kestrix {

CIpSetDlg::CIpSetDlg(const AppContext& context, AddressEntries& entries, QWidget* parent)
    : QWidget(parent), entries_(entries) {
    setObjectName(QStringLiteral("ipSet"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(24, 16, 24, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(10);
    constexpr std::array<const char*, 5> kKeys = {"IP_Address", "Sub_Network", "Gate_Way",
                                                  "Major_Dns", "Dns"};
    constexpr std::array<const char*, 5> kNames = {"ip", "mask", "gateway", "primaryDns",
                                                   "secondaryDns"};
    const std::array<const std::string*, 5> values = {&entries.ip, &entries.mask, &entries.gateway,
                                                      &entries.dns1, &entries.dns2};
    for (size_t i = 0; i < 5; ++i) {
        auto* label = new QLabel(QString::fromUtf8(kKeys[i]), this);
        StyleStaticLabel(context.appearance, label);
        fields_[i] = new CTIpAddressEdit(this);
        fields_[i]->setObjectName(QString::fromLatin1(kNames[i]));
        fields_[i]->setFixedSize(200, 28);
        fields_[i]->SetAddress(QString::fromStdString(*values[i]));
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(fields_[i], static_cast<int>(i), 1, Qt::AlignLeft);
    }
    auto* label = new QLabel(QStringLiteral("Wireless_location"), this);
    StyleStaticLabel(context.appearance, label);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    name_->setMaxLength(32);
    name_->setFixedWidth(200);
    name_->setText(QString::fromStdString(entries.name));
    grid->addWidget(label, 5, 0);
    grid->addWidget(name_, 5, 1, Qt::AlignLeft);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(6, 1);
}

void CIpSetDlg::Store() {
    entries_.ip = fields_[0]->Address().toStdString();
    entries_.mask = fields_[1]->Address().toStdString();
    entries_.gateway = fields_[2]->Address().toStdString();
    entries_.dns1 = fields_[3]->Address().toStdString();
    entries_.dns2 = fields_[4]->Address().toStdString();
    entries_.name = name_->text().toStdString();
}

QWidget* CIpSetDlg::FieldWidget(ConfigField field) const {
    switch (field) {
        case ConfigField::kIp:
            return fields_[0]->Field(0);
        case ConfigField::kMask:
            return fields_[1]->Field(0);
        case ConfigField::kGateway:
            return fields_[2]->Field(0);
        case ConfigField::kPrimaryDns:
            return fields_[3]->Field(0);
        case ConfigField::kSecondaryDns:
            return fields_[4]->Field(0);
        case ConfigField::kName:
            return name_;
        default:
            return nullptr;
    }
}

}  // namespace kestrix
