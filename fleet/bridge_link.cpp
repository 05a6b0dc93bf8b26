#include "fleet/bridge_link.h"

#include "link/device_link.h"
#include "store/sql_management.h"

namespace kestrix {

bool AppBridgeLink::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                                 size_t length, const std::string& mac, bool registerRetry) {
    return link_ != nullptr &&
           link_->SendToDevice(target, type, payload, length, mac, registerRetry);
}

void AppBridgeLink::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                   const std::string& newIp) {
    if (link_ != nullptr) link_->NoteNewAddress(mac, currentIp, newIp);
}

bool AppBridgeLink::IsScanComplete() const {
    return link_ != nullptr && link_->IsScanComplete();
}

bool AppBridgeLink::GetDeviceByMac(const std::string& mac, ap_info_stu& record) {
    record = ap_info_stu();
    // The store answers true whenever its query ran; a device it does not
    // hold comes back without a MAC.
    if (store_ == nullptr || mac.empty() || !store_->GetDeviceByMac(mac, record)) return false;
    return !record.mac().empty();
}

void AppBridgeLink::DeleteScanResults() {
    if (store_ != nullptr) store_->DeleteScanResults();
}

std::vector<config_otherwl_basic> AppBridgeLink::QueryScanList(int sortKey, bool ascending) {
    std::vector<config_otherwl_basic> list;
    if (store_ != nullptr) store_->QueryScanList(sortKey, ascending, list);
    return list;
}

config_otherwl_basic AppBridgeLink::GetScanEntry(const std::string& mac) {
    config_otherwl_basic entry;
    if (store_ != nullptr) store_->GetScanEntry(mac, entry);
    return entry;
}

std::vector<std::string> AppBridgeLink::GetAllDeviceIps() {
    std::vector<std::string> ips;
    if (store_ != nullptr) store_->GetAllDeviceIps(ips);
    return ips;
}

}  // namespace kestrix
