// The started link under load: commands leave from the heartbeat socket
// byte for byte as before without taking heartbeats away from the heartbeat
// receiver, the receive queues stay within their byte budget, and calls made
// while the link shuts down are refused without touching what goes away.

#include <atomic>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "tests/support/fake_link_store.h"
#include "tests/unit/link/link_test_util.h"

namespace kestrix::testing {
namespace {

constexpr int kLongInterval = 3600 * 1000;

std::string MacOf(int i) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:01:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
    return text;
}

class UnderLoad : public ::testing::Test {
protected:
    void SetUp() override {
        link_->SetStore(&store_);
        link_->SetAdapterSource(source_);
        link_->SetPresenceTickMs(kLongInterval);
    }
    FakeLinkStore store_;
    // Two addresses in one subnet: every command goes out twice.
    std::shared_ptr<FakeAdapterSource> source_ = std::make_shared<FakeAdapterSource>(
        std::vector<AdapterRecord>{LoopbackAdapter(), Adapter("lo", "02:00:00:00:00:02",
                                                              {{"127.0.0.2", "255.0.0.0", ""}})});
    std::unique_ptr<DeviceLink> link_ = std::make_unique<DeviceLink>();
};

TEST_F(UnderLoad, CommandsLeaveFromEachAdapterAddressAndTheHeartbeatPortByteForByte) {
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    Listener device(kPortHeartbeat);
    const std::string mac = "00:1a:2b:3c:4d:5e";
    const std::vector<uint8_t> payload = {1, 2, 3, 4, 5};
    ASSERT_TRUE(link_->SendToDevice("127.0.0.9", MsgType::SetName, payload.data(), 5, mac, false));
    const auto expected =
        BuildMessage(ToCode(MsgType::SetName), MacTextToBytes(mac), payload.data(), 5, true);
    auto heard = device.Drain();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].from, "127.0.0.1");
    EXPECT_EQ(heard[1].from, "127.0.0.2");
    for (const auto& h : heard) {
        EXPECT_EQ(h.fromPort, kPortHeartbeat);
        EXPECT_EQ(h.bytes, expected);
    }
    // The link does not hear its own multicast.
    EXPECT_EQ(link_->GetCounters().queued[1], 0u);
}

TEST_F(UnderLoad, EveryHeartbeatReachesTheHeartbeatReceiverWhileCommandsGoOut) {
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    std::atomic<bool> sending{true};
    std::atomic<int> commands{0};
    std::thread worker([&] {
        while (sending) {
            link_->SendToDevice("127.0.0.9", MsgType::Reboot, nullptr, 0, "00:1a:2b:3c:4d:5e",
                                false);
            ++commands;
        }
    });
    Listener sender(40001);
    const auto heartbeat =
        DeviceMessage(MsgType::Heartbeat, "00:1a:2b:3c:4d:5f", HeartbeatPayload("V", 1));
    constexpr int kHeartbeats = 3000, kBurst = 50;
    bool caughtUp = true;
    for (int sent = 0; sent < kHeartbeats && caughtUp; sent += kBurst) {
        for (int i = 0; i < kBurst; ++i) sender.SendTo("127.0.0.1", kPortHeartbeat, heartbeat);
        // In bursts the receive buffer can hold, so only a heartbeat handed
        // to another socket can be missing.
        caughtUp = WaitFor(
            [&] { return link_->GetCounters().queued[1] == static_cast<uint64_t>(sent + kBurst); });
    }
    sending = false;
    worker.join();
    EXPECT_TRUE(caughtUp);
    EXPECT_EQ(link_->GetCounters().queued[1], static_cast<uint64_t>(kHeartbeats));
    EXPECT_GT(commands.load(), 0);
}

