// kestrix-devsim in the lab: a scripted tool in the host namespace sends what
// the real tool sends and checks every answer byte by byte against the
// simulator's own state dump; the faults behave as configured; malformed
// datagrams change nothing; a thousand devices all answer one search.

#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/byte_io.h"
#include "link/wire/wire_format.h"
#include "tests/support/labkit.h"

namespace kestrix {
namespace {

using namespace std::chrono_literals;
using labkit::Datagram;
using labkit::Lab;
using labkit::LabOptions;
using labkit::Peer;
using labkit::SimDevice;
using labkit::SimDump;

class DevsimLab : public ::testing::Test {
protected:
    static void TearDownTestSuite() { Lab().Down(); }

    void Up(LabOptions options) {
        std::string err;
        ASSERT_TRUE(lab_.Up(options, &err)) << err;
        peer_ = std::make_unique<Peer>();
        ASSERT_TRUE(peer_->ok()) << peer_->error();
    }
    SimDump Dump() {
        std::string err;
        auto dump = lab_.Dump(&err);
        EXPECT_TRUE(dump) << err;
        return dump ? *dump : SimDump{};
    }
    // Polls the dump until `pred` holds for device `index` (generous bound:
    // this waits for the simulator, it does not time it).
    bool WaitForDevice(int index, const std::function<bool(const SimDevice&)>& pred,
                       std::chrono::milliseconds bound = 15s) {
        auto deadline = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < deadline) {
            SimDump d = Dump();
            if (index < static_cast<int>(d.devices.size()) &&
                pred(d.devices[static_cast<size_t>(index)])) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::optional<Datagram> Ask(const SimDevice& d, MsgType type,
                                const std::vector<uint8_t>& payload = {},
                                std::chrono::milliseconds wait = 3s) {
        EXPECT_TRUE(peer_->SendCommand(type, d.mac, payload));
        auto match = [&](const Datagram& g) {
            return g.mac() == d.mac && g.type() == ToCode(type);
        };
        auto got = peer_->Collect(kPortReply, 1, wait, match);
        if (got.empty()) return std::nullopt;
        return got[0];
    }
    // Checks the whole header of a device's reply and where it came from.
    void ExpectReply(const Datagram& g, const SimDevice& d, MsgType type, size_t payloadLength,
                     const std::string& from = "") {
        EXPECT_EQ(g.port, kPortReply);
        EXPECT_EQ(g.from, from.empty() ? d.ip : from);
        EXPECT_EQ(g.from_port, kPortHeartbeat);
        ASSERT_EQ(g.bytes.size(), kHeaderSize + payloadLength);
        auto expected = BuildMessage(ToCode(type), MacTextToBytes(d.mac), g.payload(),
                                     payloadLength, false, d.type);
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + kHeaderSize, g.bytes.begin()))
            << "header of " << d.mac << " type " << ToCode(type);
    }
    // DeviceInfo answer equals the dump's bytes but for the uptime, which
    // may have moved on by a second or two since the dump.
    void ExpectInfoMatchesDump(const Datagram& g, const SimDevice& d) {
        ExpectReply(g, d, MsgType::DeviceInfo, DeviceInfoBlock::kSize);
        if (g.bytes.size() != kHeaderSize + DeviceInfoBlock::kSize) return;
        DeviceInfoBlock got(g.payload());
        uint32_t up = got.up_time();
        EXPECT_GE(up, d.up_time);
        EXPECT_LE(up, d.up_time + 5);
        DeviceInfoBlock expected = d.info;
        expected.set_up_time(up);
        EXPECT_TRUE(got == expected) << "information of " << d.mac << " differs from the dump";
    }
    bool WaitForTrace(const std::function<bool(const labkit::TraceLine&)>& pred,
                      std::chrono::milliseconds bound = 15s) {
        auto deadline = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < deadline) {
            for (const auto& t : lab_.Trace()) {
                if (pred(t)) return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::vector<labkit::TraceLine> RxLines(const std::string& mac) {
        std::vector<labkit::TraceLine> out;
        for (auto& t : lab_.Trace()) {
            if (t.kind == "rx" && t.Get("mac") == mac) out.push_back(t);
        }
        return out;
    }

    Lab lab_;
    std::unique_ptr<Peer> peer_;
};

TEST_F(DevsimLab, SearchIsAnsweredByEveryDeviceWithItsAnnounceBlock) {
    Up({.devices = 24, .trace = true, .sim_args = {"--seed", "4"}});
    SimDump before = Dump();
    ASSERT_EQ(before.devices.size(), 24u);
    ASSERT_TRUE(peer_->Search());
    auto got = peer_->Collect(kPortAnnounce, 24, 5s);
    ASSERT_EQ(got.size(), 24u);
    std::set<std::string> macs;
    for (const Datagram& g : got) {
        const SimDevice* d = before.ByMac(g.mac());
        ASSERT_NE(d, nullptr) << g.mac();
        macs.insert(g.mac());
        EXPECT_EQ(g.from, d->ip);
        EXPECT_EQ(g.from_port, kPortSearch);
        ASSERT_EQ(g.bytes.size(), kHeaderSize + AnnounceBlock::kSize);
        AnnounceBlock a(g.payload());
        // The whole block as the device's information says it must be.
        AnnounceBlock expected;
        WirelessBlock radio = d->info.wireless();
        expected.set_version(d->info.version());
        expected.set_work_mode(d->info.work_mode());
        expected.set_mode_btn_status(d->info.mode_btn_status());
        expected.set_up_time(a.up_time());
        expected.set_ap_name(d->info.ap_name());
        expected.set_ssid(radio.ssid());
        expected.set_channel(radio.channel());
        expected.set_bridge_transparent(d->info.extension().bridge_transparent());
        expected.set_pxsync(d->info.extension().tdmaEn());
        EXPECT_TRUE(a == expected) << d->mac;
        EXPECT_GE(a.up_time(), d->up_time);
        auto header = BuildMessage(ToCode(MsgType::Announce), MacTextToBytes(d->mac), nullptr, 0,
                                   false, d->type);
        StoreU16(header.data() + 14, AnnounceBlock::kSize);
        EXPECT_TRUE(std::equal(header.begin(), header.end(), g.bytes.begin()));
    }
    EXPECT_EQ(macs.size(), 24u);
    // A broadcast to every address reaches the fleet as well.
    ASSERT_TRUE(peer_->Search("255.255.255.255"));
    EXPECT_EQ(peer_->Collect(kPortAnnounce, 24, 5s).size(), 24u);
    auto rx = lab_.Trace();
    size_t searches = 0;
    for (auto& t : rx) searches += t.kind == "rx" && t.Get("what") == "search";
    EXPECT_EQ(searches, 2u);
}

TEST_F(DevsimLab, AcknowledgedDeviceSendsHeartbeatsToItsManagerUntilReleased) {
    Up({.devices = 6, .sim_args = {"--heartbeat", "300ms"}});
    SimDevice d = Dump().devices[2];
    ASSERT_TRUE(peer_->SendCommand(MsgType::Announce, d.mac));
    auto beats =
        peer_->Collect(kPortHeartbeat, 2, 5s, [&](const Datagram& g) { return g.mac() == d.mac; });
    ASSERT_EQ(beats.size(), 2u);
    for (const Datagram& g : beats) {
        EXPECT_EQ(g.from, d.ip);
        EXPECT_EQ(g.from_port, kPortHeartbeat);
        ASSERT_EQ(g.bytes.size(), kHeaderSize + HeartbeatBlock::kSize);
        MessageHeader h = g.header();
        EXPECT_EQ(h.type(), ToCode(MsgType::Heartbeat));
        EXPECT_EQ(h.device_type(), d.type);
        HeartbeatBlock hb(g.payload());
        EXPECT_EQ(hb.version(), d.version);
        EXPECT_GE(hb.up_time(), d.up_time);
    }
    EXPECT_EQ(Dump().devices[2].manager, labkit::kHostAddress);
    // No other device was acknowledged, none beats.
    EXPECT_EQ(Dump().stats["managed"].Int(), 1);
    ASSERT_TRUE(peer_->SendCommand(MsgType::Release, d.mac));
    ASSERT_TRUE(WaitForDevice(2, [](const SimDevice& s) { return s.manager.empty(); }));
    uint32_t sent = Dump().devices[2].heartbeats;
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(Dump().devices[2].heartbeats, sent) << "heartbeats after Release";
}

TEST_F(DevsimLab, EachCommandIsAnsweredAndChangesTheDeviceLikeARealOne) {
    Up({.devices = 30,
        .trace = true,
        .sim_args = {"--reboot-time", "1500ms", "--set", "3 mode=1 neighbours=40", "--set",
                     "5 type=268"}});
    SimDump dump = Dump();
    SimDevice d = dump.devices[5];

    // DeviceInfo: the full 756 bytes.
    auto g = Ask(d, MsgType::DeviceInfo);
    ASSERT_TRUE(g);
    ExpectInfoMatchesDump(*g, d);

    // SetName with a Chinese name of 32 bytes.
    NameBlock nb = BuildNamePayload("北京基站上海仓库杭州07");
    g = Ask(d, MsgType::SetName, nb.ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetName, 0);
    EXPECT_EQ(Dump().devices[5].name, "北京基站上海仓库杭州07");

    // SetWireless, SetTimedReboot and the switches replace what they carry.
    WirelessBlock w = d.info.wireless();
    w.set_ssid("园区无线-9");
    w.set_channel(44);
    g = Ask(d, MsgType::SetWireless, w.ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetWireless, 0);
    RebootScheduleBlock rs;
    rs.set_restart_en(1);
    rs.set_restart_type(0xFE);
    g = Ask(d, MsgType::SetTimedReboot, rs.ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetTimedReboot, 0);
    uint8_t transparent = d.info.extension().bridge_transparent() ? 0 : 1;
    g = Ask(d, MsgType::SetTransparentBridge,
            BuildTransparentBridgePayload(transparent).ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetTransparentBridge, 0);
    g = Ask(d, MsgType::SetPxsync, BuildPxsyncPayload(1).ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetPxsync, 0);
    SimDevice now = Dump().devices[5];
    EXPECT_TRUE(now.info.wireless() == w);
    EXPECT_TRUE(now.info.reboot_schedule() == rs);
    EXPECT_EQ(now.bridge_transparent, transparent);
    EXPECT_EQ(now.pxsync, 1);

    // ScanNeighbours: 40 access points in two packets of at most 32, as
    // they are now.
    SimDump current = Dump();
    SimDevice scanner = current.devices[3];
    ASSERT_TRUE(peer_->SendCommand(MsgType::ScanNeighbours, scanner.mac));
    auto reports = peer_->Collect(kPortReply, 2, 3s, [&](const Datagram& r) {
        return r.mac() == scanner.mac && r.type() == ToCode(MsgType::ScanNeighbours);
    });
    ASSERT_EQ(reports.size(), 2u);
    std::set<int> ids;
    size_t entries = 0;
    for (const Datagram& r : reports) {
        ExpectReply(r, scanner, MsgType::ScanNeighbours, r.payload_size());
        NeighbourReport report = ParseNeighbourReport(r.payload(), r.payload_size());
        EXPECT_EQ(report.packet_count, 2);
        ids.insert(report.packet_id);
        EXPECT_LE(report.icount, 32);
        entries += report.entries.size();
        for (const auto& e : report.entries) {
            const SimDevice* ap = current.ByMac(MacBytesToText(e.mac()));
            if (ap == nullptr) continue;
            EXPECT_EQ(ap->work_mode, 1);
            EXPECT_EQ(e.ssid(), ap->info.wireless().ssid());
        }
    }
    EXPECT_EQ(ids, (std::set<int>{0, 1}));
    EXPECT_EQ(entries, 40u);

    // SetBridge: a station of the access point it was given.
    BridgeBlock b;
    b.set_bridge_work_mode(2);
    b.set_bridge_mac(MacTextToBytes(scanner.mac));
    b.set_bridge_channel(static_cast<uint8_t>(scanner.channel));
    b.set_bridge_ssid(scanner.ssid);
    g = Ask(d, MsgType::SetBridge, BuildSetBridgePayload(b, d.info.address()));
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetBridge, 1);
    EXPECT_EQ(g->payload()[0], 0);
    now = Dump().devices[5];
    EXPECT_EQ(now.work_mode, 2);
    EXPECT_EQ(now.bridge_mac, scanner.mac);

    // SetAddress with apply byte 1 moves it at once; it answers from there.
    AddressBlock a = d.info.address();
    a.set_ip({198, 18, 9, 9});
    a.set_apply(1);
    g = Ask(d, MsgType::SetAddress, a.ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetAddress, 0, "198.18.9.9");
    EXPECT_EQ(Dump().devices[5].ip, "198.18.9.9");
    d = Dump().devices[5];
    g = Ask(d, MsgType::DeviceInfo);
    ASSERT_TRUE(g);
    ExpectInfoMatchesDump(*g, d);

    // Reboot: result 0, silence for the reboot time, then uptime from zero.
    g = Ask(d, MsgType::Reboot);
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::Reboot, 1);
    EXPECT_EQ(g->payload()[0], 0);
    ASSERT_EQ(Dump().devices[5].state, "rebooting");
    ASSERT_TRUE(peer_->SendCommand(MsgType::DeviceInfo, d.mac));
    ASSERT_TRUE(WaitForDevice(5, [](const SimDevice& s) { return s.state == "running"; }));
    bool ignoredWhileRebooting = false;
    for (auto& t : RxLines(d.mac)) ignoredWhileRebooting |= t.Get("reason") == "rebooting";
    EXPECT_TRUE(ignoredWhileRebooting);
    peer_->Drain();
    g = Ask(d, MsgType::DeviceInfo);
    ASSERT_TRUE(g);
    EXPECT_LE(DeviceInfoBlock(g->payload()).up_time(), 5u);
    EXPECT_EQ(Dump().devices[5].reboots, 1u);

