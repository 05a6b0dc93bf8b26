#include "fleet/address_settings.h"

#include <cstring>

#include "base/text_utils.h"

namespace kestrix {

namespace {

constexpr size_t kAddressInRecord = ap_info_stu::kInfoOffset + DeviceInfoBlock::kAddressOffset;

ConfigFailure Fail(RuleResult rule, ConfigField field) {
    return {std::move(rule), ConfigTab::kAddress, field};
}

}  // namespace

AddressEntries FillAddressEntries(const ap_info_stu& record) {
    const DeviceInfoBlock info = record.info();
    const AddressBlock a = info.address();
    AddressEntries e;
    e.ip = IpBytesToText(a.ip());
    e.mask = IpBytesToText(a.ip_mask());
    e.gateway = IpBytesToText(a.ip_gateway());
    e.dns1 = IpBytesToText(a.ip_dns1());
    e.dns2 = IpBytesToText(a.ip_dns2());
    e.name = info.ap_name();
    return e;
}

ConfigField AddressFieldOf(const RuleResult& rule) {
    const std::string& k = rule.key;
    if (k == "The subnet mask is invalid!") return ConfigField::kMask;
    if (k == "The gateway address is invalid!" ||
        k == "The ip address and gateway address cannot be the same!" ||
        k == "Ip address and gateway address is not in the same subnet!")
        return ConfigField::kGateway;
    if (k == "The primary DNS Server is invalid!") return ConfigField::kPrimaryDns;
    if (k == "The secondary DNS Server is invalid!" ||
        k == "Primary DNS Server and Secondary DNS Server can't be the same!")
        return ConfigField::kSecondaryDns;
    return ConfigField::kIp;
}

AddressResult CollectAddress(const ap_info_stu& record, const AddressEntries& e,
                             const std::vector<std::string>& storedIps) {
    AddressResult out;
    const AddressBlock stored(record.data() + kAddressInRecord);
    // The working block: the record's bytes with ip_mode forced to 1 (the
    // tool only ever sets fixed addresses) and the five entered addresses.
    AddressBlock work = stored;
    work.set_ip_mode(1);
    work.set_ip(IpTextToBytes(e.ip));
    work.set_ip_mask(IpTextToBytes(e.mask));
    work.set_ip_gateway(IpTextToBytes(e.gateway));
    work.set_ip_dns1(IpTextToBytes(e.dns1));
    work.set_ip_dns2(IpTextToBytes(e.dns2));

    // Compared with the record's block under the same forced ip_mode, so
    // that a device reporting ip_mode 0 is not changed by opening the tab.
    AddressBlock storedAsSent = stored;
    storedAsSent.set_ip_mode(1);
    if (!(work == storedAsSent)) {
        out.addressChanged = true;
        const AddressSet set{e.ip, e.mask, e.gateway, e.dns1, e.dns2};
        if (RuleResult r = CheckAddressSet(set); !r) {
            const ConfigField field = AddressFieldOf(r);
            out.failure = Fail(std::move(r), field);
            return out;
        }
        if (RuleResult r = CheckAddressInUse(e.ip, stored.ip(), storedIps); !r) {
            out.failure = Fail(std::move(r), ConfigField::kIp);
            return out;
        }
    }
    work.set_apply(1);
    out.address = work;

    if (RuleResult r = CheckDeviceName(e.name, record.ap_type()); !r) {
        out.failure = Fail(std::move(r), ConfigField::kName);
        return out;
    }
    const std::string_view bytes = CutUtf8Bytes(e.name, 32);
    out.name.set_ap_name(bytes);
    out.nameChanged = std::string(bytes) != record.info().ap_name();
    return out;
}

}  // namespace kestrix
