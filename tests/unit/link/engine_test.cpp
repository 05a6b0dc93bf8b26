// The running link on loopback: start-up, the receivers and their bounded
// queues, the ticker and retransmitter threads, searches and shutdown.

#include <chrono>
#include <dirent.h>
#include <memory>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "tests/support/fake_link_store.h"
#include "tests/unit/link/link_test_util.h"

namespace kestrix::testing {
namespace {

// A generous ceiling for one thread's stop: far above the 100 ms it may
// take, so only a thread that does not stop at all fails.
constexpr auto kStopCeiling = std::chrono::milliseconds(2000);
constexpr int kLongInterval = 3600 * 1000;

size_t ThreadCount() {
    size_t n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(d);
    }
    return n;
}

std::string MacOf(int i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
    return text;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        link_->SetStore(&store_);
        link_->SetAdapterSource(source_);
    }
    FakeLinkStore store_;
    std::shared_ptr<FakeAdapterSource> source_ =
        std::make_shared<FakeAdapterSource>(std::vector<AdapterRecord>{LoopbackAdapter()});
    std::unique_ptr<DeviceLink> link_ = std::make_unique<DeviceLink>();
};

TEST_F(Engine, StartFailsOnATakenReplyPortAfterOpeningTheOthersAndStartsNoThread) {
    int taken = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kPortReply);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const size_t before = ThreadCount();
    EXPECT_FALSE(link_->Start(3, 2000));
    EXPECT_EQ(link_->FailedPort(), kPortReply);
    EXPECT_EQ(ThreadCount(), before);
    // The announce port was opened: a second program cannot take it
    // exclusively now.
    int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    a.sin_port = htons(kPortAnnounce);
    EXPECT_NE(::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(probe);
    ::close(taken);
    EXPECT_EQ(source_->calls(), 0);
}

TEST_F(Engine, AStartedLinkDiscoversADeviceOverItsSockets) {
    Listener device(kPortHeartbeat);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    EXPECT_EQ(link_->FailedPort(), 0);
    Listener sender(40000);
    const std::string mac = "00:1a:2b:3c:4d:5e";
    sender.SendTo("127.0.0.1", kPortAnnounce,
                  DeviceMessage(MsgType::Announce, mac, AnnouncePayload("V1", "n", "s", 1, 1), 5));
    auto ack = device.Next();
    auto request = device.Next();
    ASSERT_TRUE(ack && request);
    EXPECT_EQ(request->header().type(), ToCode(MsgType::DeviceInfo));

    sender.SendTo(
        "127.0.0.1", kPortReply,
        DeviceMessage(MsgType::DeviceInfo, mac, InfoFor("127.0.0.1", "d", 7).ToVector(), 5));
    ASSERT_TRUE(WaitFor([&] { return store_.Has(mac); }));
    EXPECT_TRUE(WaitFor([&] { return link_->PendingSnapshot().empty(); }));
    EXPECT_EQ(store_.Get(mac).status, 1u);
}

TEST_F(Engine, ReceiversQueueOnlyWellFormedDatagramsOfTheirType) {
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    Listener sender(40000);
    auto good = DeviceMessage(MsgType::Announce, "00:1a:2b:3c:4d:5e",
                              AnnouncePayload("V1", "n", "s", 1, 1));
    std::vector<uint8_t> oversized(1473, 0);
    std::copy(good.begin(), good.end(), oversized.begin());
    std::vector<uint8_t> bigEndian = good;
    std::swap(bigEndian[0], bigEndian[1]);
    // Sent first, in order, over one socket: if any of these were queued the
    // count below would be above one when the good datagram arrives.
    sender.SendTo("127.0.0.1", kPortAnnounce, {good.begin(), good.begin() + 15});
    sender.SendTo("127.0.0.1", kPortAnnounce, oversized);
    sender.SendTo("127.0.0.1", kPortAnnounce, bigEndian);
    sender.SendTo("127.0.0.1", kPortAnnounce,
                  DeviceMessage(MsgType::Heartbeat, "00:1a:2b:3c:4d:5e", {}));
    sender.SendTo("127.0.0.1", kPortAnnounce, good);
    ASSERT_TRUE(WaitFor([&] { return link_->PresenceSnapshot().size() == 1; }));
    EXPECT_EQ(link_->GetCounters().queued[0], 1u);

    // A Heartbeat on the reply port is a reply like any other.
    sender.SendTo("127.0.0.1", kPortReply,
                  DeviceMessage(MsgType::Heartbeat, "00:1a:2b:3c:4d:5e", {}));
    EXPECT_TRUE(WaitFor([&] { return link_->GetCounters().queued[2] == 1; }));
}

TEST_F(Engine, QueuesHoldTheirLimitAndCountWhatTheyDrop) {
    link_->SetQueueLimit(64);
    link_->PauseProcessors(true);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    Listener sender(40000);
    const int sent = 300;
    for (int i = 0; i < sent; ++i)
        sender.SendTo(
            "127.0.0.1", kPortAnnounce,
            DeviceMessage(MsgType::Announce, MacOf(i), AnnouncePayload("V", "", "", 0, 0)));
    ASSERT_TRUE(WaitFor([&] {
        auto c = link_->GetCounters();
        return c.queued[0] + c.dropped[0] == static_cast<uint64_t>(sent);
    }));
    auto c = link_->GetCounters();
    EXPECT_EQ(c.queued[0], 64u);
    EXPECT_EQ(c.dropped[0], static_cast<uint64_t>(sent - 64));
    EXPECT_TRUE(link_->PresenceSnapshot().empty());

    link_->PauseProcessors(false);
    EXPECT_TRUE(WaitFor([&] { return link_->PresenceSnapshot().size() == 64; }));
}

