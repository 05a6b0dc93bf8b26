// Discovery handlers driven datagram by datagram (no link threads): what
// each announcement, device information and heartbeat does to the presence
// list, the store and the wire.

#include <algorithm>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "tests/unit/link/loopback_link.h"

namespace kestrix::testing {
namespace {

constexpr const char* kMacA = "00:1a:2b:3c:4d:5e";
constexpr const char* kMacB = "00:1a:2b:3c:4d:5f";

class Discovery : public LoopbackLink {
protected:
    void Announce(const std::string& mac, const std::string& from,
                  const std::vector<uint8_t>& payload, uint16_t type = 5) {
        Feed(kPortAnnounce, MsgType::Announce, mac, from, payload, type);
    }
    void Info(const std::string& mac, const std::string& from, const DeviceInfoBlock& info,
              uint16_t type = 5) {
        Feed(kPortReply, MsgType::DeviceInfo, mac, from, info.ToVector(), type);
    }
    void Heartbeat(const std::string& mac, const std::string& from, uint32_t uptime) {
        Feed(kPortHeartbeat, MsgType::Heartbeat, mac, from, HeartbeatPayload("V2", uptime));
    }
    // Announce + DeviceInfo at the same address.
    void Inform(const std::string& mac, const std::string& ip) {
        Announce(mac, ip, AnnouncePayload("V1", "n", "s", 1, 1));
        Info(mac, ip, InfoFor(ip, "dev", 100));
    }
};

TEST_F(Discovery, AnnounceRecordsTheDeviceAcknowledgesAndAsksForItsInformation) {
    Listener device(kPortHeartbeat);
    ASSERT_TRUE(device.ok());
    Announce(kMacA, "127.0.0.5", AnnouncePayload("V3.0.1\nbuild", "mast-7", "net", 4242, 36), 15);

    auto e = Entry(kMacA);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->ip, "127.0.0.5");
    EXPECT_EQ(e->deviceType, 15);
    EXPECT_EQ(e->state, PresenceState::Announced);
    EXPECT_EQ(e->countdown, 3);
    EXPECT_EQ(e->uptime, 4242u);
    EXPECT_EQ(e->version, "V3.0.1\nbuild");
    EXPECT_EQ(e->name, "mast-7");
    EXPECT_EQ(e->ssid, "net");
    EXPECT_EQ(e->channel, 36);
    EXPECT_EQ(e->workMode, 2);
    EXPECT_EQ(e->bridgeTransparent, 1);
    EXPECT_EQ(e->pxsync, 1);

    // Acknowledgement, then the information request: 16 bytes each, by
    // multicast from the adapter's address and the command port.
    const std::vector<uint8_t> ack = {0x86, 0x19, 0,    0,    1,    0,    1, 0,
                                      0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0, 0};
    std::vector<uint8_t> request = ack;
    request[4] = 2;
    auto first = device.Next();
    auto second = device.Next();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, ack);
    EXPECT_EQ(second->bytes, request);
    EXPECT_EQ(first->from, "127.0.0.1");
    EXPECT_EQ(first->fromPort, kPortHeartbeat);
    EXPECT_FALSE(device.Next(100));

    auto pending = link_.PendingSnapshot();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].type, ToCode(MsgType::DeviceInfo));
    EXPECT_EQ(pending[0].target, "127.0.0.5");
    EXPECT_EQ(pending[0].mac, kMacA);
    EXPECT_EQ(pending[0].retriesLeft, 3);
}