    // Address and VLAN of one save, in the order the management page sends
    // them: the VLAN waits for the address, then it restarts and moves.
    d = Dump().devices[5];
    VlanBlock v;
    v.set_vlan_en(1);
    v.set_vlan_id(77);
    v.set_vlan_id_wlan(78);
    v.set_address_follows(1);
    ExtensionBlock ext = d.info.extension();
    ext.set_vlan_pvid(79);
    g = Ask(d, MsgType::SetVlan, BuildSetVlanPayload(v, ext, d.type));
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetVlan, 1);
    a.set_ip({198, 18, 9, 10});
    a.set_apply(0);
    g = Ask(d, MsgType::SetAddress, a.ToVector());
    ASSERT_TRUE(g);
    ExpectReply(*g, d, MsgType::SetAddress, 0, "198.18.9.9");
    ASSERT_TRUE(WaitForDevice(
        5, [](const SimDevice& s) { return s.state == "running" && s.reboots == 2; }));
    now = Dump().devices[5];
    EXPECT_EQ(now.ip, "198.18.9.10");
    EXPECT_EQ(now.info.vlan().vlan_id(), 77);
    EXPECT_EQ(now.info.extension().vlan_pvid(), 79);

    // Restore: back to the factory settings, after its restart.
    g = Ask(now, MsgType::Restore);
    ASSERT_TRUE(g);
    ExpectReply(*g, now, MsgType::Restore, 1);
    EXPECT_EQ(g->payload()[0], 0);
    ASSERT_TRUE(WaitForDevice(
        5, [](const SimDevice& s) { return s.state == "running" && s.restores == 1; }));
    SimDevice restored = Dump().devices[5];
    DeviceInfoBlock factory = dump.devices[5].info;
    factory.set_up_time(restored.info.up_time());
    EXPECT_TRUE(restored.info == factory);
    EXPECT_EQ(restored.ip, dump.devices[5].ip);

