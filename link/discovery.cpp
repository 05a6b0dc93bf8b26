// Discovery: the search, announcements, device information, heartbeats,
// presence ageing and the presence operations the pages call.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "link/adapter_list.h"
#include "link/device_link_impl.h"
#include "link/wire/text_codec.h"

namespace kestrix {

using Impl = DeviceLink::Impl;

namespace {

struct Addressee {
    std::string ip;
    std::string mac;
};

}  // namespace

void Impl::Search() {
    std::vector<AdapterRecord> adapters;
    GetLocalAdapters(adapters);
    std::vector<SearchTarget> searchTargets;
    std::vector<ArpTarget> arpTargets;
    BuildSearchTargets(adapters, searchTargets, arpTargets);

    const std::vector<uint8_t> request = BuildMessage(MsgType::Announce, "", nullptr, 0, false);
    if (searchTargets.empty()) {
        std::lock_guard lock(searchSocketMutex);
        SendDatagram(sockets[kSearchSlot].get(), kGlobalBroadcast, kPortSearch, request.data(),
                     request.size());
        return;
    }
    for (size_t i = 0; i < searchTargets.size(); ++i) {
        // Neither step stops the other, nor the targets after it.
        SendArpAnnouncement(arpTargets[i]);
        UniqueFd socket;
        if (OpenUdpSocket(socket, searchTargets[i].adapterIp.c_str(), kPortSearch, true, kOneMiB,
                          kOneMiB, false, nullptr))
            SendDatagram(socket.get(), searchTargets[i].broadcast.c_str(), kPortSearch,
                         request.data(), request.size());
    }
}

void Impl::HandleAnnounce(const ReceivedPacket& packet) {
    const std::string mac = packet.mac_text();
    const std::string sender = packet.sender_text();
    bool requestInfo = false;
    // An all-zero MAC identifies no device: it is acknowledged below but
    // never recorded or asked for its information.
    if (!IsZeroMac(packet.mac_bytes())) {
        const AnnounceBlock block = packet.PayloadAs<AnnounceBlock>();
        std::lock_guard lock(presenceMutex);
        bool recorded = true;
        if (PresenceEntry* known = presence.FindByMac(mac)) {
            known->deviceType = packet.device_type();
            known->countdown = kPresenceCountdown;
            known->version = block.version();
        } else if (presence.size() >= DeviceLink::kPresenceLimit) {
            // A flood of forged announcements must not grow the list without
            // bound; real fleets stay far below the limit.
            ++presenceRefused;
            recorded = false;
        } else {
            PresenceEntry entry;
            entry.ip = sender;
            entry.mac = mac;
            entry.deviceType = packet.device_type();
            entry.state = PresenceState::Announced;
            entry.countdown = kPresenceCountdown;
            entry.version = block.version();
            if (packet.payload_length() > kAnnounceVersionOnly) {
                entry.workMode = block.work_mode();
                entry.modeBtnStatus = block.mode_btn_status();
                entry.uptime = block.up_time();
                entry.name = DeviceTextToLocalWithin(block.ap_name(), kTextFieldSize);
                entry.ssid = DeviceTextToLocalWithin(block.ssid(), kTextFieldSize);
                entry.channel = block.channel();
                entry.bridgeTransparent = block.bridge_transparent();
                entry.pxsync = block.pxsync();
            }
            presence.Append(std::move(entry));
        }
        // A device announcing itself at the address of another informed
        // device is acknowledged but not asked for its information.
        requestInfo = recorded && !presence.InformedElsewhere(sender, mac);
    }
    SendToDevice(sender, MsgType::Announce, nullptr, 0, mac, false);
    if (requestInfo) SendToDevice(sender, MsgType::DeviceInfo, nullptr, 0, mac, true);
}

void Impl::HandleDeviceInfo(const ReceivedPacket& packet, SaveBatch* saves) {
    const std::string mac = packet.mac_text();
    DeviceInfoBlock info = packet.PayloadAs<DeviceInfoBlock>();
    // The device's own view of its address counts here, not the sender's.
    const std::string address = IpBytesToText(info.address().ip());
    {
        std::lock_guard lock(presenceMutex);
        PresenceEntry* device = presence.FindByMac(mac);
        PresenceEntry* holder = presence.FindLastInformedAt(address);
        if (device == nullptr || (holder != nullptr && holder != device)) return;
        device->deviceType = packet.device_type();
        presence.SetState(*device, PresenceState::Informed);
        device->uptime = info.up_time();
        presence.SetIp(*device, address);
        device->version = info.version();
        const ExtensionBlock extension = info.extension();
        device->bridgeTransparent = extension.bridge_transparent();
        device->pxsync = extension.tdmaEn();
    }
    ap_info_stu record;
    record.set_mac(mac);
    record.set_ap_type(packet.device_type());
    info.ConvertDeviceTexts();
    record.set_info(info);
    if (saves != nullptr)
        saves->push_back(record);
    else if (LinkStore* s = Store())
        s->SaveDeviceInfo(record);
}

void Impl::HandleHeartbeat(const ReceivedPacket& packet) {
    const std::string mac = packet.mac_text();
    const std::string sender = packet.sender_text();
    const HeartbeatBlock block = packet.PayloadAs<HeartbeatBlock>();
    {
        std::lock_guard lock(presenceMutex);
        PresenceEntry* device = presence.FindByMac(mac);
        // A device the link does not track is neither acknowledged nor
        // written to the store.
        if (device == nullptr) return;
        device->countdown = kPresenceCountdown;
        device->uptime = block.up_time();
        device->version = block.version();
        presence.SetIp(*device, sender);
    }
    SendToDevice(sender, MsgType::Heartbeat, nullptr, 0, mac, false);
    if (LinkStore* s = Store()) s->UpdateDeviceUptime(mac, sender, block.up_time());
}

void Impl::AgePresence(std::stop_token stop) {
    std::vector<std::string> gone;
    {
        std::lock_guard lock(presenceMutex);
        gone = presence.RemoveIf([](PresenceEntry& e) {
            if (e.countdown == 0) return true;
            // Announced-only devices never age; the search cycle drops them.
            if (e.state != PresenceState::Announced) --e.countdown;
            return false;
        });
    }
    // Thousands of devices can age out at once, each a store delete. At
    // shutdown the rest is left: the store goes with the process.
    if (LinkStore* s = Store())
        for (const auto& mac : gone) {
            if (stop.stop_requested()) return;
            s->DeleteDevice(mac);
        }
}

void Impl::ReleaseAnnounced() {
    // The addressees are listed first; each Release then goes out under the
    // presence lock after a fresh look at its device, so one that became
    // informed meanwhile (its DeviceInfo was just accepted) is not told to
    // go away. The lock is taken per device, so a long list never stalls the
    // processors for more than one send.
    std::vector<Addressee> announced;
    {
        std::lock_guard lock(presenceMutex);
        presence.ForEach([&](const PresenceEntry& e) {
            if (e.state == PresenceState::Announced) announced.push_back({e.ip, e.mac});
        });
    }
    if (releaseListedHook) releaseListedHook();
    for (const auto& a : announced) {
        std::lock_guard lock(presenceMutex);
        const PresenceEntry* device = presence.FindByMac(a.mac);
        if (device == nullptr || device->state != PresenceState::Announced) continue;
        SendToDevice(device->ip, MsgType::Release, nullptr, 0, a.mac, false);
    }
}

void Impl::ReleaseAll() {
    std::vector<Addressee> everyone;
    {
        std::lock_guard lock(presenceMutex);
        presence.ForEach([&](const PresenceEntry& e) { everyone.push_back({e.ip, e.mac}); });
    }
    for (const auto& a : everyone) SendToDevice(a.ip, MsgType::Release, nullptr, 0, a.mac, false);
}

void Impl::DropAnnounced() {
    std::lock_guard lock(presenceMutex);
    presence.RemoveIf([](PresenceEntry& e) { return e.state == PresenceState::Announced; });
}

void Impl::ReconcileStore() {
    LinkStore* s = Store();
    if (s == nullptr) return;
    std::vector<std::string> stored;
    s->GetAllDeviceMacs(stored);
    std::vector<std::string> unheard;
    {
        std::lock_guard lock(presenceMutex);
        for (auto& mac : stored)
            if (presence.FindByMac(mac) == nullptr) unheard.push_back(std::move(mac));
    }
    for (const auto& mac : unheard) s->DeleteDevice(mac);
}

void Impl::ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter, int limit) {
    out.clear();
    if (limit <= 0) return;
    std::lock_guard lock(presenceMutex);
    int examined = 0;
    presence.ForEach([&](const PresenceEntry& e) {
        if (examined >= limit || e.state != PresenceState::Announced) return;
        ++examined;
        if (!filter.empty() && e.ip.find(filter) == std::string::npos &&
            e.mac.find(filter) == std::string::npos && e.version.find(filter) == std::string::npos)
            return;
        ap_info_stu record;
        record.set_mac(e.mac);
        record.set_ap_type(e.deviceType);
        record.set_ap_status(ap_info_stu::kStatusAnnounced);
        DeviceInfoBlock info;
        info.set_work_mode(e.workMode);
        info.set_mode_btn_status(e.modeBtnStatus);
        info.set_up_time(e.uptime);
        AddressBlock address;
        address.set_ip(IpTextToBytes(e.ip));
        info.set_address(address);
        info.set_ap_name(e.name);
        info.set_version(e.version.substr(0, e.version.find('\n')));
        WirelessBlock wireless;
        wireless.set_channel(e.channel);
        wireless.set_ssid(e.ssid);
        info.set_wireless(wireless);
        ExtensionBlock extension;
        extension.set_bridge_transparent(e.bridgeTransparent);
        extension.set_tdmaEn(e.pxsync);
        info.set_extension(extension);
        record.set_info(info);
        out.push_back(record);
    });
}

}  // namespace kestrix