TEST_F(Discovery, ShortAnnounceTakesOnlyTheVersionAndRepeatsRefreshWithoutMoving) {
    // 33 bytes: the version text and its length byte, nothing more.
    std::vector<uint8_t> payload = AnnouncePayload("V9", "ignored", "ignored", 77, 6);
    payload.resize(kAnnounceVersionOnly);
    Announce(kMacA, "127.0.0.5", payload);
    auto e = Entry(kMacA);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->uptime, 0u);
    EXPECT_EQ(e->version, "V9");
    EXPECT_EQ(e->name, "");
    EXPECT_EQ(e->channel, 0);
    EXPECT_EQ(e->workMode, 0);
    // 20 bytes cut the version's length byte off: an empty version.
    payload.resize(20);
    Announce(kMacB, "127.0.0.6", payload);
    ASSERT_TRUE(Entry(kMacB));
    EXPECT_EQ(Entry(kMacB)->version, "");
    EXPECT_EQ(Entry(kMacB)->uptime, 0u);

    // A later announcement, even from elsewhere, refreshes type and version
    // but not the address, state or the other fields.
    Announce(kMacA, "127.0.0.9", AnnouncePayload("V10", "x", "y", 5, 1), 7);
    e = Entry(kMacA);
    EXPECT_EQ(e->ip, "127.0.0.5");
    EXPECT_EQ(e->deviceType, 7);
    EXPECT_EQ(e->version, "V10");
    EXPECT_EQ(e->name, "");
    EXPECT_EQ(link_.PresenceSnapshot().size(), 2u);
}

TEST_F(Discovery, ZeroMacIsAcknowledgedButNeverRecorded) {
    Listener device(kPortHeartbeat);
    Announce("00:00:00:00:00:00", "127.0.0.5", AnnouncePayload("V1", "n", "s", 1, 1));
    EXPECT_TRUE(link_.PresenceSnapshot().empty());
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].header().type(), ToCode(MsgType::Announce));
    EXPECT_TRUE(link_.PendingSnapshot().empty());
}

TEST_F(Discovery, AnnounceAtAnInformedDevicesAddressIsNotAskedForInformation) {
    Inform(kMacA, "127.0.0.5");
    Listener device(kPortHeartbeat);
    Announce(kMacB, "127.0.0.5", AnnouncePayload("V1", "n", "s", 1, 1));
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].header().type(), ToCode(MsgType::Announce));
    EXPECT_EQ(MacBytesToText(heard[0].header().mac()), kMacB);
    ASSERT_TRUE(Entry(kMacB));
    EXPECT_EQ(Entry(kMacB)->state, PresenceState::Announced);
}

TEST_F(Discovery, DeviceInformationReachesTheStoreByteForByte) {
    Announce(kMacA, "127.0.0.5", AnnouncePayload("V1", "n", "s", 1, 1));
    DeviceInfoBlock info = InfoFor("127.0.0.6", "mast-7", 999);
    // A name whose last character the device cut: one whole three-byte
    // character, then two bytes of the next.
    std::string name = "\xe5\x8c\x97\xe4\xba";
    info.set_ap_name(name);
    Info(kMacA, "127.0.0.5", info, 268);

    ASSERT_TRUE(store_.Has(kMacA));
    auto row = store_.Get(kMacA);
    EXPECT_EQ(row.status, 1u);
    EXPECT_EQ(row.record.mac(), kMacA);
    EXPECT_EQ(row.record.ap_type(), 268);
    DeviceInfoBlock expected = info;
    expected.ConvertDeviceTexts();
    EXPECT_EQ(expected.ap_name(), "\xe5\x8c\x97");
    EXPECT_EQ(0, std::memcmp(row.record.info_data(), expected.data(), expected.size()));

    // The presence entry takes the device's own address, not the sender's.
    auto e = Entry(kMacA);
    EXPECT_EQ(e->state, PresenceState::Informed);
    EXPECT_EQ(e->ip, "127.0.0.6");
    EXPECT_EQ(e->uptime, 999u);
    EXPECT_EQ(e->version, "V1.2.3");
    EXPECT_EQ(e->deviceType, 268);
    EXPECT_EQ(e->bridgeTransparent, info.extension().bridge_transparent());
    EXPECT_EQ(e->pxsync, info.extension().tdmaEn());
    EXPECT_EQ(e->countdown, 3);
}

TEST_F(Discovery, DeviceInformationFromStrangersAndAddressThievesIsDiscarded) {
    Info(kMacA, "127.0.0.5", InfoFor("127.0.0.5", "never-announced", 1));
    EXPECT_EQ(store_.Count(), 0u);
    EXPECT_TRUE(link_.PresenceSnapshot().empty());

    Inform(kMacA, "127.0.0.5");
    Announce(kMacB, "127.0.0.8", AnnouncePayload("V1", "n", "s", 1, 1));
    Info(kMacB, "127.0.0.8", InfoFor("127.0.0.5", "thief", 1));
    EXPECT_FALSE(store_.Has(kMacB));
    EXPECT_EQ(Entry(kMacB)->state, PresenceState::Announced);
    EXPECT_EQ(Entry(kMacA)->ip, "127.0.0.5");
}

