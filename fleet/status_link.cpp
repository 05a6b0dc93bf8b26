#include "fleet/status_link.h"

#include "link/device_link.h"
#include "store/sql_management.h"

namespace kestrix {

bool AppStatusLink::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                                 size_t length, const std::string& mac, bool registerRetry) {
    return link_ != nullptr &&
           link_->SendToDevice(target, type, payload, length, mac, registerRetry);
}

void AppStatusLink::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                   const std::string& newIp) {
    if (link_ != nullptr) link_->NoteNewAddress(mac, currentIp, newIp);
}

void AppStatusLink::RefreshCaptureDevices() {
    if (link_ != nullptr) link_->RefreshCaptureDevices();
}

void AppStatusLink::ReleaseAnnounced() {
    if (link_ != nullptr) link_->ReleaseAnnounced();
}

void AppStatusLink::DropAnnounced() {
    if (link_ != nullptr) link_->DropAnnounced();
}

void AppStatusLink::ReconcileStore() {
    if (link_ != nullptr) link_->ReconcileStore();
}

void AppStatusLink::Search() {
    if (link_ != nullptr) link_->Search();
}

bool AppStatusLink::GetDeviceByMac(const std::string& mac, ap_info_stu& record) {
    // The store answers true whenever its query ran; a device it does not
    // hold comes back as a zeroed record without a MAC.
    if (store_ == nullptr || mac.empty() || !store_->GetDeviceByMac(mac, record)) return false;
    return !record.mac().empty();
}

}  // namespace kestrix
