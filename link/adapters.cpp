// Local adapters and the ARP frame of each search.

#include <string>
#include <vector>

#include "link/adapter_list.h"
#include "link/arp_sender.h"
#include "link/device_link_impl.h"

namespace kestrix {

using Impl = DeviceLink::Impl;

void Impl::GetLocalAdapters(std::vector<AdapterRecord>& out) {
    out.clear();
    {
        std::lock_guard lock(adapterQueryMutex);
        if (adapterSource) out = UsableAdapters(adapterSource->Enumerate(), allowList);
    }
    std::lock_guard lock(adapterListMutex);
    RebuildAdapterList(adapterList, out);
}

void Impl::RefreshCaptureDevices() {
    std::vector<std::string> devices = ListCaptureDevices();
    std::lock_guard lock(captureMutex);
    captureDevices = std::move(devices);
}

bool Impl::SendArpAnnouncement(const ArpTarget& target) {
    std::vector<std::string> devices;
    {
        std::lock_guard lock(captureMutex);
        devices = captureDevices;
    }
    return SendArpFrame(devices, target);
}

}  // namespace kestrix