    // None of this touched the other devices.
    SimDump end = Dump();
    for (int i : {0, 4, 6, 29}) {
        DeviceInfoBlock x = end.devices[static_cast<size_t>(i)].info;
        DeviceInfoBlock y = dump.devices[static_cast<size_t>(i)].info;
        x.set_up_time(0);
        y.set_up_time(0);
        EXPECT_TRUE(x == y) << "device " << i;
    }
}

TEST_F(DevsimLab, MalformedAndForeignDatagramsAreIgnoredWithoutHarm) {
    Up({.devices = 5, .trace = true});
    SimDump before = Dump();
    const SimDevice& d = before.devices[1];
    auto good = BuildMessage(ToCode(MsgType::SetName), MacTextToBytes(d.mac),
                             BuildNamePayload("x").data(), NameBlock::kSize, true);
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({good.begin(), good.begin() + 15});  // shorter than a header
    {
        auto big = good;
        big.resize(1500, 0xAB);
        StoreU16(big.data() + 14, 1484);
        bad.push_back(big);  // longer than any datagram
    }
    {
        auto magic = good;
        std::swap(magic[0], magic[1]);  // big-endian magic
        bad.push_back(magic);
    }
    {
        auto length = good;
        StoreU16(length.data() + 14, 40);  // length field lies
        bad.push_back(length);
    }
    {
        auto type = good;
        StoreU16(type.data() + 4, 14);  // the unused type
        bad.push_back(type);
    }
    {
        auto shortName = good;
        shortName.pop_back();
        StoreU16(shortName.data() + 14, NameBlock::kSize - 1);  // payload of the wrong size
        bad.push_back(shortName);
    }
    bad.push_back(BuildMessage(ToCode(MsgType::Reboot), MacTextToBytes("02:4b:58:12:34:56"),
                               nullptr, 0, true));
    bad.push_back(std::vector<uint8_t>(300, 0));  // not ours at all
    for (const auto& bytes : bad) {
        ASSERT_TRUE(peer_->SendRaw(kPortHeartbeat, kMulticastGroup, kPortHeartbeat, bytes));
    }
    // On the search port: a DeviceInfo and a search with a payload.
    ASSERT_TRUE(peer_->SendRaw(kPortSearch, labkit::kLabBroadcast, kPortSearch,
                               BuildMessage(MsgType::DeviceInfo, "", nullptr, 0, false)));
    uint8_t junk[4] = {1, 2, 3, 4};
    ASSERT_TRUE(peer_->SendRaw(kPortSearch, labkit::kLabBroadcast, kPortSearch,
                               BuildMessage(MsgType::Announce, "", junk, sizeof junk, false)));
    // A good command behind them proves they were all read.
    auto g = Ask(d, MsgType::DeviceInfo);
    ASSERT_TRUE(g);
    EXPECT_FALSE(peer_->Receive(kPortReply, 300ms)) << "something answered a malformed datagram";
    EXPECT_FALSE(peer_->Receive(kPortAnnounce, 0ms));
    size_t ignored = 0;
    for (auto& t : lab_.Trace()) {
        if (t.kind == "rx" && t.Get("what") == "ignored") {
            ++ignored;
            EXPECT_EQ(t.GetInt("answers"), 0);
        }
    }
    EXPECT_EQ(ignored, bad.size() + 2);
    SimDump after = Dump();
    for (size_t i = 0; i < after.devices.size(); ++i) {
        DeviceInfoBlock x = after.devices[i].info, y = before.devices[i].info;
        x.set_up_time(0);
        y.set_up_time(0);
        EXPECT_TRUE(x == y) << "device " << i << " changed";
        EXPECT_EQ(after.devices[i].state, "running");
    }
}

