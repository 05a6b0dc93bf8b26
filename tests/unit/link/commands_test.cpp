// Commands: what SendToDevice puts on the wire, which commands wait for a
// reply, retransmission, and what each reply writes.

#include <memory>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "tests/unit/link/loopback_link.h"

namespace kestrix::testing {
namespace {

constexpr const char* kMac = "00:1a:2b:3c:4d:5e";
constexpr const char* kDevice = "127.0.0.5";

class Commands : public LoopbackLink {
protected:
    void Reply(MsgType type, const std::string& from, std::vector<uint8_t> payload,
               const std::string& mac = kMac) {
        Feed(kPortReply, type, mac, from, payload);
    }
};

TEST_F(Commands, SendToDeviceMulticastsHeaderAndPayloadAndRegistersIt) {
    Listener device(kPortHeartbeat);
    NameBlock name = BuildNamePayload("roof-12");
    ASSERT_TRUE(
        link_.SendToDevice(kDevice, MsgType::SetName, name.data(), name.size(), kMac, true));
    auto heard = device.Next();
    ASSERT_TRUE(heard);
    std::vector<uint8_t> expected = {0x86, 0x19, 0,    0,    8,    0,    1,  0,
                                     0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 33, 0};
    expected.insert(expected.end(), name.data(), name.data() + name.size());
    EXPECT_EQ(heard->bytes, expected);
    EXPECT_EQ(heard->from, "127.0.0.1");
    EXPECT_EQ(heard->fromPort, kPortHeartbeat);

    auto pending = link_.PendingSnapshot();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].payload, name.ToVector());
    EXPECT_EQ(pending[0].type, ToCode(MsgType::SetName));
}

TEST_F(Commands, UnreachableTargetsSendAndRegisterNothing) {
    Listener device(kPortHeartbeat);
    EXPECT_FALSE(link_.SendToDevice("10.1.2.3", MsgType::Reboot, nullptr, 0, kMac, true));
    EXPECT_FALSE(link_.SendToDevice("0.0.0.0", MsgType::Reboot, nullptr, 0, kMac, true));
    EXPECT_FALSE(link_.SendToDevice("", MsgType::Reboot, nullptr, 0, kMac, true));
    EXPECT_TRUE(device.Drain().empty());
    EXPECT_TRUE(link_.PendingSnapshot().empty());

    // Without adapters nothing can be reached at all.
    source_->Set({});
    std::vector<AdapterRecord> adapters;
    link_.GetLocalAdapters(adapters);
    EXPECT_FALSE(link_.SendToDevice(kDevice, MsgType::Reboot, nullptr, 0, kMac, true));
    EXPECT_TRUE(device.Drain().empty());
}

TEST_F(Commands, AcknowledgementsRequestsAndFarewellsAreNeverRetransmitted) {
    for (MsgType t :
         {MsgType::Announce, MsgType::ScanNeighbours, MsgType::Heartbeat, MsgType::Release})
        EXPECT_TRUE(link_.SendToDevice(kDevice, t, nullptr, 0, kMac, true));
    EXPECT_TRUE(link_.SendToDevice(kDevice, MsgType::Reboot, nullptr, 0, kMac, false));
    EXPECT_TRUE(link_.PendingSnapshot().empty());
}

TEST_F(Commands, UnansweredRebootLeavesFourTimesThenDisappearsSilently) {
    store_.Put(kMac, 1);
    Listener device(kPortHeartbeat);
    ASSERT_TRUE(link_.SendToDevice(kDevice, MsgType::Reboot, nullptr, 0, kMac, true));
    for (int pass = 0; pass < 6; ++pass) link_.RetransmitPending();
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 4u);
    for (const auto& h : heard) EXPECT_EQ(h.bytes, heard[0].bytes);
    EXPECT_EQ(heard[0].header().type(), ToCode(MsgType::Reboot));
    EXPECT_TRUE(link_.PendingSnapshot().empty());
    EXPECT_EQ(store_.Get(kMac).status, 1u);
    EXPECT_TRUE(store_.StatusLog().empty());
}

TEST_F(Commands, AnsweredRebootLeavesOnceAndSetsRestarting) {
    store_.Put(kMac, 1);
    Listener device(kPortHeartbeat);
    ASSERT_TRUE(link_.SendToDevice(kDevice, MsgType::Reboot, nullptr, 0, kMac, true));
    Reply(MsgType::Reboot, kDevice, {0});
    for (int pass = 0; pass < 5; ++pass) link_.RetransmitPending();
    EXPECT_EQ(device.Drain().size(), 1u);
    EXPECT_EQ(store_.Get(kMac).status, 4u);
}

TEST_F(Commands, ReplyMustMatchTargetTypeAndMacAndRemovesOldestFirst) {
    NameBlock one = BuildNamePayload("one");
    NameBlock two = BuildNamePayload("two");
    // Registered with an upper-case MAC text: replies carry lower case.
    link_.SendToDevice(kDevice, MsgType::SetName, one.data(), one.size(), "00:1A:2B:3C:4D:5E",
                       true);
    link_.SendToDevice(kDevice, MsgType::SetName, two.data(), two.size(), kMac, true);

    Reply(MsgType::SetName, "127.0.0.6", {});                   // wrong sender
    Reply(MsgType::SetWireless, kDevice, {});                   // wrong type
    Reply(MsgType::SetName, kDevice, {}, "00:1a:2b:3c:4d:5f");  // wrong MAC
    EXPECT_EQ(link_.PendingSnapshot().size(), 2u);

    Reply(MsgType::SetName, kDevice, {});
    auto pending = link_.PendingSnapshot();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].payload, two.ToVector());
    Reply(MsgType::SetName, kDevice, {});
    EXPECT_TRUE(link_.PendingSnapshot().empty());
}