TEST_F(UnderLoad, QueuesHoldWhatFitsTheirByteBudgetCountingOnlyTheBytesThatArrived) {
    constexpr size_t kBudget = 64 * 1024;
    link_->SetQueueByteBudget(kBudget);
    link_->PauseProcessors(true);
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    Listener sender(40002);
    // Short heartbeats and full-size announcements: the budget holds many
    // more of the first.
    const auto shortOne = DeviceMessage(MsgType::Heartbeat, MacOf(1), {});
    std::vector<uint8_t> big = AnnouncePayload("V", "", "", 0, 0);
    big.resize(kMaxDatagram - kHeaderSize, 0x55);
    const auto longOne = DeviceMessage(MsgType::Announce, MacOf(2), big);
    const struct {
        size_t channel;
        uint16_t port;
        const std::vector<uint8_t>* datagram;
    } cases[] = {{1, kPortHeartbeat, &shortOne}, {0, kPortAnnounce, &longOne}};
    for (const auto& c : cases) {
        const size_t fits = kBudget / (c.datagram->size() + 64);
        const size_t sent = fits + 40;
        for (size_t i = 0; i < sent; ++i) {
            sender.SendTo("127.0.0.1", c.port, *c.datagram);
            if (i % 50 == 49)
                WaitFor([&] {
                    auto n = link_->GetCounters();
                    return n.queued[c.channel] + n.dropped[c.channel] == i + 1;
                });
        }
        ASSERT_TRUE(WaitFor([&] {
            auto n = link_->GetCounters();
            return n.queued[c.channel] + n.dropped[c.channel] == sent;
        }));
        auto n = link_->GetCounters();
        EXPECT_EQ(n.queued[c.channel], fits) << "port " << c.port;
        EXPECT_EQ(n.dropped[c.channel], sent - fits) << "port " << c.port;
    }
    // Handled datagrams give their bytes back: once the processor has been
    // through the queue, it takes new ones again.
    link_->PauseProcessors(false);
    const uint64_t before = link_->GetCounters().queued[0];
    EXPECT_TRUE(WaitFor([&] {
        sender.SendTo("127.0.0.1", kPortAnnounce, longOne);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return link_->GetCounters().queued[0] > before;
    }));
}

TEST_F(UnderLoad, AWorkerSendingThroughShutdownIsRefusedAndSendsNothingAfterIt) {
    ASSERT_TRUE(link_->Start(3, kLongInterval));
    Listener device(kPortHeartbeat);
    std::atomic<bool> started{false};
    std::atomic<int> accepted{0};
    std::atomic<int> refusedAfter{0};
    std::atomic<bool> shutDown{false};
    std::thread worker([&] {
        // Sends until refused, then a few more times once shutdown is over.
        for (;;) {
            const bool ok = link_->SendToDevice("127.0.0.9", MsgType::Reboot, nullptr, 0,
                                                "00:1a:2b:3c:4d:5e", true);
            started = true;
            if (!ok) break;
            ++accepted;
        }
        while (!shutDown) std::this_thread::yield();
        for (int i = 0; i < 10; ++i) {
            std::vector<ap_info_stu> out;
            link_->ListAnnounced(out, "", 10);
            link_->Search();
            link_->ReleaseAnnounced();
            if (!link_->SendToDevice("127.0.0.9", MsgType::Reboot, nullptr, 0, "00:1a:2b:3c:4d:5e",
                                     true) &&
                out.empty())
                ++refusedAfter;
        }
    });
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    link_->Shutdown();
    shutDown = true;
    worker.join();
    EXPECT_EQ(refusedAfter.load(), 10);
    // Each accepted command went out twice (two adapters); nothing else did.
    size_t reboots = 0;
    for (const auto& h : device.Drain())
        reboots += h.header().type() == ToCode(MsgType::Reboot) ? 1 : 0;
    EXPECT_EQ(reboots, 2u * static_cast<size_t>(accepted.load()));
    EXPECT_TRUE(link_->PendingSnapshot().empty());
}

}  // namespace
}  // namespace kestrix::testing
