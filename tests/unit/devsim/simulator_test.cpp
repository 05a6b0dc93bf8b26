// The devices' behaviour, driven datagram by datagram with a test clock.

#include "tools/devsim/simulator.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/byte_io.h"

namespace kestrix::devsim {
namespace {

const Ipv4Bytes kTool{198, 18, 0, 1};
constexpr uint16_t kToolCommandPort = kPortHeartbeat;

class SimulatorTest : public ::testing::Test {
protected:
    void Make(int devices, std::vector<std::string> settings = {}, SimTiming timing = {},
              GlobalFaults faults = {}) {
        FleetConfig config;
        config.devices = devices;
        config.seed = 11;
        config.settings = std::move(settings);
        std::string err;
        ASSERT_TRUE(BuildFleet(config, specs_, err)) << err;
        sim_ = std::make_unique<Simulator>(specs_, timing, faults, 5, now_);
    }

    std::vector<Outgoing> Feed(uint16_t port, const std::vector<uint8_t>& bytes,
                               RxVerdict* verdict = nullptr) {
        std::vector<Outgoing> out;
        RxVerdict v = sim_->OnDatagram(port, kTool, port, bytes.data(), bytes.size(), now_, out);
        if (verdict != nullptr) *verdict = v;
        return out;
    }
    std::vector<Outgoing> Command(size_t device, MsgType type,
                                  const std::vector<uint8_t>& payload = {},
                                  RxVerdict* verdict = nullptr) {
        return Feed(kToolCommandPort,
                    BuildMessage(ToCode(type), sim_->device(device).mac, payload.data(),
                                 payload.size(), true),
                    verdict);
    }
    std::vector<Outgoing> Search() {
        return Feed(kPortSearch, BuildMessage(MsgType::Announce, "", nullptr, 0, false));
    }
    std::vector<Outgoing> Advance(int64_t ms) {
        now_ += ms;
        std::vector<Outgoing> out;
        sim_->Advance(now_, out);
        return out;
    }
    Ipv4Bytes Ip(size_t device) const { return sim_->AnswerAddress(device); }

    // A reply as the tool must see it: from the device's address and port
    // 9787 to the tool's port 9788, header of the device, type, length.
    void ExpectReply(const Outgoing& o, size_t device, MsgType type, size_t payloadLength,
                     std::optional<Ipv4Bytes> from = std::nullopt) {
        const SimDevice& d = sim_->device(device);
        EXPECT_EQ(o.src, from.value_or(Ip(device)));
        EXPECT_EQ(o.src_port, kPortHeartbeat);
        EXPECT_EQ(o.dst, kTool);
        EXPECT_EQ(o.dst_port, kPortReply);
        ASSERT_EQ(o.bytes.size(), kHeaderSize + payloadLength);
        MessageHeader h(o.bytes.data());
        EXPECT_EQ(h.magic(), kWireMagic);
        EXPECT_EQ(h.device_type(), d.type);
        EXPECT_EQ(h.type(), ToCode(type));
        EXPECT_EQ(h.multicast(), 0);
        EXPECT_EQ(h.mac(), d.mac);
        EXPECT_EQ(h.length(), payloadLength);
    }
    DeviceInfoBlock AskInfo(size_t device) {
        auto out = Command(device, MsgType::DeviceInfo);
        EXPECT_EQ(out.size(), 1u);
        if (out.empty()) return {};
        ExpectReply(out[0], device, MsgType::DeviceInfo, DeviceInfoBlock::kSize);
        return DeviceInfoBlock(out[0].bytes.data() + kHeaderSize);
    }