TEST_F(Discovery, HeartbeatKeepsAKnownDeviceAliveAndFollowsItsAddress) {
    Inform(kMacA, "127.0.0.5");
    link_.AgePresence();
    link_.AgePresence();
    EXPECT_EQ(Entry(kMacA)->countdown, 1);

    Listener device(kPortHeartbeat);
    Heartbeat(kMacA, "127.0.0.7", 5000);
    auto e = Entry(kMacA);
    EXPECT_EQ(e->countdown, 3);
    EXPECT_EQ(e->uptime, 5000u);
    EXPECT_EQ(e->version, "V2");
    EXPECT_EQ(e->ip, "127.0.0.7");
    auto row = store_.Get(kMacA);
    EXPECT_EQ(row.ip, "127.0.0.7");
    EXPECT_EQ(row.uptime, 5000u);
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].header().type(), ToCode(MsgType::Heartbeat));
    EXPECT_EQ(heard[0].bytes.size(), 16u);

    // The old address is free again: another device may be informed there.
    Inform(kMacB, "127.0.0.5");
    EXPECT_TRUE(store_.Has(kMacB));
}

TEST_F(Discovery, HeartbeatFromAnUnknownDeviceIsIgnored) {
    Listener device(kPortHeartbeat);
    Heartbeat(kMacA, "127.0.0.7", 5000);
    EXPECT_TRUE(device.Drain().empty());
    EXPECT_EQ(store_.UptimeCalls(), 0);
}

TEST_F(Discovery, InformedDevicesAgeOutOnTheFourthSilentTickAnnouncedOnesNever) {
    Inform(kMacA, "127.0.0.5");
    Announce(kMacB, "127.0.0.6", AnnouncePayload("V1", "n", "s", 1, 1));
    for (int tick = 1; tick <= 3; ++tick) {
        link_.AgePresence();
        EXPECT_TRUE(Entry(kMacA)) << "tick " << tick;
    }
    EXPECT_TRUE(store_.Deleted().empty());
    link_.AgePresence();
    EXPECT_FALSE(Entry(kMacA));
    EXPECT_EQ(store_.Deleted(), std::vector<std::string>{kMacA});
    EXPECT_FALSE(store_.Has(kMacA));
    for (int tick = 0; tick < 10; ++tick) link_.AgePresence();
    ASSERT_TRUE(Entry(kMacB));
    EXPECT_EQ(Entry(kMacB)->countdown, 3);
}

TEST_F(Discovery, ListAnnouncedBuildsRecordsFromAnnouncedEntriesOnly) {
    Inform(kMacA, "127.0.0.5");
    Announce(kMacB, "127.0.0.6", AnnouncePayload("V4.1\nextra", "roof", "wlan", 321, 11), 9);
    std::vector<ap_info_stu> out(3);
    link_.ListAnnounced(out, "", 50);
    ASSERT_EQ(out.size(), 1u);
    const ap_info_stu& r = out[0];
    EXPECT_EQ(r.mac(), kMacB);
    EXPECT_EQ(r.ap_type(), 9);
    EXPECT_EQ(r.ap_status(), 10u);
    DeviceInfoBlock info = r.info();
    EXPECT_EQ(IpBytesToText(info.address().ip()), "127.0.0.6");
    EXPECT_EQ(info.version(), "V4.1");
    EXPECT_EQ(info.ap_name(), "roof");
    EXPECT_EQ(info.wireless().ssid(), "wlan");
    EXPECT_EQ(info.wireless().channel(), 11);
    EXPECT_EQ(info.up_time(), 321u);
    EXPECT_EQ(info.work_mode(), 2);
    EXPECT_EQ(info.mode_btn_status(), 1);
    EXPECT_EQ(info.extension().bridge_transparent(), 1);
    EXPECT_EQ(info.extension().tdmaEn(), 1);
}

