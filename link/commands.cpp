// Commands: the multicast send path, the pending list with its
// retransmission, and what each reply does.

#include <string>
#include <vector>

#include "link/adapter_list.h"
#include "link/device_link_impl.h"
#include "link/wire/device_status.h"
#include "link/wire/text_codec.h"

namespace kestrix {

using Impl = DeviceLink::Impl;

namespace {

// Acknowledgements, requests that are answered by reports rather than
// replies, and farewells are never retransmitted.
bool Retransmittable(MsgType type) {
    return type != MsgType::Announce && type != MsgType::ScanNeighbours &&
           type != MsgType::Heartbeat && type != MsgType::Release;
}

}  // namespace

bool Impl::Multicast(const std::string& target, uint16_t typeCode,
                     const std::vector<uint8_t>& message) {
    bool result = false;
    std::lock_guard lock(adapterListMutex);
    for (const auto& adapter : adapterList) {
        if (!AdapterReaches(adapter, target)) continue;
        if (commandSocket >= 0) {
            // The heartbeat socket sends with the adapter's address as its
            // source: same bytes, same source address and port 9787, same
            // interface, and no second socket on the port to take a
            // heartbeat meant for the heartbeat receiver.
            if (typeCode == ToCode(MsgType::ScanNeighbours)) scanComplete = false;
            result = SendDatagramFrom(commandSocket, adapter.address.c_str(), kMulticastGroup,
                                      kPortHeartbeat, message.data(), message.size());
            continue;
        }
        // Not started (or the heartbeat port could not be opened): nobody
        // reads the port, so a temporary socket bound to it takes nothing.
        UniqueFd socket;
        if (!OpenUdpSocket(socket, adapter.address.c_str(), kPortHeartbeat, false, kOneMiB, kOneMiB,
                           true, kMulticastGroup))
            continue;
        if (typeCode == ToCode(MsgType::ScanNeighbours)) scanComplete = false;
        result = SendDatagram(socket.get(), kMulticastGroup, kPortHeartbeat, message.data(),
                              message.size());
    }
    return result;
}

bool Impl::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                        size_t length, const std::string& mac, bool registerRetry) {
    if (payload == nullptr) length = 0;
    if (length > kMaxPayload) length = kMaxPayload;
    const std::vector<uint8_t> message = BuildMessage(type, mac, payload, length, true);
    if (!registerRetry || !Retransmittable(type)) return Multicast(target, ToCode(type), message);

    // A device on the same segment can answer before the sender gets round
    // to registering the command; its reply would then find nothing to
    // remove and the command would be repeated (a second reboot, say). So
    // the pending mutex is held from the send to the registration, and the
    // reply processor's acknowledgement waits for both. The adapter-list
    // lock is taken inside it, the permitted order.
    PendingCommand command;
    command.retriesLeft = retryCount.load();
    command.target = target;
    command.type = ToCode(type);
    if (length > 0) command.payload.assign(payload, payload + length);
    // Replies carry the MAC in lower case; a command registered with an
    // upper-case text must still be matched by its reply.
    command.mac = MacBytesToText(MacTextToBytes(mac));
    std::lock_guard lock(pendingMutex);
    const bool result = Multicast(target, ToCode(type), message);
    if (!result) return false;
    if (pending.size() >= DeviceLink::kPendingLimit)
        ++pendingRefused;
    else
        pending.Register(std::move(command));
    return true;
}

void Impl::RetransmitPass(std::stop_token stop) {
    // The pending mutex is held for the whole pass; each resend takes the
    // adapter-list lock inside it (the one permitted order). A stop request
    // ends the pass at once, whatever the length of the list.
    std::lock_guard lock(pendingMutex);
    pending.RetransmitPass(
        [this](const PendingCommand& c) {
            const std::vector<uint8_t> message = BuildMessage(
                c.type, MacTextToBytes(c.mac), c.payload.data(), c.payload.size(), true);
            Multicast(c.target, c.type, message);
        },
        [&stop] { return stop.stop_requested(); });
}

void Impl::HandleReply(const ReceivedPacket& packet, SaveBatch* saves) {
    const uint16_t type = packet.type();
    const std::string mac = packet.mac_text();
    const std::string sender = packet.sender_text();
    // A neighbour scan answers in several packets and Release is never
    // answered, so neither ends a pending command.
    if (type != ToCode(MsgType::ScanNeighbours) && type != ToCode(MsgType::Release)) {
        std::lock_guard lock(pendingMutex);
        pending.Acknowledge(sender, type, mac);
    }

    // Every other reply that writes to the store comes after the device
    // information saves before it, as it arrived.
    if (saves != nullptr && type != ToCode(MsgType::DeviceInfo)) FlushSaves(*saves);
    LinkStore* s = Store();
    const uint8_t result = packet.payload()[0];
    switch (static_cast<MsgType>(type)) {
        case MsgType::DeviceInfo:
            HandleDeviceInfo(packet, saves);
            break;
        case MsgType::SetAddress: {
            std::lock_guard lock(presenceMutex);
            PresenceEntry* device = presence.FindByMac(mac);
            if (device == nullptr || device->newIp.empty() || device->newIp == device->ip) break;
            // A device that answers from its old address is about to move; one
            // that answers from the noted new address has already moved.
            // Either way the entry follows it.
            if (device->ip == sender || device->newIp == sender) {
                presence.SetIp(*device, device->newIp);
                device->newIp.clear();
            }
            break;
        }
        case MsgType::ScanNeighbours: {
            NeighbourReport report = ParseNeighbourReport(packet);
            for (auto& entry : report.entries)
                entry.set_ssid(DeviceTextToLocalWithin(entry.ssid(), kTextFieldSize));
            if (s != nullptr) s->SaveScanPacket(report);
            // Set only once the last packet is stored, so a page that sees the
            // flag reads a complete neighbour table.
            if (static_cast<int>(report.packet_id) == static_cast<int>(report.packet_count) - 1)
                scanComplete = true;
            break;
        }
        case MsgType::SetBridge:
            if (s != nullptr)
                s->SetDeviceStatus(mac, result != 0 ? kStatusBridgeFail : kStatusBridgeSuccess);
            break;
        case MsgType::Reboot:
        case MsgType::SetVlan:
            if (s != nullptr && result == 0) s->SetDeviceStatus(mac, kStatusRestarting);
            break;
        case MsgType::Restore:
            if (s != nullptr && result == 0) s->SetDeviceStatus(mac, kStatusReseting);
            break;
        case MsgType::UpgradeStatus:
            if (s != nullptr)
                s->SetDeviceStatus(mac, result == 0   ? kStatusUpgradeWait
                                        : result == 1 ? kStatusUpgradeFail
                                                      : kStatusUpgradeSuccess);
            break;
        case MsgType::UpgradeStart:
            if (s != nullptr) s->MarkUpgrading(mac);
            break;
        default:
            // Everything else is recognised by its type alone: the
            // acknowledgement above was all it asked for.
            break;
    }
}

void Impl::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                          const std::string& newIp) {
    std::lock_guard lock(presenceMutex);
    PresenceEntry* device = presence.FindByMac(mac);
    if (device == nullptr || device->state != PresenceState::Informed || device->ip != currentIp)
        return;
    device->newIp = newIp == currentIp ? std::string() : newIp;
}

}  // namespace kestrix