    int64_t now_ = 1'000'000;
    std::vector<DeviceSpec> specs_;
    std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorTest, SearchIsAnsweredByEveryDeviceWithItsAnnounceBlock) {
    Make(30);
    now_ += 7000;
    auto out = Search();
    ASSERT_EQ(out.size(), 30u);
    for (size_t i = 0; i < out.size(); ++i) {
        const Outgoing& o = out[i];
        const DeviceSpec& spec = specs_[i];
        EXPECT_EQ(o.src, spec.ip());
        EXPECT_EQ(o.src_port, kPortSearch);
        EXPECT_EQ(o.dst, kTool);
        EXPECT_EQ(o.dst_port, kPortAnnounce);
        ASSERT_EQ(o.bytes.size(), kHeaderSize + AnnounceBlock::kSize);
        MessageHeader h(o.bytes.data());
        EXPECT_EQ(h.type(), ToCode(MsgType::Announce));
        EXPECT_EQ(h.device_type(), spec.type);
        EXPECT_EQ(h.mac(), spec.mac);
        EXPECT_EQ(h.length(), AnnounceBlock::kSize);
        AnnounceBlock a(o.bytes.data() + kHeaderSize);
        WirelessBlock radio = spec.info.wireless();
        EXPECT_EQ(a.version(), spec.info.version());
        EXPECT_EQ(a.work_mode(), spec.info.work_mode());
        EXPECT_EQ(a.mode_btn_status(), spec.info.mode_btn_status());
        EXPECT_EQ(a.up_time(), spec.uptime + 7);
        EXPECT_EQ(a.ap_name(), spec.info.ap_name());
        EXPECT_EQ(a.ssid(), radio.ssid());
        EXPECT_EQ(a.channel(), radio.channel());
        EXPECT_EQ(a.bridge_transparent(), spec.info.extension().bridge_transparent());
        EXPECT_EQ(a.pxsync(), spec.info.extension().tdmaEn());
        // Reserved bytes stay zero.
        EXPECT_EQ(a.data()[35], 0);
        EXPECT_EQ(a.data()[109] | a.data()[110] | a.data()[111], 0);
    }
}

TEST_F(SimulatorTest, SearchForOneMacIsAnsweredByThatDeviceOnly) {
    Make(10);
    auto out = Feed(kPortSearch,
                    BuildMessage(ToCode(MsgType::Announce), specs_[4].mac, nullptr, 0, false));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].device, 4);
    RxVerdict v;
    out = Feed(kPortSearch, BuildMessage(MsgType::Announce, "02:00:00:00:00:01", nullptr, 0, false),
               &v);
    EXPECT_TRUE(out.empty());
    EXPECT_STREQ(v.reason, "foreign-mac");
}

TEST_F(SimulatorTest, AcknowledgementStartsHeartbeatsToTheManagerUntilRelease) {
    SimTiming t;
    t.heartbeat_ms = 10000;
    Make(3, {}, t);
    auto out = Command(1, MsgType::Announce);
    EXPECT_TRUE(out.empty()) << "an acknowledgement is not answered";
    EXPECT_EQ(sim_->device(1).manager, kTool);
    EXPECT_TRUE(Advance(9999).empty());
    out = Advance(1);
    ASSERT_EQ(out.size(), 1u);
    const Outgoing& hb = out[0];
    EXPECT_EQ(hb.src, Ip(1));
    EXPECT_EQ(hb.dst, kTool);
    EXPECT_EQ(hb.dst_port, kPortHeartbeat);
    ASSERT_EQ(hb.bytes.size(), kHeaderSize + HeartbeatBlock::kSize);
    MessageHeader h(hb.bytes.data());
    EXPECT_EQ(h.type(), ToCode(MsgType::Heartbeat));
    EXPECT_EQ(h.mac(), specs_[1].mac);
    HeartbeatBlock block(hb.bytes.data() + kHeaderSize);
    EXPECT_EQ(block.version(), specs_[1].info.version());
    EXPECT_EQ(block.up_time(), specs_[1].uptime + 10);
    // The tool's acknowledgement of a heartbeat changes nothing.
    EXPECT_TRUE(Command(1, MsgType::Heartbeat).empty());
    out = Advance(10000);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(HeartbeatBlock(out[0].bytes.data() + kHeaderSize).up_time(), specs_[1].uptime + 20);
    EXPECT_TRUE(Command(1, MsgType::Release).empty());
    EXPECT_FALSE(sim_->device(1).manager.has_value());
    EXPECT_TRUE(Advance(30000).empty());
    EXPECT_EQ(sim_->device(1).heartbeats, 2u);
}

