#include "fleet/device_workers.h"

#include <condition_variable>
#include <mutex>

#include "link/device_link.h"

namespace kestrix {

namespace {

// The byte limit of the name area of a NameBlock.
constexpr size_t kNameBytes = 32;

SentCommand Send(CommandSink& sink, const SelectedDevice& device, MsgType type,
                 const uint8_t* payload, size_t length) {
    SentCommand c{device, type, false, {}};
    c.sent = sink.SendToDevice(device.ip, type, payload, length, device.mac, true);
    return c;
}

}  // namespace

bool LinkCommandSink::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                                   size_t length, const std::string& mac, bool registerRetry) {
    return link_.SendToDevice(target, type, payload, length, mac, registerRetry);
}

void LinkCommandSink::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                     const std::string& newIp) {
    link_.NoteNewAddress(mac, currentIp, newIp);
}

RenameDecision DecideRename(std::string_view newName, std::string_view oldName, uint32_t typeCode) {
    RenameDecision d;
    if (newName == oldName) {
        d.kind = RenameDecision::Kind::kUnchanged;
        return d;
    }
    if (newName.empty()) {
        d.kind = RenameDecision::Kind::kEmpty;
        return d;
    }
    d.rule = CheckDeviceName(newName, typeCode);
    if (!d.rule) {
        d.kind = RenameDecision::Kind::kRejected;
        return d;
    }
    d.kind = RenameDecision::Kind::kSend;
    d.name = TruncateToByteCount(newName, kNameBytes);
    return d;
}

SentCommand SendRename(CommandSink& sink, const SelectedDevice& device, std::string_view name) {
    const NameBlock block = BuildNamePayload(name);
    return Send(sink, device, MsgType::SetName, block.data(), block.size());
}

MsgType SwitchCommand(SwitchKind kind) {
    return kind == SwitchKind::kPxsync ? MsgType::SetPxsync : MsgType::SetTransparentBridge;
}

std::vector<SentCommand> RunSwitchWorker(CommandSink& sink,
                                         const std::vector<SelectedDevice>& selection,
                                         SwitchKind kind, bool on, std::stop_token stop) {
    const uint8_t state = on ? 1 : 0;
    const ExtensionBlock block = kind == SwitchKind::kPxsync ? BuildPxsyncPayload(state)
                                                             : BuildTransparentBridgePayload(state);
    std::vector<SentCommand> out;
    for (const SelectedDevice& device : selection) {
        if (stop.stop_requested()) break;
        out.push_back(Send(sink, device, SwitchCommand(kind), block.data(), block.size()));
    }
    return out;
}

std::vector<SentCommand> RunBatchAddressWorker(CommandSink& sink,
                                               const std::vector<SelectedDevice>& selection,
                                               const AddressRange& range, std::stop_token stop) {
    const std::vector<std::string> addresses =
        BatchAddresses(range.begin, range.end, selection.size());
    std::vector<SentCommand> out;
    for (size_t i = 0; i < selection.size(); ++i) {
        if (stop.stop_requested()) break;
        const SelectedDevice& device = selection[i];
        if (i >= addresses.size()) {
            // The range ran out: this device is told nothing.
            out.push_back(SentCommand{device, MsgType::SetAddress, false, {}});
            continue;
        }
        const AddressBlock block = MakeBatchAddressBlock(range, addresses[i]);
        sink.NoteNewAddress(device.mac, device.ip, addresses[i]);
        SentCommand c = Send(sink, device, MsgType::SetAddress, block.data(), block.size());
        c.newIp = addresses[i];
        out.push_back(std::move(c));
    }
    return out;
}

SentCommand RequestDeviceInfo(CommandSink& sink, const SelectedDevice& device) {
    return Send(sink, device, MsgType::DeviceInfo, nullptr, 0);
}

SentCommand SendNeighbourScan(CommandSink& sink, const SelectedDevice& device) {
    return Send(sink, device, MsgType::ScanNeighbours, nullptr, 0);
}

RebootOrder OrderForReboot(const std::vector<SelectedDevice>& selection,
                           const std::function<bool(const std::string& mac)>& hasBridgedStation) {
    RebootOrder order;
    for (const SelectedDevice& device : selection) {
        const bool carriesStation = hasBridgedStation && hasBridgedStation(device.mac);
        (carriesStation ? order.first : order.second).push_back(device);
    }
    return order;
}

std::vector<SentCommand> RunRebootWorker(
    CommandSink& sink, const std::vector<SelectedDevice>& selection, MsgType command,
    const std::function<bool(const std::string& mac)>& hasBridgedStation, std::stop_token stop,
    const PauseFunction& pause) {
    const RebootOrder order = OrderForReboot(selection, hasBridgedStation);
    std::vector<SentCommand> out;
    for (const SelectedDevice& device : order.first) {
        if (stop.stop_requested()) return out;
        out.push_back(Send(sink, device, command, nullptr, 0));
    }
    if (pause)
        pause(kRebootPassPause, stop);
    else
        InterruptibleSleep(kRebootPassPause, stop);
    for (const SelectedDevice& device : order.second) {
        if (stop.stop_requested()) return out;
        out.push_back(Send(sink, device, command, nullptr, 0));
    }
    return out;
}

void InterruptibleSleep(std::chrono::milliseconds duration, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
}

}  // namespace kestrix
