#include "pages/BridgeIPSetDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "controls/TIpAddressEdit.h"
#include "shell/Styling.h"

namespace kestrix {

CBridgeIPSetDlg::CBridgeIPSetDlg(const AppContext& context, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bridgeIpSet"));
    const AppearanceSettings& a = context.appearance;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 8, 24, 8);
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(16);
    form->setVerticalSpacing(10);
    auto row = [&](int r, const char* key, const char* name) {
        auto* label = new QLabel(QString::fromUtf8(key), this);
        StyleStaticLabel(a, label);
        auto* field = new CTIpAddressEdit(this);
        field->setObjectName(QString::fromLatin1(name));
        field->setFixedSize(190, 28);
        form->addWidget(label, r, 0, Qt::AlignLeft | Qt::AlignVCenter);
        form->addWidget(field, r, 1, Qt::AlignLeft);
        return field;
    };
    ip_ = row(0, "IP_Address", "bridgeIp");
    mask_ = row(1, "Sub_Network", "bridgeMask");
    gateway_ = row(2, "Gate_Way", "bridgeGateway");
    dns1_ = row(3, "Major_Dns", "bridgeDns1");
    dns2_ = row(4, "Dns", "bridgeDns2");
    form->setColumnStretch(2, 1);
    column->addLayout(form);
    tip_ = new QLabel(QStringLiteral("Toptip"), this);
    tip_->setObjectName(QStringLiteral("bridgeTip"));
    tip_->setWordWrap(true);
    StyleStaticLabel(a, tip_, true);
    column->addSpacing(8);
    column->addWidget(tip_);
    column->addStretch(1);
}

void CBridgeIPSetDlg::Set(const AddressSet& address) {
    ip_->SetAddress(QString::fromStdString(address.ip));
    mask_->SetAddress(QString::fromStdString(address.mask));
    gateway_->SetAddress(QString::fromStdString(address.gateway));
    dns1_->SetAddress(QString::fromStdString(address.dns1));
    dns2_->SetAddress(QString::fromStdString(address.dns2));
}

AddressSet CBridgeIPSetDlg::Get() const {
    return {ip_->Address().toStdString(), mask_->Address().toStdString(),
            gateway_->Address().toStdString(), dns1_->Address().toStdString(),
            dns2_->Address().toStdString()};
}

}  // namespace kestrix