TEST_F(SimulatorTest, RepeatedAcknowledgementsDoNotHoldHeartbeatsBack) {
    SimTiming t;
    t.heartbeat_ms = 10000;
    Make(1, {}, t);
    Command(0, MsgType::Announce);
    // The tool searches every three seconds and acknowledges every answer.
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Advance(3000).empty());
        Command(0, MsgType::Announce);
    }
    EXPECT_EQ(Advance(1000).size(), 1u) << "the first heartbeat is due 10 s after the first ack";
    // A different manager takes over and the clock starts again for it.
    const Ipv4Bytes other{198, 18, 0, 99};
    auto ack = BuildMessage(ToCode(MsgType::Announce), specs_[0].mac, nullptr, 0, true);
    std::vector<Outgoing> out;
    sim_->OnDatagram(kPortHeartbeat, other, kPortHeartbeat, ack.data(), ack.size(), now_, out);
    EXPECT_TRUE(Advance(9999).empty());
    out = Advance(1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].dst, other);
}

TEST_F(SimulatorTest, DeviceInfoCarriesTheFullInformationWithTheCurrentUptime) {
    Make(4);
    now_ += 65000;
    DeviceInfoBlock info = AskInfo(2);
    DeviceInfoBlock expected = specs_[2].info;
    expected.set_up_time(specs_[2].uptime + 65);
    EXPECT_TRUE(info == expected);
    EXPECT_EQ(info.address().ip(), specs_[2].ip());
}

TEST_F(SimulatorTest, SettingsCommandsChangeTheDeviceAndAreAnsweredWithTheirType) {
    Make(4);
    // SetName: a Chinese name filling all 32 bytes.
    const std::string name = "北京基站上海仓库杭州07";
    ASSERT_EQ(name.size(), 32u);
    NameBlock nb;
    nb.set_ap_name(name);
    auto out = Command(1, MsgType::SetName, nb.ToVector());
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::SetName, 0);
    EXPECT_EQ(AskInfo(1).ap_name(), name);

    // SetWireless with the DFS extension: the block is replaced, DFS taken.
    WirelessBlock w = specs_[1].info.wireless();
    w.set_ssid("新的网络");
    w.set_channel(149);
    w.set_tx_power(17);
    std::vector<uint8_t> payload = w.ToVector();
    ExtensionBlock dfs;
    dfs.set_wl_dfs(1);
    dfs.set_bridge_transparent(1);  // only DFS is read from this block
    auto extBytes = dfs.ToVector();
    payload.insert(payload.end(), extBytes.begin(), extBytes.end());
    uint8_t transparentBefore = specs_[1].info.extension().bridge_transparent();
    out = Command(1, MsgType::SetWireless, payload);
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::SetWireless, 0);
    DeviceInfoBlock info = AskInfo(1);
    EXPECT_TRUE(info.wireless() == w);
    EXPECT_EQ(info.extension().wl_dfs(), 1);
    EXPECT_EQ(info.extension().bridge_transparent(), transparentBefore);

    // SetTimedReboot replaces its block.
    RebootScheduleBlock rs;
    rs.set_restart_en(1);
    rs.set_restart_type(0x22);
    rs.set_restart_time(210);
    out = Command(1, MsgType::SetTimedReboot, rs.ToVector());
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::SetTimedReboot, 0);
    EXPECT_TRUE(AskInfo(1).reboot_schedule() == rs);

    // The switches set their byte and nothing else.
    ExtensionBlock before = AskInfo(1).extension();
    out = Command(1, MsgType::SetTransparentBridge, ExtensionBlock().ToVector());
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::SetTransparentBridge, 0);
    ExtensionBlock on;
    on.set_tdmaEn(1);
    out = Command(1, MsgType::SetPxsync, on.ToVector());
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::SetPxsync, 0);
    ExtensionBlock after = AskInfo(1).extension();
    EXPECT_EQ(after.bridge_transparent(), 0);
    EXPECT_EQ(after.tdmaEn(), 1);
    EXPECT_EQ(after.vlan_pvid(), before.vlan_pvid());
    EXPECT_EQ(after.wl_dfs(), before.wl_dfs());

    // Another device saw none of it.
    DeviceInfoBlock other = AskInfo(2);
    other.set_up_time(0);  // the factory block carries no uptime
    EXPECT_TRUE(other == specs_[2].info);
}