TEST_F(DevsimLab, FaultsBehaveAsConfiguredAndChangeAtRunTime) {
    Up({.devices = 8, .trace = true, .sim_args = {"--bridge-fail", "6", "--mute-info", "2"}});
    SimDump dump = Dump();
    std::string err;

    // A device that announces but never answers DeviceInfo; it does answer
    // everything else.
    peer_->Search();
    EXPECT_EQ(peer_->Collect(kPortAnnounce, 8, 3s).size(), 8u);
    EXPECT_FALSE(Ask(dump.devices[2], MsgType::DeviceInfo, {}, 600ms));
    EXPECT_TRUE(Ask(dump.devices[2], MsgType::SetName, BuildNamePayload("muted").ToVector()));

    // A bridge that fails: result byte not 0, nothing changes.
    BridgeBlock b;
    b.set_bridge_mac(MacTextToBytes(dump.devices[0].mac));
    auto g = Ask(dump.devices[6], MsgType::SetBridge,
                 BuildSetBridgePayload(b, dump.devices[6].info.address()));
    ASSERT_TRUE(g);
    EXPECT_NE(g->payload()[0], 0);
    DeviceInfoBlock unchanged = Dump().devices[6].info, factory = dump.devices[6].info;
    unchanged.set_up_time(0);
    factory.set_up_time(0);
    EXPECT_TRUE(unchanged == factory) << "a failed bridge changed the device";

    // Lost replies: the command arrives and acts, the answer never comes.
    ASSERT_TRUE(lab_.Fault("loss-tx", "1", &err)) << err;
    EXPECT_FALSE(
        Ask(dump.devices[1], MsgType::SetName, BuildNamePayload("lost-reply").ToVector(), 600ms));
    EXPECT_TRUE(WaitForDevice(1, [](const SimDevice& s) { return s.name == "lost-reply"; }));
    EXPECT_TRUE(WaitForTrace([](const labkit::TraceLine& t) {
        return t.kind == "lost" && t.GetInt("type") == ToCode(MsgType::SetName);
    }));
    ASSERT_TRUE(lab_.Fault("loss", "0", &err)) << err;

    // Lost requests: nothing happens at all.
    ASSERT_TRUE(lab_.Fault("loss-rx", "100%", &err)) << err;
    EXPECT_FALSE(
        Ask(dump.devices[1], MsgType::SetName, BuildNamePayload("never").ToVector(), 600ms));
    EXPECT_TRUE(WaitForTrace(
        [](const labkit::TraceLine& t) { return t.kind == "rx" && t.Get("what") == "lost"; }));
    EXPECT_EQ(Dump().devices[1].name, "lost-reply");
    ASSERT_TRUE(lab_.Fault("loss-rx", "0", &err)) << err;

    // Duplicates: every reply twice, byte for byte.
    ASSERT_TRUE(lab_.Fault("duplicate", "1", &err)) << err;
    ASSERT_TRUE(peer_->SendCommand(MsgType::DeviceInfo, dump.devices[3].mac));
    auto twice = peer_->Collect(kPortReply, 2, 3s);
    ASSERT_EQ(twice.size(), 2u);
    EXPECT_EQ(twice[0].bytes, twice[1].bytes);
    ASSERT_TRUE(lab_.Fault("duplicate", "0", &err)) << err;
    EXPECT_FALSE(peer_->Receive(kPortReply, 300ms));

    // Delay: the reply leaves no sooner than asked (a lower bound only).
    ASSERT_TRUE(lab_.Fault("delay", "400ms", &err)) << err;
    auto sent = std::chrono::steady_clock::now();
    g = Ask(dump.devices[3], MsgType::DeviceInfo, {}, 5s);
    ASSERT_TRUE(g);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 380ms);
    ASSERT_TRUE(lab_.Fault("delay", "0", &err)) << err;

    // A device that claims another's address answers from it and reports it.
    ASSERT_TRUE(lab_.SetDevices("4", "claim=3", &err)) << err;
    peer_->Drain();
    peer_->Search();
    auto announces = peer_->Collect(kPortAnnounce, 8, 3s);
    ASSERT_EQ(announces.size(), 8u);
    for (const Datagram& a : announces) {
        if (a.mac() == dump.devices[4].mac) {
            EXPECT_EQ(a.from, dump.devices[3].ip);
        }
    }
    g = Ask(dump.devices[4], MsgType::DeviceInfo);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->from, dump.devices[3].ip);
    EXPECT_EQ(IpBytesToText(DeviceInfoBlock(g->payload()).address().ip()), dump.devices[3].ip);

    // Faults that make no sense are refused with a reason.
    EXPECT_FALSE(lab_.Fault("loss", "2", &err));
    EXPECT_NE(err.find("probability"), std::string::npos) << err;
    EXPECT_FALSE(lab_.SetDevices("4", "claim=4", &err));
}

