#pragma once
// The "IPSET" tab of the device configuration dialog: the five addresses
// and the name of one device (fleet/address_settings.h does the work).

#include <array>

#include <QWidget>

#include "fleet/address_settings.h"
#include "shell/AppContext.h"

class QLineEdit;

namespace kestrix {

class CTIpAddressEdit;

class CIpSetDlg : public QWidget {
    Q_OBJECT
public:
    CIpSetDlg(const AppContext& context, AddressEntries& entries, QWidget* parent);
    void Store();
    QWidget* FieldWidget(ConfigField field) const;

    CTIpAddressEdit* IpField() const { return fields_[0]; }
    CTIpAddressEdit* MaskField() const { return fields_[1]; }
    CTIpAddressEdit* GatewayField() const { return fields_[2]; }
    CTIpAddressEdit* PrimaryDnsField() const { return fields_[3]; }
    CTIpAddressEdit* SecondaryDnsField() const { return fields_[4]; }
    QLineEdit* NameEdit() const { return name_; }

private:
    AddressEntries& entries_;
    std::array<CTIpAddressEdit*, 5> fields_{};
    QLineEdit* name_ = nullptr;
};

}  // namespace kestrix