TEST_F(SimulatorTest, SetAddressWithApplyMovesAtOnceAndAnswersFromTheNewAddress) {
    Make(3);
    AddressBlock a = specs_[0].info.address();
    a.set_ip({198, 18, 7, 7});
    a.set_apply(1);
    auto out = Command(0, MsgType::SetAddress, a.ToVector());
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 0, MsgType::SetAddress, 0, Ipv4Bytes{198, 18, 7, 7});
    out = Search();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].src, (Ipv4Bytes{198, 18, 7, 7}));
    EXPECT_EQ(AskInfo(0).address().ip(), (Ipv4Bytes{198, 18, 7, 7}));
    EXPECT_EQ(AskInfo(0).address().apply(), 0);
    // A retransmission finds it already there and is answered again.
    out = Command(0, MsgType::SetAddress, a.ToVector());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].src, (Ipv4Bytes{198, 18, 7, 7}));
}

TEST_F(SimulatorTest, AddressAndVlanOfOneSaveMoveTheDeviceAfterItsRestartInEitherOrder) {
    SimTiming t;
    t.reboot_ms = 30000;
    for (bool vlanFirst : {false, true}) {
        SCOPED_TRACE(vlanFirst ? "SetVlan first" : "SetAddress first");
        Make(2, {}, t);
        const Ipv4Bytes oldIp = specs_[1].ip();
        AddressBlock a = specs_[1].info.address();
        a.set_ip({198, 18, 4, 4});
        a.set_apply(0);
        VlanBlock v;
        v.set_vlan_en(1);
        v.set_vlan_id(100);
        v.set_vlan_id_wlan(200);
        v.set_address_follows(1);
        std::vector<Outgoing> addrOut, vlanOut;
        if (vlanFirst) {
            vlanOut = Command(1, MsgType::SetVlan, v.ToVector());
            EXPECT_EQ(sim_->device(1).run, RunState::Running) << "waits for the address";
            addrOut = Command(1, MsgType::SetAddress, a.ToVector());
        } else {
            addrOut = Command(1, MsgType::SetAddress, a.ToVector());
            EXPECT_EQ(AskInfo(1).address().ip(), oldIp) << "apply byte 0 waits for SetVlan";
            vlanOut = Command(1, MsgType::SetVlan, v.ToVector());
        }
        ASSERT_EQ(addrOut.size(), 1u);
        ExpectReply(addrOut[0], 1, MsgType::SetAddress, 0, oldIp);
        ASSERT_EQ(vlanOut.size(), 1u);
        ExpectReply(vlanOut[0], 1, MsgType::SetVlan, 1, oldIp);
        EXPECT_EQ(vlanOut[0].bytes[kHeaderSize], 0) << "result byte";
        EXPECT_EQ(sim_->device(1).run, RunState::Rebooting);
        EXPECT_EQ(Search().size(), 1u) << "silent while restarting";
        Advance(30000);
        EXPECT_EQ(sim_->device(1).run, RunState::Running);
        DeviceInfoBlock info = AskInfo(1);
        EXPECT_EQ(info.address().ip(), (Ipv4Bytes{198, 18, 4, 4}));
        EXPECT_EQ(info.vlan().vlan_id(), 100);
        EXPECT_EQ(info.vlan().address_follows(), 0);
        EXPECT_EQ(info.up_time(), 0u) << "uptime restarts";
    }
}

