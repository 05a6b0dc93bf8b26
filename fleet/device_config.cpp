#include "fleet/device_config.h"

namespace kestrix {

ConfigWait WaitAfterSave(const PendingSettings& p) {
    if (p.vlanChanged) return {kVlanWaitSeconds, false, 0};
    if (p.addressChanged) return {kAddressWaitSeconds, true, kAddressWaitSearches};
    return {};
}

DeviceConfig::DeviceConfig(const ap_info_stu& r)
    : record(r),
      wireless(r),
      address(FillAddressEntries(r)),
      vlan(FillVlanEntries(r)),
      vlanLayout(VlanLayoutOf(r.ap_type(), r.info().work_mode())),
      receivedSchedule(r.info().reboot_schedule()),
      reboot(FillRebootEntries(receivedSchedule)) {}

SaveOutcome CollectForSave(const DeviceConfig& c, const std::vector<std::string>& storedIps) {
    SaveOutcome out;
    PendingSettings& p = out.pending;

    WirelessSettings::Result w = c.wireless.Collect();
    if (w.failure) {
        out.failure = std::move(w.failure);
        return out;
    }
    p.wireless = w.block;
    p.wirelessExtension = w.extension;
    p.wirelessChanged = w.changed;

    AddressResult a = CollectAddress(c.record, c.address, storedIps);
    if (a.failure) {
        out.failure = std::move(a.failure);
        return out;
    }
    p.address = a.address;
    p.name = a.name;
    p.addressChanged = a.addressChanged;
    p.nameChanged = a.nameChanged;

    VlanResult v = CollectVlan(c.record, c.vlan);
    if (v.failure) {
        out.failure = std::move(v.failure);
        return out;
    }
    p.vlan = v.vlan;
    p.vlanExtension = v.extension;
    p.vlanChanged = v.changed;

    RebootResult t = CollectReboot(c.receivedSchedule, c.reboot);
    if (t.failure) {
        out.failure = std::move(t.failure);
        return out;
    }
    p.reboot = t.schedule;
    p.rebootChanged = t.changed;

    // A new address together with a VLAN change: the device takes the
    // address only when the VLAN follows, so neither leaves it unreachable
    // halfway.
    if (p.addressChanged && p.vlanChanged) {
        p.address.set_apply(0);
        p.vlan.set_address_follows(1);
    }
    out.wait = WaitAfterSave(p);
    return out;
}

std::vector<SentCommand> RunConfigSendWorker(CommandSink& sink, const SelectedDevice& target,
                                             const PendingSettings& p, std::stop_token stop) {
    std::vector<SentCommand> sent;
    auto send = [&](MsgType type, const std::vector<uint8_t>& payload, std::string newIp = {}) {
        const bool ok =
            sink.SendToDevice(target.ip, type, payload.data(), payload.size(), target.mac, true);
        sent.push_back({target, type, ok, std::move(newIp)});
    };
    if (p.nameChanged && !stop.stop_requested()) {
        send(MsgType::SetName, BuildNamePayload(p.name.ap_name()).ToVector());
    }
    if (p.wirelessChanged && !stop.stop_requested()) {
        send(MsgType::SetWireless,
             BuildSetWirelessPayload(p.wireless, target.type, p.wirelessExtension.wl_dfs()));
    }
    if (p.rebootChanged && !stop.stop_requested()) {
        send(MsgType::SetTimedReboot, p.reboot.ToVector());
    }
    if (p.vlanChanged && !stop.stop_requested()) {
        send(MsgType::SetVlan, BuildSetVlanPayload(p.vlan, p.vlanExtension, target.type));
    }
    if (p.addressChanged && !stop.stop_requested()) {
        const std::string newIp = IpBytesToText(p.address.ip());
        // The link's presence entry follows the device to its new address.
        sink.NoteNewAddress(target.mac, target.ip, newIp);
        send(MsgType::SetAddress, p.address.ToVector(), newIp);
    }
    return sent;
}

}  // namespace kestrix