TEST_F(DevsimLab, AThousandDevicesAnswerOneSearchAndAllAreInTheDump) {
    Up({.devices = 1000});
    ASSERT_TRUE(peer_->Search());
    auto got = peer_->Collect(kPortAnnounce, 1000, 20s);
    std::set<std::string> macs, addresses;
    for (const Datagram& g : got) {
        macs.insert(g.mac());
        addresses.insert(g.from);
    }
    EXPECT_EQ(got.size(), 1000u);
    EXPECT_EQ(macs.size(), 1000u);
    EXPECT_EQ(addresses.size(), 1000u);
    SimDump dump = Dump();
    ASSERT_EQ(dump.devices.size(), 1000u);
    std::set<std::string> dumped;
    for (const SimDevice& d : dump.devices) {
        dumped.insert(d.mac);
        EXPECT_EQ(addresses.count(d.ip), 1u) << d.ip;
        EXPECT_EQ(d.announces, 1u);
    }
    EXPECT_EQ(dumped, macs);
}

TEST_F(DevsimLab, LabScriptGuardsAndShapesTheLab) {
    Up({.devices = 7, .fresh = false});
    std::string out;
    // Outside a private namespace and without --i-know it refuses at once.
    EXPECT_NE(labkit::RunCommand({"env", "-u", "KESTRIX_PRIVATE_NET", lab_.Script(), "up"}, &out),
              0);
    EXPECT_NE(out.find("refusing"), std::string::npos) << out;

    // Host side: 198.18.0.1/15, no default route, multicast via the veth.
    ASSERT_EQ(labkit::RunCommand({lab_.Script(), "exec", "host", "ip", "-4", "route"}, &out), 0)
        << out;
    EXPECT_EQ(out.find("default"), std::string::npos) << out;
    EXPECT_NE(out.find("198.18.0.0/15 dev kxlab-h"), std::string::npos) << out;
    EXPECT_NE(out.find("224.0.0.0/4 dev kxlab-h"), std::string::npos) << out;
    ASSERT_EQ(labkit::RunCommand({lab_.Script(), "exec", "host", "ip", "-o", "link"}, &out), 0);
    EXPECT_NE(out.find("link-netns kxlab-fleet"), std::string::npos)
        << "the veth's other end is in the fleet";
    // Fleet side: exactly the devices' addresses, loopback up, no default route.
    ASSERT_EQ(labkit::RunCommand({lab_.Script(), "exec", "fleet", "ip", "-4", "-o", "addr"}, &out),
              0);
    size_t addrs = 0;  // one line per address; an earlier, bigger fleet left none behind
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        addrs += line.find(" kxlab-f ") != std::string::npos;
    }
    EXPECT_EQ(addrs, 7u);
    EXPECT_NE(out.find("198.18.0.8/15"), std::string::npos) << out;
    EXPECT_NE(out.find("127.0.0.1/8"), std::string::npos) << out;
    ASSERT_EQ(labkit::RunCommand({lab_.Script(), "exec", "fleet", "ip", "-4", "route"}, &out), 0);
    EXPECT_EQ(out.find("default"), std::string::npos) << out;

    // "up" again with the same arguments leaves the running fleet alone.
    std::ifstream pidFile(lab_.Dir() + "/devsim.pid");
    int pid = 0;
    pidFile >> pid;
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(lab_.Up({.devices = 7, .fresh = false}));
    std::ifstream again(lab_.Dir() + "/devsim.pid");
    int pid2 = 0;
    again >> pid2;
    EXPECT_EQ(pid, pid2);

    // SIGUSR1 writes the dump; stopping writes it again on the way out.
    unlink(lab_.DumpPath().c_str());
    ASSERT_EQ(kill(pid, SIGUSR1), 0);
    struct stat st;
    for (int i = 0; i < 100 && stat(lab_.DumpPath().c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(20ms);
    auto dump = labkit::ReadDumpFile(lab_.DumpPath());
    ASSERT_TRUE(dump);
    EXPECT_EQ(dump->devices.size(), 7u);
    unlink(lab_.DumpPath().c_str());
    peer_.reset();
    ASSERT_TRUE(lab_.Down());
    dump = labkit::ReadDumpFile(lab_.DumpPath());
    ASSERT_TRUE(dump) << "no dump at exit";
    EXPECT_EQ(dump->devices.size(), 7u);
    EXPECT_NE(labkit::RunCommand({lab_.Script(), "status"}, &out), 0) << out;

    // "run" brings the lab up, runs the command in the host namespace, takes
    // the lab down and hands back the command's status.
    EXPECT_EQ(labkit::RunCommand({lab_.Script(), "run", "--devices", "3", "--", "sh", "-c",
                                  "ip -4 addr | grep -q 198.18.0.1/15 && exit 7"},
                                 &out),
              7)
        << out;
    EXPECT_NE(labkit::RunCommand({lab_.Script(), "status"}, &out), 0) << out;
}

}  // namespace
}  // namespace kestrix
