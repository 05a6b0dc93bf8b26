// The presence list's indexes and the pending list's ordering, checked
// against what a plain walk over the entries would give.

#include <random>

#include <gtest/gtest.h>

#include "link/pending_list.h"
#include "link/presence_list.h"

namespace kestrix {
namespace {

PresenceEntry Make(const std::string& mac, const std::string& ip, PresenceState state) {
    PresenceEntry e;
    e.mac = mac;
    e.ip = ip;
    e.state = state;
    e.countdown = kPresenceCountdown;
    return e;
}

// What the indexed lookups must agree with.
const PresenceEntry* PlainLastInformedAt(const std::vector<PresenceEntry>& all,
                                         const std::string& ip) {
    const PresenceEntry* last = nullptr;
    for (const auto& e : all)
        if (e.state == PresenceState::Informed && e.ip == ip) last = &e;
    return last;
}

TEST(PresenceList, IndexesAgreeWithAPlainWalkThroughRandomChanges) {
    std::mt19937 rng(7);
    PresenceList list;
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 4000; ++step) {
        std::string mac = "m" + std::to_string(pick(60));
        std::string ip = "10.0.0." + std::to_string(pick(8));
        PresenceEntry* e = list.FindByMac(mac);
        switch (pick(5)) {
            case 0:
                if (!e)
                    list.Append(Make(mac, ip,
                                     pick(2) ? PresenceState::Informed : PresenceState::Announced));
                break;
            case 1:
                if (e) list.SetIp(*e, ip);
                break;
            case 2:
                if (e)
                    list.SetState(*e, pick(2) ? PresenceState::Informed : PresenceState::Announced);
                break;
            case 3:
                list.RemoveIf([&](PresenceEntry& x) { return x.mac == mac; });
                break;
            default:
                break;
        }
        std::vector<PresenceEntry> all;
        list.ForEach([&](const PresenceEntry& x) { all.push_back(x); });
        const PresenceEntry* plain = PlainLastInformedAt(all, ip);
        PresenceEntry* indexed = list.FindLastInformedAt(ip);
        ASSERT_EQ(plain == nullptr, indexed == nullptr) << "step " << step;
        if (plain) {
            ASSERT_EQ(plain->mac, indexed->mac) << "step " << step;
        }
        bool elsewhere = false;
        for (const auto& x : all)
            elsewhere |= x.state == PresenceState::Informed && x.ip == ip && x.mac != mac;
        ASSERT_EQ(list.InformedElsewhere(ip, mac), elsewhere) << "step " << step;
    }
}

TEST(PresenceList, RemoveIfKeepsOrderAndReportsRemovedMacsInOrder) {
    PresenceList list;
    for (int i = 0; i < 6; ++i)
        list.Append(Make("m" + std::to_string(i), "ip", PresenceState::Announced));
    auto removed = list.RemoveIf([](PresenceEntry& e) { return e.mac == "m1" || e.mac == "m4"; });
    EXPECT_EQ(removed, (std::vector<std::string>{"m1", "m4"}));
    std::vector<std::string> left;
    list.ForEach([&](const PresenceEntry& e) { left.push_back(e.mac); });
    EXPECT_EQ(left, (std::vector<std::string>{"m0", "m2", "m3", "m5"}));
    EXPECT_EQ(list.FindByMac("m4"), nullptr);
    EXPECT_NE(list.FindByMac("m5"), nullptr);
}

PendingCommand Command(const std::string& target, uint16_t type, uint8_t tag, int retries = 3) {
    PendingCommand c;
    c.retriesLeft = retries;
    c.target = target;
    c.type = type;
    c.payload = {tag};
    c.mac = "00:00:00:00:00:01";
    return c;
}

TEST(PendingList, AcknowledgeRemovesTheOldestMatchOnly) {
    PendingList list;
    list.Register(Command("10.0.0.1", 8, 1));
    list.Register(Command("10.0.0.2", 8, 2));
    list.Register(Command("10.0.0.1", 8, 3));
    list.Register(Command("10.0.0.1", 9, 4));
    EXPECT_FALSE(list.Acknowledge("10.0.0.1", 8, "00:00:00:00:00:02"));
    EXPECT_TRUE(list.Acknowledge("10.0.0.1", 8, "00:00:00:00:00:01"));
    auto left = list.Snapshot();
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[0].payload[0], 2);
    EXPECT_EQ(left[1].payload[0], 3);
    EXPECT_TRUE(list.Acknowledge("10.0.0.1", 8, "00:00:00:00:00:01"));
    EXPECT_FALSE(list.Acknowledge("10.0.0.1", 8, "00:00:00:00:00:01"));
}

TEST(PendingList, PassesResendUntilRetriesRunOutAndExpiredEntriesLeaveTheIndex) {
    PendingList list;
    list.Register(Command("10.0.0.1", 9, 1, 2));
    list.Register(Command("10.0.0.1", 9, 2, 0));
    std::vector<uint8_t> resent;
    auto pass = [&] {
        list.RetransmitPass([&](const PendingCommand& c) { resent.push_back(c.payload[0]); },
                            [] { return false; });
    };
    pass();  // 1 resent (2 -> 1), 2 expires
    pass();  // 1 resent (1 -> 0)
    pass();  // 1 expires
    EXPECT_EQ(resent, (std::vector<uint8_t>{1, 1}));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_FALSE(list.Acknowledge("10.0.0.1", 9, "00:00:00:00:00:01"));
    list.Register(Command("10.0.0.1", 9, 3));
    EXPECT_TRUE(list.Acknowledge("10.0.0.1", 9, "00:00:00:00:00:01"));
}

TEST(PendingList, AStoppedPassLeavesTheCommandsItHasNotReachedAsTheyWere) {
    for (int stopAfter : {0, 1, 3}) {
        PendingList list;
        for (uint8_t i = 0; i < 5; ++i) list.Register(Command("10.0.0.1", 9, i, 2));
        std::vector<uint8_t> resent;
        list.RetransmitPass([&](const PendingCommand& c) { resent.push_back(c.payload[0]); },
                            [&] { return static_cast<int>(resent.size()) >= stopAfter; });
        EXPECT_EQ(resent.size(), static_cast<size_t>(stopAfter));
        const auto left = list.Snapshot();
        ASSERT_EQ(left.size(), 5u);
        for (size_t i = 0; i < left.size(); ++i)
            EXPECT_EQ(left[i].retriesLeft, static_cast<int>(i) < stopAfter ? 1 : 2) << i;
    }
}

}  // namespace
}  // namespace kestrix