struct StatusCase {
    MsgType type;
    uint8_t result;
    uint32_t before;
    uint32_t after;
};

class ReplyStatus : public Commands, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ReplyStatus, ResultByteBecomesTheStoredStatus) {
    const StatusCase& c = GetParam();
    store_.Put(kMac, c.before);
    Reply(c.type, kDevice, {c.result});
    EXPECT_EQ(store_.Get(kMac).status, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyStatus,
    ::testing::Values(
        StatusCase{MsgType::SetBridge, 0, 1, 2}, StatusCase{MsgType::SetBridge, 5, 1, 3},
        StatusCase{MsgType::Reboot, 0, 1, 4}, StatusCase{MsgType::Reboot, 1, 1, 1},
        StatusCase{MsgType::SetVlan, 0, 1, 4}, StatusCase{MsgType::SetVlan, 2, 1, 1},
        StatusCase{MsgType::Restore, 0, 1, 5}, StatusCase{MsgType::Restore, 3, 1, 1},
        StatusCase{MsgType::UpgradeStatus, 0, 1, 6}, StatusCase{MsgType::UpgradeStatus, 1, 1, 9},
        StatusCase{MsgType::UpgradeStatus, 7, 1, 8}, StatusCase{MsgType::UpgradeStart, 0, 6, 7},
        StatusCase{MsgType::UpgradeStart, 0, 8, 8}, StatusCase{MsgType::SetWireless, 0, 1, 1},
        StatusCase{MsgType::SetName, 1, 1, 1}, StatusCase{MsgType::SetPxsync, 0, 1, 1}));

TEST_F(Commands, NeighbourScanFlagFollowsTheLastPacketOfTheLatestScan) {
    EXPECT_FALSE(link_.IsScanComplete());
    auto report = [](uint8_t count, uint8_t id, const std::string& ssid) {
        config_otherwl_basic ap;
        ap.set_mac(MacTextToBytes("0a:0b:0c:0d:0e:0f"));
        ap.set_ssid(ssid);
        return BuildNeighbourReportPayload(count, id, {ap});
    };
    link_.SendToDevice(kDevice, MsgType::ScanNeighbours, nullptr, 0, kMac, true);
    Reply(MsgType::ScanNeighbours, kDevice, report(2, 0, "first"));
    EXPECT_FALSE(link_.IsScanComplete());
    Reply(MsgType::ScanNeighbours, kDevice, report(2, 1, "\xe4\xb8\xad\xe6"));
    EXPECT_TRUE(link_.IsScanComplete());
    auto scans = store_.Scans();
    ASSERT_EQ(scans.size(), 2u);
    ASSERT_EQ(scans[1].entries.size(), 1u);
    EXPECT_EQ(scans[1].entries[0].ssid(), "\xe4\xb8\xad");  // cut character dropped

    // Sending the next scan clears the flag again.
    link_.SendToDevice(kDevice, MsgType::ScanNeighbours, nullptr, 0, kMac, false);
    EXPECT_FALSE(link_.IsScanComplete());
}

class AddressFollowing : public Commands {
protected:
    void SetUp() override {
        Commands::SetUp();
        Feed(kPortAnnounce, MsgType::Announce, kMac, kDevice, AnnouncePayload("V", "n", "s", 1, 1));
        Reply(MsgType::DeviceInfo, kDevice, InfoFor(kDevice, "dev", 1).ToVector());
    }
    std::string Ip() { return Entry(kMac).value().ip; }
    std::string NewIp() { return Entry(kMac).value().newIp; }
};

TEST_F(AddressFollowing, SetAddressReplyMovesTheEntryToTheNotedAddress) {
    link_.NoteNewAddress(kMac, kDevice, "127.0.0.77");
    EXPECT_EQ(NewIp(), "127.0.0.77");
    Reply(MsgType::SetAddress, kDevice, {});
    EXPECT_EQ(Ip(), "127.0.0.77");
    EXPECT_EQ(NewIp(), "");
}

TEST_F(AddressFollowing, AReplyFromTheNewAddressAlsoMovesTheEntry) {
    link_.NoteNewAddress(kMac, kDevice, "127.0.0.77");
    Reply(MsgType::SetAddress, "127.0.0.77", {});
    EXPECT_EQ(Ip(), "127.0.0.77");
}

TEST_F(AddressFollowing, ReplyFromElsewhereOrWithoutANoteChangesNothing) {
    Reply(MsgType::SetAddress, kDevice, {});
    EXPECT_EQ(Ip(), kDevice);
    link_.NoteNewAddress(kMac, kDevice, "127.0.0.77");
    Reply(MsgType::SetAddress, "127.0.0.99", {});
    EXPECT_EQ(Ip(), kDevice);
    // Noting the current address clears the note.
    link_.NoteNewAddress(kMac, kDevice, kDevice);
    EXPECT_EQ(NewIp(), "");
    // A note against the wrong current address is ignored.
    link_.NoteNewAddress(kMac, "127.0.0.4", "127.0.0.77");
    EXPECT_EQ(NewIp(), "");
}

TEST_F(Commands, NoteNewAddressIgnoresDevicesThatOnlyAnnounced) {
    Feed(kPortAnnounce, MsgType::Announce, kMac, kDevice, AnnouncePayload("V", "n", "s", 1, 1));
    link_.NoteNewAddress(kMac, kDevice, "127.0.0.77");
    EXPECT_EQ(link_.PresenceSnapshot().at(0).newIp, "");
}

}  // namespace
}  // namespace kestrix::testing