TEST_F(Discovery, ListAnnouncedFiltersAndStopsAfterLimitExaminedEntries) {
    for (int i = 0; i < 8; ++i) {
        std::string mac = "02:00:00:00:00:0" + std::to_string(i);
        std::string version = i < 5 ? "A" : "match-B";
        Announce(mac, "127.0.1." + std::to_string(i + 1), AnnouncePayload(version, "", "", 0, 0));
    }
    std::vector<ap_info_stu> out;
    link_.ListAnnounced(out, "match", 5);
    EXPECT_TRUE(out.empty());
    link_.ListAnnounced(out, "match", 8);
    EXPECT_EQ(out.size(), 3u);
    link_.ListAnnounced(out, "127.0.1.2", 8);  // address text
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].mac(), "02:00:00:00:00:01");
    link_.ListAnnounced(out, ":07", 8);  // MAC text
    ASSERT_EQ(out.size(), 1u);
    link_.ListAnnounced(out, "MATCH", 8);  // case matters
    EXPECT_TRUE(out.empty());
    link_.ListAnnounced(out, "", 3);
    EXPECT_EQ(out.size(), 3u);
}

TEST_F(Discovery, SearchCycleReleasesAndDropsAnnouncedDevicesAndReconcilesTheStore) {
    Inform(kMacA, "127.0.0.5");
    Announce(kMacB, "127.0.0.6", AnnouncePayload("V1", "n", "s", 1, 1));
    store_.Put("02:aa:bb:cc:dd:ee", 1);  // stored earlier, no longer heard

    Listener device(kPortHeartbeat);
    link_.ReleaseAnnounced();
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].header().type(), ToCode(MsgType::Release));
    EXPECT_EQ(MacBytesToText(heard[0].header().mac()), kMacB);
    EXPECT_EQ(heard[0].bytes.size(), 16u);

    link_.DropAnnounced();
    auto all = link_.PresenceSnapshot();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].mac, kMacA);

    link_.ReconcileStore();
    EXPECT_TRUE(store_.Has(kMacA));
    EXPECT_FALSE(store_.Has("02:aa:bb:cc:dd:ee"));
}

TEST_F(Discovery, ReleaseAnnouncedSparesADeviceThatBecameInformedAfterTheListing) {
    Announce(kMacA, "127.0.0.5", AnnouncePayload("V1", "n", "s", 1, 1));
    Announce(kMacB, "127.0.0.6", AnnouncePayload("V1", "n", "s", 1, 1));
    // A's information arrives after ReleaseAnnounced has listed both as
    // announced and before the first Release goes out.
    link_.SetReleaseListedHook([&] { Info(kMacA, "127.0.0.5", InfoFor("127.0.0.5", "a", 1)); });

    Listener device(kPortHeartbeat);
    link_.ReleaseAnnounced();
    std::vector<std::string> released;
    for (const auto& h : device.Drain())
        if (h.header().type() == ToCode(MsgType::Release))
            released.push_back(MacBytesToText(h.header().mac()));
    EXPECT_EQ(released, std::vector<std::string>{kMacB});
    ASSERT_TRUE(Entry(kMacA));
    EXPECT_EQ(Entry(kMacA)->state, PresenceState::Informed);
    EXPECT_TRUE(store_.Has(kMacA));
}

TEST_F(Discovery, DatagramsOnTheWrongPortNeverReachAHandler) {
    // A heartbeat on the announce port and an announcement on the search
    // port are dropped by acceptance.
    Feed(kPortAnnounce, MsgType::Heartbeat, kMacA, "127.0.0.5", HeartbeatPayload("V", 1));
    Feed(kPortSearch, MsgType::Announce, kMacA, "127.0.0.5", AnnouncePayload("V", "", "", 0, 0));
    auto an = DeviceMessage(MsgType::Announce, kMacA, AnnouncePayload("V", "", "", 0, 0));
    link_.ProcessDatagram(kPortAnnounce, an.data(), 15, Addr("127.0.0.5"), 1);
    EXPECT_TRUE(link_.PresenceSnapshot().empty());
}

}  // namespace
}  // namespace kestrix::testing