TEST_F(SimulatorTest, VlanThatAnnouncesAnAddressRestartsWithoutItWhenNoneComes) {
    SimTiming t;
    t.address_wait_ms = 5000;
    t.reboot_ms = 1000;
    Make(1, {}, t);
    VlanBlock v;
    v.set_vlan_en(1);
    v.set_vlan_id(9);
    v.set_address_follows(1);
    ASSERT_EQ(Command(0, MsgType::SetVlan, v.ToVector()).size(), 1u);
    Advance(4999);
    EXPECT_EQ(sim_->device(0).run, RunState::Running);
    Advance(1);
    EXPECT_EQ(sim_->device(0).run, RunState::Rebooting);
    Advance(1000);
    EXPECT_EQ(AskInfo(0).address().ip(), specs_[0].ip());
    EXPECT_EQ(AskInfo(0).vlan().vlan_id(), 9);
}

TEST_F(SimulatorTest, VlanExtensionTakesOnlyTheVlanNumbers) {
    Make(1, {"0 type=268 transparent=1 pxsync=1"});
    VlanBlock v;
    v.set_vlan_en(1);
    v.set_vlan_id(10);
    ExtensionBlock e;  // switches and DFS zero, as the VLAN page sends them
    e.set_vlan_pvid(300);
    e.set_vlan_id_lan3(301);
    e.set_vlan_id_lan4(302);
    std::vector<uint8_t> payload = v.ToVector();
    auto eb = e.ToVector();
    payload.insert(payload.end(), eb.begin(), eb.end());
    ASSERT_EQ(Command(0, MsgType::SetVlan, payload).size(), 1u);
    Advance(sim_->timing().reboot_ms);
    ExtensionBlock after = AskInfo(0).extension();
    EXPECT_EQ(after.vlan_pvid(), 300);
    EXPECT_EQ(after.vlan_id_lan3(), 301);
    EXPECT_EQ(after.vlan_id_lan4(), 302);
    EXPECT_EQ(after.bridge_transparent(), 1);
    EXPECT_EQ(after.tdmaEn(), 1);
}

TEST_F(SimulatorTest, RebootSilencesTheDeviceForTheRebootTimeThenUptimeRestarts) {
    SimTiming t;
    t.reboot_ms = 20000;
    t.heartbeat_ms = 3000;
    Make(2, {}, t);
    Command(0, MsgType::Announce);
    auto out = Command(0, MsgType::Reboot);
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 0, MsgType::Reboot, 1);
    EXPECT_EQ(out[0].bytes[kHeaderSize], 0);
    RxVerdict v;
    EXPECT_TRUE(Command(0, MsgType::DeviceInfo, {}, &v).empty());
    EXPECT_STREQ(v.reason, "rebooting");
    EXPECT_TRUE(Advance(19999).empty()) << "no heartbeat while restarting";
    EXPECT_TRUE(Command(0, MsgType::DeviceInfo).empty());
    Advance(1);
    now_ += 4000;
    EXPECT_EQ(AskInfo(0).up_time(), 4u);
    // The restart forgot the manager: no heartbeats until acknowledged again.
    EXPECT_TRUE(Advance(10000).empty());
    EXPECT_EQ(sim_->device(0).reboots, 1u);
    EXPECT_EQ(sim_->device(1).run, RunState::Running);
}

TEST_F(SimulatorTest, RestoreReturnsEverySettingToTheFactory) {
    SimTiming t;
    t.reboot_ms = 1000;
    Make(2, {}, t);
    NameBlock nb;
    nb.set_ap_name("renamed");
    Command(1, MsgType::SetName, nb.ToVector());
    AddressBlock a = specs_[1].info.address();
    a.set_ip({198, 18, 50, 50});
    a.set_apply(1);
    Command(1, MsgType::SetAddress, a.ToVector());
    ASSERT_EQ(AskInfo(1).ap_name(), "renamed");
    auto out = Command(1, MsgType::Restore);
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 1, MsgType::Restore, 1, Ipv4Bytes{198, 18, 50, 50});
    EXPECT_EQ(out[0].bytes[kHeaderSize], 0);
    Advance(1000);
    DeviceInfoBlock info = AskInfo(1);
    info.set_up_time(0);
    DeviceInfoBlock factory = specs_[1].info;
    factory.set_up_time(0);
    EXPECT_TRUE(info == factory);
    EXPECT_EQ(sim_->device(1).restores, 1u);
}

