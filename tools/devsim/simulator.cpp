#include "tools/devsim/simulator.h"

#include <algorithm>
#include <cstring>

#include "link/wire/byte_io.h"
#include "tools/devsim/config_text.h"
#include "tools/devsim/json_writer.h"

namespace kestrix::devsim {

uint64_t MacKey(const uint8_t* mac) {
    uint64_t key = 0;
    for (int i = 0; i < 6; ++i) key = key << 8 | mac[i];
    return key;
}

namespace {

bool IsCommandType(uint16_t type) {
    return (type >= ToCode(MsgType::Announce) && type <= ToCode(MsgType::UpgradeRequest)) ||
           type == ToCode(MsgType::SetVlan) ||
           (type >= ToCode(MsgType::Heartbeat) && type <= ToCode(MsgType::SetPxsync));
}

// The payload sizes the tool sends; anything else is a malformed command.
bool PayloadSizeFits(uint16_t type, size_t len) {
    switch (static_cast<MsgType>(type)) {
        case MsgType::SetAddress:
            return len == AddressBlock::kSize;
        case MsgType::SetWireless:
            return len == WirelessBlock::kSize ||
                   len == WirelessBlock::kSize + ExtensionBlock::kSize;
        case MsgType::SetTimedReboot:
            return len == RebootScheduleBlock::kSize;
        case MsgType::SetBridge:
            return len == kSetBridgePayloadSize;
        case MsgType::SetName:
            return len == NameBlock::kSize;
        case MsgType::UpgradeRequest:
            return len == UpgradeRequestBlock::kSize;
        case MsgType::SetVlan:
            return len == VlanBlock::kSize || len == VlanBlock::kSize + ExtensionBlock::kSize;
        case MsgType::SetTransparentBridge:
        case MsgType::SetPxsync:
            return len == ExtensionBlock::kSize;
        default:
            return len == 0;
    }
}

// A device keeps its address when told to move to one no host can have.
bool IsUsableAddress(const Ipv4Bytes& ip) {
    uint32_t v = IpToU32(ip);
    return v != 0 && v != 0xFFFFFFFFu && ip[0] != 127 && ip[0] < 224;
}

// A text area whose length byte claims more than the area holds is cut to
// the area, as the device firmware would store it.
template <class Block>
void ClampText(Block& block, size_t offset, size_t cap) {
    if (block.data()[offset + cap] > cap) block.data()[offset + cap] = static_cast<uint8_t>(cap);
}

}  // namespace

Simulator::Simulator(std::vector<DeviceSpec> fleet, SimTiming timing, GlobalFaults faults,
                     uint64_t seed, int64_t nowMs)
    : timing_(timing), faults_(faults), rng_(StreamSeed(seed, 0xFA17ull, 7)) {
    devices_.reserve(fleet.size());
    for (DeviceSpec& spec : fleet) {
        SimDevice d;
        d.info = spec.info;
        d.mac = spec.mac;
        d.type = spec.type;
        d.neighbours = spec.neighbours;
        d.faults = spec.faults;
        d.boot_ms = nowMs;
        d.uptime_base = spec.uptime;
        d.factory = std::move(spec);
        byMac_.emplace(MacKey(d.mac.data()), static_cast<uint32_t>(devices_.size()));
        devices_.push_back(std::move(d));
    }
    SplitMix64 r(StreamSeed(seed, 0x5714ull, 3));
    for (int i = 0; i < 40; ++i) {
        config_otherwl_basic e;
        e.set_mac({0x02, 0x4e, 0x42, static_cast<uint8_t>(r.Below(256)), static_cast<uint8_t>(i),
                   static_cast<uint8_t>(r.Below(256))});
        e.set_signal(static_cast<int8_t>(-60 - r.Between(0, 35)));
        e.set_channel(
            static_cast<uint8_t>(r.Below(2) ? r.Between(1, 13) : 149 + 4 * r.Between(0, 4)));
        e.set_secure_mode(static_cast<uint8_t>(r.Between(0, 9)));
        e.set_ssid(i % 5 == 0 ? "邻居网络-" + std::to_string(i) : "Neighbour-" + std::to_string(i));
        e.set_exchannel(static_cast<uint8_t>(r.Below(2)));
        e.set_bandwidth(static_cast<uint8_t>(r.Below(3)));
        strangers_.push_back(e);
    }
}

int Simulator::FindByMac(const MacBytes& mac) const {
    auto it = byMac_.find(MacKey(mac.data()));
    return it == byMac_.end() ? -1 : static_cast<int>(it->second);
}

uint32_t Simulator::Uptime(size_t index, int64_t nowMs) const {
    const SimDevice& d = devices_[index];
    if (d.run != RunState::Running) return 0;
    int64_t up = nowMs > d.boot_ms ? (nowMs - d.boot_ms) / 1000 : 0;
    return d.uptime_base + static_cast<uint32_t>(up);
}

Ipv4Bytes Simulator::AnswerAddress(size_t index) const {
    const SimDevice& d = devices_[index];
    if (d.faults.claim >= 0 && static_cast<size_t>(d.faults.claim) < devices_.size()) {
        return devices_[static_cast<size_t>(d.faults.claim)].info.address().ip();
    }
    return d.info.address().ip();
}

DeviceInfoBlock Simulator::CurrentInfo(size_t index, int64_t nowMs) const {
    DeviceInfoBlock info = devices_[index].info;
    info.set_up_time(Uptime(index, nowMs));
    AddressBlock address = info.address();
    address.set_ip(AnswerAddress(index));
    info.set_address(address);
    return info;
}

AnnounceBlock Simulator::CurrentAnnounce(size_t index, int64_t nowMs) const {
    const DeviceInfoBlock& info = devices_[index].info;
    WirelessBlock radio = info.wireless();
    ExtensionBlock ext = info.extension();
    AnnounceBlock a;
    a.set_version(info.version());
    a.set_work_mode(info.work_mode());
    a.set_mode_btn_status(info.mode_btn_status());
    a.set_up_time(Uptime(index, nowMs));
    a.set_ap_name(info.ap_name());
    a.set_ssid(radio.ssid());
    a.set_channel(radio.channel());
    a.set_bridge_transparent(ext.bridge_transparent());
    a.set_pxsync(ext.tdmaEn());
    return a;
}

void Simulator::Schedule(int64_t due, size_t index, uint32_t epoch, TimerKind kind) {
    timers_.push(Timer{due, static_cast<uint32_t>(index), epoch, kind});
}

std::optional<int64_t> Simulator::NextDeadline() const {
    if (timers_.empty()) return std::nullopt;
    return timers_.top().due;
}

void Simulator::Send(size_t index, uint16_t srcPort, const Ipv4Bytes& dst, uint16_t dstPort,
                     uint16_t typeCode, const uint8_t* payload, size_t length, int64_t nowMs,
                     std::vector<Outgoing>& out, std::optional<Ipv4Bytes> fromAddress) {
    const SimDevice& d = devices_[index];
    Outgoing o;
    o.src = fromAddress.value_or(AnswerAddress(index));
    o.src_port = srcPort;
    o.dst = dst;
    o.dst_port = dstPort;
    o.device = static_cast<int>(index);
    o.due_ms =
        nowMs + faults_.delay_ms +
        (faults_.jitter_ms > 0 ? rng_.Below(static_cast<uint32_t>(faults_.jitter_ms + 1)) : 0);
    o.bytes = BuildMessage(typeCode, d.mac, payload, length, false, d.type);
    ++stats_.tx;
    if (rng_.Chance(faults_.loss_tx)) {
        o.lost = true;
        ++stats_.tx_lost;
    }
    bool twice = !o.lost && rng_.Chance(faults_.duplicate);
    out.push_back(o);
    if (twice) {
        ++stats_.tx_duplicated;
        out.back().duplicate = false;
        o.duplicate = true;
        out.push_back(std::move(o));
    }
}

void Simulator::Reply(size_t index, const Ipv4Bytes& to, uint16_t typeCode, const uint8_t* payload,
                      size_t length, int64_t nowMs, std::vector<Outgoing>& out,
                      std::optional<Ipv4Bytes> fromAddress) {
    Send(index, kPortHeartbeat, to, kPortReply, typeCode, payload, length, nowMs, out, fromAddress);
}

RxVerdict Simulator::OnDatagram(uint16_t localPort, const Ipv4Bytes& from, uint16_t fromPort,
                                const uint8_t* data, size_t size, int64_t nowMs,
                                std::vector<Outgoing>& out) {
    ++stats_.rx;
    RxVerdict v;
    auto ignore = [&](const char* reason) {
        v.what = "ignored";
        v.reason = reason;
        ++stats_.rx_ignored;
        return v;
    };
    if (data == nullptr || size < kHeaderSize || size > kMaxDatagram) return ignore("size");
    if (LoadU16(data) != kWireMagic) return ignore("magic");
    v.type = LoadU16(data + 4);
    if (LoadU16(data + 14) != size - kHeaderSize) return ignore("length");
    const uint8_t* mac = data + 8;

    if (localPort == kPortSearch) {
        if (v.type != ToCode(MsgType::Announce)) return ignore("type");
        int only = -1;
        if (!IsZeroMac(mac)) {
            auto it = byMac_.find(MacKey(mac));
            if (it == byMac_.end()) return ignore("foreign-mac");
            only = static_cast<int>(it->second);
        }
        if (size != kHeaderSize) return ignore("payload-size");
        v.what = "search";
        ++stats_.searches;
        size_t first = only < 0 ? 0 : static_cast<size_t>(only);
        size_t last = only < 0 ? devices_.size() : first + 1;
        for (size_t i = first; i < last; ++i) {
            SimDevice& d = devices_[i];
            if (d.run != RunState::Running) continue;
            if (rng_.Chance(faults_.loss_rx)) {
                ++stats_.rx_lost;
                continue;
            }
            AnnounceBlock block = CurrentAnnounce(i, nowMs);
            Send(i, kPortSearch, from, kPortAnnounce, ToCode(MsgType::Announce), block.data(),
                 block.size(), nowMs, out);
            ++d.announces;
            ++v.answers;
        }
        return v;
    }
    if (localPort != kPortHeartbeat) return ignore("port");
    if (!IsCommandType(v.type)) return ignore("type");
    auto it = byMac_.find(MacKey(mac));
    if (it == byMac_.end()) return ignore(IsZeroMac(mac) ? "zero-mac" : "foreign-mac");
    size_t index = it->second;
    v.device = static_cast<int>(index);
    if (devices_[index].run != RunState::Running) return ignore("rebooting");
    if (!PayloadSizeFits(v.type, size - kHeaderSize)) return ignore("payload-size");
    if (rng_.Chance(faults_.loss_rx)) {
        v.what = "lost";
        ++stats_.rx_lost;
        return v;
    }
    ReceivedPacket packet;
    std::memcpy(&packet.sender_addr, from.data(), 4);
    packet.sender_port = fromPort;
    packet.size = static_cast<uint16_t>(size);
    std::memcpy(packet.area.data(), data, size);
    v.what = "handled";
    size_t before = out.size();
    HandleCommand(index, packet, from, nowMs, out, v);
    v.answers = static_cast<int>(out.size() - before);
    return v;
}

void Simulator::ApplyAddress(size_t index, const AddressBlock& block) {
    if (!IsUsableAddress(block.ip())) return;
    AddressBlock a = block;
    a.set_apply(0);
    devices_[index].info.set_address(a);
}

void Simulator::StartReboot(size_t index, int64_t nowMs, int64_t durationMs) {
    SimDevice& d = devices_[index];
    // A fetch or upgrade under way does not survive the restart.
    AbandonUpgrade(index);
    d.run = RunState::Rebooting;
    d.reboot_until = nowMs + (durationMs >= 0 ? durationMs : timing_.reboot_ms);
    ++d.reboots;
    // A restart loses everything the device only kept in memory.
    d.manager.reset();
    d.pending_address.reset();
    d.awaiting_address_until = -1;
    ++d.heartbeat_epoch;
    ++d.reboot_epoch;
    Schedule(d.reboot_until, index, d.reboot_epoch, TimerKind::RebootEnd);
}

void Simulator::HandleCommand(size_t index, const ReceivedPacket& packet, const Ipv4Bytes& from,
                              int64_t nowMs, std::vector<Outgoing>& out, RxVerdict& verdict) {
    SimDevice& d = devices_[index];
    const uint16_t type = packet.type();
    const uint8_t* p = packet.payload();
    const size_t len = packet.payload_length();
    ++d.commands;
    ++stats_.commands;
    d.last_command = type;
    const uint8_t ok = 0;

    switch (static_cast<MsgType>(type)) {
        case MsgType::Announce:  // the tool acknowledges us: it is our manager now
            // The tool acknowledges every announcement, and searches every
            // few seconds; only a new manager restarts the heartbeat clock,
            // or the acknowledgements would hold the heartbeats back.
            if (d.manager != from) {
                d.manager = from;
                ++d.heartbeat_epoch;
                Schedule(nowMs + timing_.heartbeat_ms, index, d.heartbeat_epoch,
                         TimerKind::Heartbeat);
            }
            break;
        case MsgType::DeviceInfo: {
            if (d.faults.mute_info) {
                verdict.reason = "mute-info";
                break;
            }
            DeviceInfoBlock info = CurrentInfo(index, nowMs);
            Reply(index, from, type, info.data(), info.size(), nowMs, out);
            break;
        }
        case MsgType::SetAddress: {
            AddressBlock block(p, len);
            Ipv4Bytes oldAddress = AnswerAddress(index);
            if (block.apply() == 1) {
                // Moves at once and answers from where it now is.
                ApplyAddress(index, block);
                d.pending_address.reset();
                Reply(index, from, type, nullptr, 0, nowMs, out);
            } else if (d.awaiting_address_until >= 0) {
                // The SetVlan of this save came first and waits for us.
                Reply(index, from, type, nullptr, 0, nowMs, out, oldAddress);
                ApplyAddress(index, block);
                StartReboot(index, nowMs);
            } else {
                d.pending_address = block;
                Reply(index, from, type, nullptr, 0, nowMs, out, oldAddress);
            }
            break;
        }
        case MsgType::SetWireless: {
            WirelessBlock w(p, WirelessBlock::kSize);
            ClampText(w, 31, 32);
            d.info.set_wireless(w);
            if (len == WirelessBlock::kSize + ExtensionBlock::kSize) {
                ExtensionBlock sent(p + WirelessBlock::kSize, ExtensionBlock::kSize);
                ExtensionBlock ext = d.info.extension();
                ext.set_wl_dfs(sent.wl_dfs());
                d.info.set_extension(ext);
            }
            Reply(index, from, type, nullptr, 0, nowMs, out);
            break;
        }
        case MsgType::SetTimedReboot:
            d.info.set_reboot_schedule(RebootScheduleBlock(p, len));
            Reply(index, from, type, nullptr, 0, nowMs, out);
            break;
        case MsgType::ScanNeighbours:
            SendNeighbourReports(index, from, nowMs, out);
            break;
        case MsgType::SetBridge: {
            if (d.faults.bridge_fail) {
                verdict.reason = "bridge-fail";
                uint8_t result = d.faults.bridge_result;
                Reply(index, from, type, &result, 1, nowMs, out);
                break;
            }
            BridgeBlock bridge(p, BridgeBlock::kSize);
            ClampText(bridge, 8, 32);
            AddressBlock address(p + BridgeBlock::kSize, AddressBlock::kSize);
            Reply(index, from, type, &ok, 1, nowMs, out);
            d.info.set_bridge(bridge);
            d.info.set_work_mode(kModeStation);
            WirelessBlock w = d.info.wireless();
            w.set_channel(bridge.bridge_channel());
            d.info.set_wireless(w);
            ApplyAddress(index, address);
            break;
        }
        case MsgType::SetName: {
            NameBlock name(p, len);
            d.info.set_ap_name(name.ap_name());
            Reply(index, from, type, nullptr, 0, nowMs, out);
            break;
        }
        case MsgType::Reboot:
            Reply(index, from, type, &ok, 1, nowMs, out);
            StartReboot(index, nowMs);
            break;
        case MsgType::Restore:
            Reply(index, from, type, &ok, 1, nowMs, out);
            {
                // Factory settings, but the firmware stays what it was
                // upgraded to.
                std::string version = d.info.version();
                d.info = d.factory.info;
                d.info.set_version(version);
            }
            ++d.restores;
            StartReboot(index, nowMs);
            break;
        case MsgType::UpgradeRequest:
            HandleUpgradeRequest(index, p, from, nowMs, out, verdict);
            break;
        case MsgType::SetVlan: {
            VlanBlock vlan(p, VlanBlock::kSize);
            const bool addressFollows = vlan.address_follows() != 0;
            vlan.set_address_follows(0);
            d.info.set_vlan(vlan);
            if (len == VlanBlock::kSize + ExtensionBlock::kSize) {
                // Only the VLAN numbers: the switches and DFS ride along as
                // whatever the page had, which must not change them.
                ExtensionBlock sent(p + VlanBlock::kSize, ExtensionBlock::kSize);
                ExtensionBlock ext = d.info.extension();
                ext.set_vlan_pvid(sent.vlan_pvid());
                ext.set_vlan_id_lan3(sent.vlan_id_lan3());
                ext.set_vlan_id_lan4(sent.vlan_id_lan4());
                d.info.set_extension(ext);
            }
            Reply(index, from, type, &ok, 1, nowMs, out);
            if (d.pending_address) {
                ApplyAddress(index, *d.pending_address);
                StartReboot(index, nowMs);
            } else if (addressFollows) {
                d.awaiting_address_until = nowMs + timing_.address_wait_ms;
                Schedule(d.awaiting_address_until, index, d.reboot_epoch, TimerKind::AddressWait);
            } else {
                StartReboot(index, nowMs);
            }
            break;
        }
        case MsgType::Heartbeat:  // the manager acknowledges our heartbeat
            break;
        case MsgType::UpgradeStart:
            HandleUpgradeStart(index, from, nowMs, out);
            break;
        case MsgType::Release:
            d.manager.reset();
            ++d.heartbeat_epoch;
            break;
        case MsgType::SetTransparentBridge: {
            ExtensionBlock ext = d.info.extension();
            ext.set_bridge_transparent(ExtensionBlock(p, len).bridge_transparent());
            d.info.set_extension(ext);
            Reply(index, from, type, nullptr, 0, nowMs, out);
            break;
        }
        case MsgType::SetPxsync: {
            ExtensionBlock ext = d.info.extension();
            ext.set_tdmaEn(ExtensionBlock(p, len).tdmaEn());
            d.info.set_extension(ext);
            Reply(index, from, type, nullptr, 0, nowMs, out);
            break;
        }
        default:
            break;
    }
}

void Simulator::SendNeighbourReports(size_t index, const Ipv4Bytes& to, int64_t nowMs,
                                     std::vector<Outgoing>& out) {
    const SimDevice& self = devices_[index];
    std::vector<size_t> aps;
    for (size_t i = 0; i < devices_.size(); ++i) {
        if (i != index && devices_[i].info.work_mode() == kModeAp) aps.push_back(i);
    }
    const size_t wanted = static_cast<size_t>(std::max(0, self.neighbours));
    std::vector<config_otherwl_basic> entries;
    // A window of the fleet's access points starting at a place of its own,
    // so neighbouring devices hear different but overlapping sets.
    size_t start = aps.empty() ? 0 : static_cast<size_t>(MacKey(self.mac.data()) % aps.size());
    for (size_t k = 0; k < aps.size() && entries.size() < wanted; ++k) {
        size_t j = aps[(start + k) % aps.size()];
        const SimDevice& ap = devices_[j];
        WirelessBlock radio = ap.info.wireless();
        config_otherwl_basic e;
        e.set_mac(ap.mac);
        SplitMix64 r(MacKey(self.mac.data()) ^ (MacKey(ap.mac.data()) << 1));
        e.set_signal(static_cast<int8_t>(-35 - r.Between(0, 54)));
        e.set_channel(radio.channel());
        e.set_secure_mode(ScanSecurityCode(radio.security()));
        e.set_ssid(radio.ssid());
        e.set_exchannel(radio.expand_channel());
        e.set_bandwidth(radio.bandwidth());
        entries.push_back(e);
    }
    for (size_t k = 0; entries.size() < wanted && k < strangers_.size(); ++k) {
        entries.push_back(strangers_[k]);
    }
    const size_t perPacket = kMaxNeighboursPerReport;
    size_t packets = std::max<size_t>(1, (entries.size() + perPacket - 1) / perPacket);
    packets = std::min<size_t>(packets, 255);
    for (size_t id = 0; id < packets; ++id) {
        size_t first = id * perPacket;
        size_t last = std::min(entries.size(), first + perPacket);
        std::vector<config_otherwl_basic> slice;
        if (first < last)
            slice.assign(entries.begin() + static_cast<std::ptrdiff_t>(first),
                         entries.begin() + static_cast<std::ptrdiff_t>(last));
        std::vector<uint8_t> payload = BuildNeighbourReportPayload(static_cast<uint8_t>(packets),
                                                                   static_cast<uint8_t>(id), slice);
        Reply(index, to, ToCode(MsgType::ScanNeighbours), payload.data(), payload.size(), nowMs,
              out);
    }
}

void Simulator::SendHeartbeat(size_t index, int64_t nowMs, std::vector<Outgoing>& out) {
    SimDevice& d = devices_[index];
    HeartbeatBlock hb;
    hb.set_version(d.info.version());
    hb.set_up_time(Uptime(index, nowMs));
    Send(index, kPortHeartbeat, *d.manager, kPortHeartbeat, ToCode(MsgType::Heartbeat), hb.data(),
         hb.size(), nowMs, out);
    ++d.heartbeats;
}

void Simulator::Advance(int64_t nowMs, std::vector<Outgoing>& out) {
    while (!timers_.empty() && timers_.top().due <= nowMs) {
        Timer t = timers_.top();
        timers_.pop();
        SimDevice& d = devices_[t.device];
        switch (t.kind) {
            case TimerKind::Heartbeat:
                if (t.epoch != d.heartbeat_epoch || !d.manager || d.run != RunState::Running) break;
                SendHeartbeat(t.device, nowMs, out);
                {
                    int64_t next = t.due + timing_.heartbeat_ms;
                    if (next <= nowMs) next = nowMs + timing_.heartbeat_ms;
                    Schedule(next, t.device, t.epoch, TimerKind::Heartbeat);
                }
                break;
            case TimerKind::RebootEnd:
                if (t.epoch != d.reboot_epoch || d.run != RunState::Rebooting) break;
                d.run = RunState::Running;
                d.boot_ms = t.due;
                d.uptime_base = 0;
                break;
            case TimerKind::AddressWait:
                // The promised address never came: restart with the VLAN alone.
                if (t.epoch != d.reboot_epoch || d.awaiting_address_until != t.due ||
                    d.run != RunState::Running) {
                    break;
                }
                StartReboot(t.device, nowMs);
                break;
            case TimerKind::FetchDeadline:
                // The fetcher never said how the fetch ended: give it up.
                if (t.epoch != d.upgrade.epoch || d.upgrade.phase != UpgradePhase::Fetching) break;
                if (fetcher_ != nullptr) fetcher_->Cancel(d.upgrade.fetch_id);
                FinishFetch(t.device, 0, "timeout", nowMs, out);
                break;
            case TimerKind::FlashEnd:
                if (t.epoch != d.upgrade.epoch || d.upgrade.phase != UpgradePhase::Flashing) break;
                EndFlash(t.device, nowMs, out);
                break;
        }
    }
}

bool IsFleetSettingKey(std::string_view key) {
    static constexpr std::string_view kKeys[] = {"loss",
                                                 "loss-rx",
                                                 "loss-tx",
                                                 "duplicate",
                                                 "delay",
                                                 "jitter",
                                                 "heartbeat",
                                                 "reboot-time",
                                                 "address-wait",
                                                 "upgrade-time",
                                                 "upgrade-reboot-time",
                                                 "fetch-timeout",
                                                 "tftp-port",
                                                 "tftp-blksize"};
    return std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

bool ApplyFleetSetting(std::string_view key, std::string_view value, SimTiming& timing,
                       GlobalFaults& faults, std::string& err) {
    auto probability = [&](double& target) {
        auto p = ParseProbability(value);
        if (!p) {
            err = std::string(key) + " takes a probability such as 0.3 or 30%, not '" +
                  std::string(value) + "'";
            return false;
        }
        target = *p;
        return true;
    };
    auto duration = [&](int64_t& target, bool allowZero) {
        auto ms = ParseDurationMs(value);
        if (!ms || (!allowZero && *ms == 0)) {
            err = std::string(key) + " takes a duration such as 250ms or 10s, not '" +
                  std::string(value) + "'";
            return false;
        }
        target = *ms;
        return true;
    };
    if (key == "loss") {
        if (!probability(faults.loss_rx)) return false;
        faults.loss_tx = faults.loss_rx;
        return true;
    }
    if (key == "loss-rx") return probability(faults.loss_rx);
    if (key == "loss-tx") return probability(faults.loss_tx);
    if (key == "duplicate") return probability(faults.duplicate);
    if (key == "delay") return duration(faults.delay_ms, true);
    if (key == "jitter") return duration(faults.jitter_ms, true);
    if (key == "heartbeat") return duration(timing.heartbeat_ms, false);
    if (key == "reboot-time") return duration(timing.reboot_ms, true);
    if (key == "address-wait") return duration(timing.address_wait_ms, true);
    if (key == "upgrade-time") return duration(timing.upgrade_ms, true);
    if (key == "upgrade-reboot-time") return duration(timing.upgrade_reboot_ms, true);
    if (key == "fetch-timeout") return duration(timing.fetch_timeout_ms, false);
    // TFTP allows blocks of 8 to 65464 bytes (RFC 2348).
    auto number = [&](uint16_t& target, long long lo, long long hi) {
        auto v = ParseInteger(value, lo, hi);
        if (!v) {
            err = std::string(key) + " takes a whole number " + std::to_string(lo) + ".." +
                  std::to_string(hi) + ", not '" + std::string(value) + "'";
            return false;
        }
        target = static_cast<uint16_t>(*v);
        return true;
    };
    if (key == "tftp-port") return number(timing.tftp_port, 1, 65535);
    if (key == "tftp-blksize") return number(timing.tftp_block_size, 8, 65464);
    err = "unknown setting '" + std::string(key) +
          "' (loss, loss-rx, loss-tx, duplicate, delay, jitter, heartbeat, reboot-time, "
          "address-wait, upgrade-time, upgrade-reboot-time, fetch-timeout, tftp-port, "
          "tftp-blksize)";
    return false;
}

bool Simulator::SetGlobal(std::string_view key, std::string_view value, std::string& err) {
    return ApplyFleetSetting(key, value, timing_, faults_, err);
}

bool Simulator::SetDeviceFaults(std::string_view line, std::string& err) {
    std::vector<std::string> words;
    if (!SplitWords(line, words, err)) return false;
    if (words.size() < 2) {
        err = "expected: SELECTOR key=value ...";
        return false;
    }
    std::vector<int> selected;
    auto byMac = [this](const MacBytes& mac) { return FindByMac(mac); };
    if (!ParseSelector(words[0], static_cast<int>(devices_.size()), byMac, selected, err))
        return false;
    // Check everything before changing anything, so a bad line changes nothing.
    std::vector<DeviceFaults> updated;
    for (int index : selected) {
        DeviceFaults f = devices_[static_cast<size_t>(index)].faults;
        for (size_t i = 1; i < words.size(); ++i) {
            size_t eq = words[i].find('=');
            if (eq == std::string::npos) {
                err = "'" + words[i] + "' is not key=value";
                return false;
            }
            if (!ApplyFaultSetting(f, index, static_cast<int>(devices_.size()),
                                   std::string_view(words[i]).substr(0, eq),
                                   std::string_view(words[i]).substr(eq + 1), err)) {
                return false;
            }
        }
        updated.push_back(f);
    }
    for (size_t k = 0; k < selected.size(); ++k) {
        devices_[static_cast<size_t>(selected[k])].faults = updated[k];
    }
    return true;
}

std::string Simulator::StatsJson() const {
    size_t rebooting = 0, managed = 0;
    for (const SimDevice& d : devices_) {
        if (d.run == RunState::Rebooting) ++rebooting;
        if (d.manager) ++managed;
    }
    JsonWriter w;
    w.BeginObject();
    w.Key("devices").Int(static_cast<long long>(devices_.size()));
    w.Key("rebooting").Int(static_cast<long long>(rebooting));
    w.Key("managed").Int(static_cast<long long>(managed));
    w.Key("rx").Int(static_cast<long long>(stats_.rx));
    w.Key("rx_ignored").Int(static_cast<long long>(stats_.rx_ignored));
    w.Key("rx_lost").Int(static_cast<long long>(stats_.rx_lost));
    w.Key("searches").Int(static_cast<long long>(stats_.searches));
    w.Key("commands").Int(static_cast<long long>(stats_.commands));
    w.Key("tx").Int(static_cast<long long>(stats_.tx));
    w.Key("tx_lost").Int(static_cast<long long>(stats_.tx_lost));
    w.Key("tx_duplicated").Int(static_cast<long long>(stats_.tx_duplicated));
    w.Key("fetches").Int(static_cast<long long>(stats_.fetches));
    w.Key("fetch_failures").Int(static_cast<long long>(stats_.fetch_failures));
    w.Key("upgrades").Int(static_cast<long long>(stats_.upgrades));
    w.Key("upgrade_failures").Int(static_cast<long long>(stats_.upgrade_failures));
    w.EndObject();
    return w.Take();
}

std::string Simulator::DumpJson(int64_t nowMs) const {
    JsonWriter w;
    w.BeginObject();
    w.Key("format").String("kestrix-devsim-dump/1");
    w.Key("time_ms").Int(nowMs);
    w.Key("timing").BeginObject();
    w.Key("heartbeat_ms").Int(timing_.heartbeat_ms);
    w.Key("reboot_ms").Int(timing_.reboot_ms);
    w.Key("address_wait_ms").Int(timing_.address_wait_ms);
    w.Key("upgrade_ms").Int(timing_.upgrade_ms);
    w.Key("upgrade_reboot_ms").Int(timing_.upgrade_reboot_ms);
    w.Key("fetch_timeout_ms").Int(timing_.fetch_timeout_ms);
    w.Key("tftp_port").Int(timing_.tftp_port);
    w.Key("tftp_blksize").Int(timing_.tftp_block_size);
    w.EndObject();
    w.Key("faults").BeginObject();
    w.Key("loss_rx").Number(faults_.loss_rx);
    w.Key("loss_tx").Number(faults_.loss_tx);
    w.Key("duplicate").Number(faults_.duplicate);
    w.Key("delay_ms").Int(faults_.delay_ms);
    w.Key("jitter_ms").Int(faults_.jitter_ms);
    w.EndObject();
    w.Key("stats");
    std::string stats = StatsJson();
    // StatsJson is a complete object; splice it in as the value.
    std::string doc = w.Take();
    doc += stats;
    doc += ",\"devices\":[\n";
    for (size_t i = 0; i < devices_.size(); ++i) {
        const SimDevice& d = devices_[i];
        DeviceInfoBlock info = CurrentInfo(i, nowMs);
        WirelessBlock radio = info.wireless();
        BridgeBlock bridge = info.bridge();
        VlanBlock vlan = info.vlan();
        ExtensionBlock ext = info.extension();
        RebootScheduleBlock reboot = info.reboot_schedule();
        JsonWriter dw;
        dw.BeginObject();
        dw.Key("index").Int(static_cast<long long>(i));
        dw.Key("mac").String(MacBytesToText(d.mac));
        dw.Key("ip").String(IpBytesToText(AnswerAddress(i)));
        dw.Key("own_ip").String(IpBytesToText(d.info.address().ip()));
        dw.Key("type").Int(d.type);
        dw.Key("state").String(d.run == RunState::Running ? "running" : "rebooting");
        dw.Key("up_time").Int(Uptime(i, nowMs));
        dw.Key("manager").String(d.manager ? IpBytesToText(*d.manager) : "");
        dw.Key("pending_ip")
            .String(d.pending_address ? IpBytesToText(d.pending_address->ip()) : "");
        dw.Key("awaiting_address").Bool(d.awaiting_address_until >= 0);
        dw.Key("work_mode").Int(info.work_mode());
        dw.Key("mode_btn_status").Int(info.mode_btn_status());
        dw.Key("name").String(info.ap_name());
        dw.Key("version").String(info.version());
        dw.Key("ssid").String(radio.ssid());
        dw.Key("channel").Int(radio.channel());
        dw.Key("bandwidth").Int(radio.bandwidth());
        dw.Key("secure_mode").Int(radio.security().secure_mode());
        dw.Key("tx_power").Int(radio.tx_power());
        dw.Key("bridge_mac").String(MacBytesToText(bridge.bridge_mac()));
        dw.Key("bridge_ssid").String(bridge.bridge_ssid());
        dw.Key("bridge_channel").Int(bridge.bridge_channel());
        dw.Key("bridge_transparent").Int(ext.bridge_transparent());
        dw.Key("pxsync").Int(ext.tdmaEn());
        dw.Key("vlan_en").Int(vlan.vlan_en());
        dw.Key("vlan_id").Int(vlan.vlan_id());
        dw.Key("vlan_id_wlan").Int(vlan.vlan_id_wlan());
        dw.Key("vlan_id_lan").Int(vlan.vlan_id_lan());
        dw.Key("vlan_pvid").Int(ext.vlan_pvid());
        dw.Key("wl_dfs").Int(ext.wl_dfs());
        dw.Key("restart_en").Int(reboot.restart_en());
        dw.Key("restart_type").Int(reboot.restart_type());
        dw.Key("restart_time").Int(reboot.restart_time());
        dw.Key("neighbours").Int(d.neighbours);
        dw.Key("announces").Int(d.announces);
        dw.Key("heartbeats").Int(d.heartbeats);
        dw.Key("commands").Int(d.commands);
        dw.Key("last_command").Int(d.last_command);
        dw.Key("reboots").Int(d.reboots);
        dw.Key("restores").Int(d.restores);
        dw.Key("mute_info").Bool(d.faults.mute_info);
        dw.Key("bridge_fail").Bool(d.faults.bridge_fail);
        dw.Key("bridge_result").Int(d.faults.bridge_result);
        dw.Key("claim").Int(d.faults.claim);
        dw.Key("upgrade_fail").Bool(d.faults.upgrade_fail);
        dw.Key("upgrade_version").String(d.faults.upgrade_version);
        dw.Key("upgrade");
        WriteUpgradeJson(dw, d.upgrade);
        dw.Key("info").Hex(info.data(), info.size());
        dw.EndObject();
        if (i > 0) doc += ",\n";
        doc += dw.str();
    }
    doc += "\n]}\n";
    return doc;
}

}  // namespace kestrix::devsim
