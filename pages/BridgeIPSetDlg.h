#pragma once
// Step 2 of the bridge wizard: the device's own address once it is a
// station, with a tip on choosing one the tool can still reach.

#include <QWidget>

#include "fleet/validation.h"
#include "shell/AppContext.h"

class QLabel;

namespace kestrix {

class CTIpAddressEdit;

class CBridgeIPSetDlg : public QWidget {
    Q_OBJECT
public:
    CBridgeIPSetDlg(const AppContext& context, QWidget* parent);

    void Set(const AddressSet& address);
    AddressSet Get() const;

    CTIpAddressEdit* IpField() const { return ip_; }
    CTIpAddressEdit* MaskField() const { return mask_; }
    CTIpAddressEdit* GatewayField() const { return gateway_; }
    CTIpAddressEdit* PrimaryDnsField() const { return dns1_; }
    CTIpAddressEdit* SecondaryDnsField() const { return dns2_; }
    QLabel* Tip() const { return tip_; }

private:
    CTIpAddressEdit* ip_ = nullptr;
    CTIpAddressEdit* mask_ = nullptr;
    CTIpAddressEdit* gateway_ = nullptr;
    CTIpAddressEdit* dns1_ = nullptr;
    CTIpAddressEdit* dns2_ = nullptr;
    QLabel* tip_ = nullptr;
};

}  // namespace kestrix