TEST_F(SimulatorTest, SetBridgeMakesAStationOfTheDeviceOrFailsAsConfigured) {
    Make(6, {"0 mode=1", "2 mode=1 bridge-fail=1", "3 mode=1"});
    WirelessBlock apRadio = specs_[0].info.wireless();
    BridgeBlock b;
    b.set_bridge_work_mode(kModeStation);
    b.set_bridge_mac(specs_[0].mac);
    b.set_bridge_channel(apRadio.channel());
    b.set_bridge_ssid(apRadio.ssid());
    AddressBlock a = specs_[3].info.address();
    a.set_ip({198, 18, 3, 33});
    auto payload = BuildSetBridgePayload(b, a);
    auto out = Command(3, MsgType::SetBridge, payload);
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 3, MsgType::SetBridge, 1, specs_[3].ip());
    EXPECT_EQ(out[0].bytes[kHeaderSize], 0);
    DeviceInfoBlock info = AskInfo(3);
    EXPECT_EQ(info.work_mode(), kModeStation);
    EXPECT_EQ(info.bridge().bridge_mac(), specs_[0].mac);
    EXPECT_EQ(info.bridge().bridge_ssid(), apRadio.ssid());
    EXPECT_EQ(info.wireless().channel(), apRadio.channel());
    EXPECT_EQ(info.address().ip(), (Ipv4Bytes{198, 18, 3, 33}));

    out = Command(2, MsgType::SetBridge, payload);
    ASSERT_EQ(out.size(), 1u);
    ExpectReply(out[0], 2, MsgType::SetBridge, 1);
    EXPECT_NE(out[0].bytes[kHeaderSize], 0);
    DeviceInfoBlock unchanged = AskInfo(2);
    unchanged.set_up_time(0);
    EXPECT_TRUE(unchanged == specs_[2].info);
}

TEST_F(SimulatorTest, NeighbourScanReportsFleetAccessPointsInPacketsOfThirtyTwo) {
    Make(60, {"5 neighbours=40", "6 neighbours=0"});
    auto out = Command(5, MsgType::ScanNeighbours);
    ASSERT_EQ(out.size(), 2u);
    size_t total = 0;
    for (size_t id = 0; id < out.size(); ++id) {
        ExpectReply(out[id], 5, MsgType::ScanNeighbours, out[id].bytes.size() - kHeaderSize);
        const uint8_t* p = out[id].bytes.data() + kHeaderSize;
        EXPECT_EQ(p[0], 2) << "packet count";
        EXPECT_EQ(p[1], id) << "packet id";
        EXPECT_LE(p[2], kMaxNeighboursPerReport);
        NeighbourReport r = ParseNeighbourReport(p, out[id].bytes.size() - kHeaderSize);
        ASSERT_EQ(r.entries.size(), p[2]);
        for (const config_otherwl_basic& e : r.entries) {
            int ap = sim_->FindByMac(e.mac());
            if (ap < 0) continue;  // padding from outside the fleet
            EXPECT_NE(ap, 5);
            const DeviceInfoBlock& apInfo = sim_->device(static_cast<size_t>(ap)).info;
            EXPECT_EQ(apInfo.work_mode(), kModeAp);
            EXPECT_EQ(e.ssid(), apInfo.wireless().ssid());
            EXPECT_EQ(e.channel(), apInfo.wireless().channel());
            EXPECT_LT(e.signal(), 0);
        }
        total += r.entries.size();
    }
    EXPECT_EQ(total, 40u);
    EXPECT_EQ(out[0].bytes[kHeaderSize + 2], 32);

    out = Command(6, MsgType::ScanNeighbours);
    ASSERT_EQ(out.size(), 1u) << "an empty scan still ends with one packet";
    EXPECT_EQ(out[0].bytes[kHeaderSize + 0], 1);
    EXPECT_EQ(out[0].bytes[kHeaderSize + 2], 0);
}