TEST_F(Engine, SearchWithoutAdaptersGoesOnceToTheGlobalBroadcast) {
    // The limited broadcast needs a route; this test gives it one in a
    // namespace of its own rather than in the one the other tests share.
    std::vector<Heard> heard;
    bool ran = InOwnNetworkNamespace([&] {
        if (std::system("ip route add default dev lo") != 0) return;
        source_->Set({});
        Listener searchPort(kPortSearch);
        if (!link_->Start(3, kLongInterval)) return;
        link_->Search();
        heard = searchPort.Drain();
        link_->Shutdown();
    });
    if (!ran) GTEST_SKIP() << "cannot make a network namespace";
    ASSERT_EQ(heard.size(), 1u);
    const std::vector<uint8_t> request = {0x86, 0x19, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(heard[0].bytes, request);
    EXPECT_EQ(heard[0].fromPort, kPortSearch);
}

TEST_F(Engine, SearchGoesToEachAdapterSubnetsDirectedBroadcast) {
    Listener searchPort(kPortSearch);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    link_->Search();
    auto heard = searchPort.Drain();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].bytes.size(), 16u);
    EXPECT_EQ(heard[0].header().multicast(), 0);
    EXPECT_EQ(heard[0].from, "127.0.0.1");
    EXPECT_EQ(heard[0].fromPort, kPortSearch);
}

TEST_F(Engine, TickerAgesSilentDevicesOnAShortenedInterval) {
    link_->SetPresenceTickMs(20);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    const std::string informed = "00:1a:2b:3c:4d:5e", announced = "00:1a:2b:3c:4d:5f";
    auto an = DeviceMessage(MsgType::Announce, informed, AnnouncePayload("V", "", "", 0, 0));
    link_->ProcessDatagram(kPortAnnounce, an.data(), an.size(), Addr("127.0.0.5"), 1);
    auto info =
        DeviceMessage(MsgType::DeviceInfo, informed, InfoFor("127.0.0.5", "d", 1).ToVector());
    link_->ProcessDatagram(kPortReply, info.data(), info.size(), Addr("127.0.0.5"), 1);
    auto an2 = DeviceMessage(MsgType::Announce, announced, AnnouncePayload("V", "", "", 0, 0));
    link_->ProcessDatagram(kPortAnnounce, an2.data(), an2.size(), Addr("127.0.0.6"), 1);
    ASSERT_TRUE(store_.Has(informed));

    EXPECT_TRUE(WaitFor([&] { return !store_.Has(informed); }));
    auto left = link_->PresenceSnapshot();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].mac, announced);
}

TEST_F(Engine, RetransmitterThreadHonoursTheRetrySettings) {
    for (int retries : {3, 1, 0}) {
        auto link = std::make_unique<DeviceLink>();
        link->SetAdapterSource(source_);
        Listener device(kPortHeartbeat);
        ASSERT_TRUE(link->Start(retries, 20));
        ASSERT_TRUE(link->SendToDevice("127.0.0.5", MsgType::Reboot, nullptr, 0,
                                       "00:1a:2b:3c:4d:5e", true));
        ASSERT_TRUE(WaitFor([&] { return link->PendingSnapshot().empty(); }));
        link->Shutdown();
        size_t reboots = 0;
        for (const auto& h : device.Drain())
            reboots += h.header().type() == ToCode(MsgType::Reboot) ? 1 : 0;
        EXPECT_EQ(reboots, static_cast<size_t>(retries + 1)) << "retry count " << retries;
    }
}

TEST_F(Engine, ShutdownReleasesEveryTrackedDeviceAndStopsEveryThreadPromptly) {
    link_->SetPresenceTickMs(kLongInterval);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    std::vector<std::string> macs;
    for (int i = 0; i < 5; ++i) {
        macs.push_back(MacOf(i));
        std::string ip = "127.0.0." + std::to_string(10 + i);
        auto an = DeviceMessage(MsgType::Announce, macs.back(), AnnouncePayload("V", "", "", 0, 0));
        link_->ProcessDatagram(kPortAnnounce, an.data(), an.size(), Addr(ip), 1);
        if (i % 2 == 0) {
            auto info =
                DeviceMessage(MsgType::DeviceInfo, macs.back(), InfoFor(ip, "d", 1).ToVector());
            link_->ProcessDatagram(kPortReply, info.data(), info.size(), Addr(ip), 1);
        }
    }
    Listener device(kPortHeartbeat);
    const size_t before = ThreadCount();
    link_->Shutdown();
    // Joined threads may linger in /proc for a moment after they ended.
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() == before - 8; }));

    std::vector<std::string> released;
    for (const auto& h : device.Drain()) {
        ASSERT_EQ(h.header().type(), ToCode(MsgType::Release));
        EXPECT_EQ(h.bytes.size(), 16u);
        released.push_back(MacBytesToText(h.header().mac()));
    }
    EXPECT_EQ(released, macs);

    auto times = link_->LastStopTimes();
    ASSERT_EQ(times.size(), 8u);
    auto slowest = *std::max_element(times.begin(), times.end());
    RecordProperty("slowest_thread_stop_us", static_cast<int>(slowest.count()));
    for (auto t : times) EXPECT_LT(t, kStopCeiling);

    // Shutdown is idempotent: nothing is sent twice.
    link_->Shutdown();
    EXPECT_TRUE(device.Drain().empty());
}

}  // namespace
}  // namespace kestrix::testing