TEST_F(SimulatorTest, MalformedAndForeignDatagramsAreIgnoredWithoutChange) {
    Make(3);
    const std::string before = sim_->DumpJson(now_);
    auto good = BuildMessage(ToCode(MsgType::DeviceInfo), specs_[1].mac, nullptr, 0, true);
    struct Case {
        const char* name;
        uint16_t port;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"15 bytes", kPortHeartbeat, {good.begin(), good.end() - 1}, "size"});
    {
        auto big = good;
        big.resize(1473);
        StoreU16(big.data() + 14, 1457);
        cases.push_back({"1473 bytes", kPortHeartbeat, big, "size"});
    }
    {
        auto bigEndian = good;
        bigEndian[0] = 0x19;
        bigEndian[1] = 0x86;
        cases.push_back({"big-endian magic", kPortHeartbeat, bigEndian, "magic"});
    }
    {
        auto lying = good;
        StoreU16(lying.data() + 14, 4);
        cases.push_back({"length field says more", kPortHeartbeat, lying, "length"});
    }
    for (uint16_t type : {0, 12, 14, 20, 300}) {
        cases.push_back(
            {"type", kPortHeartbeat, BuildMessage(type, specs_[1].mac, nullptr, 0, true), "type"});
    }
    cases.push_back({"another device's MAC", kPortHeartbeat,
                     BuildMessage(MsgType::DeviceInfo, "02:4b:58:ff:ff:ff", nullptr, 0, true),
                     "foreign-mac"});
    cases.push_back({"zero MAC", kPortHeartbeat,
                     BuildMessage(MsgType::Reboot, "", nullptr, 0, true), "zero-mac"});
    {
        NameBlock nb;
        nb.set_ap_name("short");
        auto bytes = nb.ToVector();
        bytes.pop_back();
        cases.push_back({"SetName of 32 bytes", kPortHeartbeat,
                         BuildMessage(ToCode(MsgType::SetName), specs_[1].mac, bytes.data(),
                                      bytes.size(), true),
                         "payload-size"});
        uint8_t junk = 1;
        cases.push_back({"Reboot with a payload", kPortHeartbeat,
                         BuildMessage(ToCode(MsgType::Reboot), specs_[1].mac, &junk, 1, true),
                         "payload-size"});
    }
    cases.push_back({"DeviceInfo on the search port", kPortSearch, good, "type"});
    cases.push_back({"search on another port", 9788,
                     BuildMessage(MsgType::Announce, "", nullptr, 0, false), "port"});
    for (const Case& k : cases) {
        RxVerdict v;
        auto out = Feed(k.port, k.bytes, &v);
        EXPECT_TRUE(out.empty()) << k.name;
        EXPECT_STREQ(v.what, "ignored") << k.name;
        EXPECT_STREQ(v.reason, k.reason) << k.name;
    }
    // Apart from the counters, nothing changed; the device still answers.
    std::string after = sim_->DumpJson(now_);
    EXPECT_EQ(before.substr(before.find("\"devices\":[")),
              after.substr(after.find("\"devices\":[")));
    EXPECT_EQ(sim_->stats().rx_ignored, cases.size());
    EXPECT_EQ(Command(1, MsgType::DeviceInfo).size(), 1u);
}

TEST_F(SimulatorTest, LossDelayAndDuplicateFaultsApplyToWhatTheDevicesSend) {
    GlobalFaults f;
    f.loss_tx = 1.0;
    Make(5, {}, {}, f);
    auto out = Search();
    ASSERT_EQ(out.size(), 5u);
    for (const Outgoing& o : out) EXPECT_TRUE(o.lost);

    f = {};
    f.duplicate = 1.0;
    f.delay_ms = 300;
    Make(5, {}, {}, f);
    out = Command(2, MsgType::DeviceInfo);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, out[1].bytes);
    EXPECT_FALSE(out[0].duplicate);
    EXPECT_TRUE(out[1].duplicate);
    EXPECT_EQ(out[0].due_ms, now_ + 300);

    f = {};
    f.loss_rx = 1.0;
    Make(5, {}, {}, f);
    RxVerdict v;
    EXPECT_TRUE(Command(2, MsgType::Reboot, {}, &v).empty());
    EXPECT_STREQ(v.what, "lost");
    EXPECT_EQ(sim_->device(2).run, RunState::Running) << "a lost command changes nothing";
    EXPECT_TRUE(Search().empty());

    // A partial loss rate loses about that share, the same way every run.
    f = {};
    f.loss_rx = 0.3;
    Make(1000, {}, {}, f);
    size_t answered = Search().size();
    EXPECT_GT(answered, 600u);
    EXPECT_LT(answered, 800u);
    Make(1000, {}, {}, f);
    EXPECT_EQ(Search().size(), answered);
}

TEST_F(SimulatorTest, MutedDeviceAnnouncesButNeverAnswersDeviceInfo) {
    Make(3, {"1 mute-info=1"});
    EXPECT_EQ(Search().size(), 3u);
    RxVerdict v;
    EXPECT_TRUE(Command(1, MsgType::DeviceInfo, {}, &v).empty());
    EXPECT_STREQ(v.reason, "mute-info");
    EXPECT_EQ(Command(1, MsgType::SetName, NameBlock().ToVector()).size(), 1u);
    EXPECT_EQ(Command(0, MsgType::DeviceInfo).size(), 1u);
}

TEST_F(SimulatorTest, ClaimingDeviceAnswersFromAndReportsAnotherDevicesAddress) {
    Make(4, {"3 claim=1"});
    auto out = Search();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].src, specs_[1].ip());
    EXPECT_EQ(MessageHeader(out[3].bytes.data()).mac(), specs_[3].mac);
    DeviceInfoBlock info = AskInfo(3);
    EXPECT_EQ(info.address().ip(), specs_[1].ip());
    // Cleared at run time, it is itself again.
    std::string err;
    ASSERT_TRUE(sim_->SetDeviceFaults("3 claim=none", err)) << err;
    EXPECT_EQ(AskInfo(3).address().ip(), specs_[3].ip());
}

TEST_F(SimulatorTest, RunTimeSettingsAreCheckedBeforeAnythingChanges) {
    Make(4);
    std::string err;
    EXPECT_FALSE(sim_->SetDeviceFaults("0-3 mute-info=1 claim=2", err))
        << "device 2 cannot claim itself";
    for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(sim_->device(i).faults.mute_info) << i;
    EXPECT_FALSE(sim_->SetDeviceFaults("1 name=x", err));
    EXPECT_NE(err.find("not a device fault"), std::string::npos) << err;
    ASSERT_TRUE(sim_->SetDeviceFaults("all bridge-fail=9", err)) << err;
    EXPECT_EQ(sim_->device(3).faults.bridge_result, 9);

    EXPECT_TRUE(sim_->SetGlobal("loss", "50%", err));
    EXPECT_DOUBLE_EQ(sim_->faults().loss_tx, 0.5);
    EXPECT_TRUE(sim_->SetGlobal("heartbeat", "250ms", err));
    EXPECT_EQ(sim_->timing().heartbeat_ms, 250);
    EXPECT_FALSE(sim_->SetGlobal("heartbeat", "0", err));
    EXPECT_FALSE(sim_->SetGlobal("delay", "soon", err));
    EXPECT_FALSE(sim_->SetGlobal("volume", "11", err));
    EXPECT_EQ(sim_->timing().heartbeat_ms, 250);
}

}  // namespace
}  // namespace kestrix::devsim
