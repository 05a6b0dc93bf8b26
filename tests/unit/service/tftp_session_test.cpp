// The transfer state machine against a scripted client: whole files arrive
// byte for byte with any block and window size, across the block-number
// rollover, through lost packets, and a silent client ends the session.

#include "service/tftp_session.h"

#include <deque>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace kestrix::tftp {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> out(size);
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

TransferOptions Options(uint32_t block, uint32_t window, bool oack) {
    TransferOptions o;
    o.block_size = block;
    o.window_size = window;
    if (oack) o.accepted = {{"blksize", std::to_string(block)}};
    return o;
}

std::vector<uint8_t> Ack(uint16_t block) {
    return {0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
}

// A client that acknowledges the last in-order block at the end of each
// window, at the final block, and when a block comes out of order; lost
// packets (either way) are chosen by `lose`.
struct Client {
    uint32_t window = 1;
    uint32_t block = 512;
    std::vector<uint8_t> received;
    uint16_t last = 0;  // last in-order block number
    uint32_t in_window = 0;
    bool finished = false;
    uint64_t data_packets = 0;
};

struct Outcome {
    std::vector<uint8_t> received;
    SessionResult result;
    uint64_t bytes_acked;
    uint64_t data_packets;
};

Outcome RunTransfer(const std::vector<uint8_t>& file, TransferOptions options, double loss,
                    unsigned seed) {
    Client client;
    client.window = options.window_size;
    client.block = options.block_size;
    std::mt19937 rng(seed);
    std::bernoulli_distribution lose(loss);
    std::deque<std::vector<uint8_t>> to_client;
    auto send = [&](std::span<const uint8_t> p) {
        if (!lose(rng)) to_client.emplace_back(p.begin(), p.end());
    };
    bool oack = !options.accepted.empty();
    Session session(MakeMemorySource(file, false), std::move(options), SessionLimits{1000ms, 5});
    auto now = Clock::time_point{};
    session.Start(now, send);
    for (int guard = 0; guard < 10'000'000 && !session.Done(); ++guard) {
        if (to_client.empty()) {
            now = session.Deadline();
            session.OnTimer(now, send);
            continue;
        }
        auto p = std::move(to_client.front());
        to_client.pop_front();
        std::vector<uint8_t> reply;
        if (p[1] == static_cast<uint8_t>(Opcode::kOack)) {
            EXPECT_TRUE(oack);
            reply = Ack(0);
        } else if (p[1] == static_cast<uint8_t>(Opcode::kData)) {
            ++client.data_packets;
            uint16_t number = static_cast<uint16_t>((p[2] << 8) | p[3]);
            if (number == static_cast<uint16_t>(client.last + 1) && !client.finished) {
                client.received.insert(client.received.end(), p.begin() + 4, p.end());
                client.last = number;
                bool final = p.size() - 4 < client.block;
                if (final) client.finished = true;
                if (++client.in_window == client.window || final) {
                    client.in_window = 0;
                    reply = Ack(client.last);
                }
            } else {
                // Out of order, or a repeat after our ACK was lost.
                client.in_window = 0;
                reply = Ack(client.last);
            }
        } else {
            ADD_FAILURE() << "unexpected opcode " << int(p[1]);
            break;
        }
        if (!reply.empty() && !lose(rng)) session.OnDatagram(reply, now, send);
    }
    return {client.received, session.Result(), session.BytesAcked(), client.data_packets};
}

TEST(TftpSession, DeliversWholeFiles) {
    struct Case {
        size_t size;
        uint32_t block, window;
        bool oack;
        double loss;
    };
    const Case cases[] = {
        {0, 512, 1, false, 0},
        {1, 512, 1, true, 0},
        {511, 512, 1, false, 0},
        {512, 512, 1, false, 0},  // a full last block is followed by an empty one
        {513, 512, 1, true, 0},
        {100'000, 1428, 1, true, 0},
        {100'000, 65464, 1, true, 0},
        {65464 * 3, 65464, 4, true, 0},
        {100'000, 512, 8, true, 0},
        {100'000, 512, 7, true, 0},
        // More than 65 535 blocks: the block number wraps to 0 and goes on.
        {8 * 70'000 + 3, 8, 1, true, 0},
        {8 * 140'000, 8, 16, true, 0},
        // Loss either way: retransmissions fill every gap.
        {50'000, 512, 1, true, 0.1},
        {50'000, 512, 8, true, 0.1},
        {8 * 66'000, 8, 4, true, 0.05},
    };
    unsigned seed = 1;
    for (const auto& c : cases) {
        auto file = Pattern(c.size);
        auto out = RunTransfer(file, Options(c.block, c.window, c.oack), c.loss, seed++);
        std::string label = std::to_string(c.size) + "/" + std::to_string(c.block) + "/w" +
                            std::to_string(c.window) + "/loss" + std::to_string(c.loss);
        EXPECT_EQ(out.result, SessionResult::kComplete) << label;
        EXPECT_TRUE(out.received == file) << label << ": got " << out.received.size();
        EXPECT_EQ(out.bytes_acked, c.size) << label;
        if (c.loss == 0) {
            // Without loss no block is sent twice.
            EXPECT_EQ(out.data_packets, c.size / c.block + 1) << label;
        }
    }
}

TEST(TftpSession, SilentPeerEndsAfterBoundedRetries) {
    for (int retries : {0, 1, 5}) {
        int sends = 0;
        bool error_sent = false;
        auto send = [&](std::span<const uint8_t> p) {
            if (p[1] == static_cast<uint8_t>(Opcode::kError)) {
                error_sent = true;
            } else {
                ++sends;
            }
        };
        auto options = Options(512, 4, true);
        options.timeout = 3s;
        Session s(MakeMemorySource(Pattern(10'000), false), options,
                  SessionLimits{1000ms, retries});
        auto now = Clock::time_point{};
        s.Start(now, send);
        // The client's own timeout replaces the default interval.
        EXPECT_EQ(s.Deadline() - now, 3s);
        s.OnTimer(now + 2s, send);  // not yet due
        EXPECT_EQ(sends, 1);
        while (!s.Done()) {
            now = s.Deadline();
            s.OnTimer(now, send);
        }
        EXPECT_EQ(sends, 1 + retries);
        // The client's timeout is kept exactly: retries are 3 s apart.
        EXPECT_EQ(now, Clock::time_point{} + 3s * (retries + 1));
        EXPECT_TRUE(error_sent);
        EXPECT_EQ(s.Result(), SessionResult::kTimedOut);
    }
}

TEST(TftpSession, PeerPacketsThatEndOrAreIgnored) {
    struct Case {
        const char* what;
        std::vector<uint8_t> packet;
        bool done;
        SessionResult result;
        int sends;  // packets the session sent in answer
    };
    const Case cases[] = {
        {"duplicate ACK of the previous block", Ack(0), false, SessionResult::kRunning, 0},
        {"ACK far beyond the window", Ack(40), false, SessionResult::kRunning, 0},
        {"peer error", {0, 5, 0, 8, 'n', 'o', 0}, true, SessionResult::kPeerError, 0},
        {"DATA from a reader", {0, 3, 0, 1, 'x'}, true, SessionResult::kProtocolError, 1},
        {"short garbage", {0}, true, SessionResult::kProtocolError, 1},
        {"ACK of block 1 moves on", Ack(1), false, SessionResult::kRunning, 1},
    };
    for (const auto& c : cases) {
        int sends = 0;
        auto send = [&](std::span<const uint8_t>) { ++sends; };
        Session s(MakeMemorySource(Pattern(5000), false), Options(512, 1, false), {});
        s.Start({}, send);
        sends = 0;
        s.OnDatagram(c.packet, {}, send);
        EXPECT_EQ(s.Done(), c.done) << c.what;
        EXPECT_EQ(s.Result(), c.result) << c.what;
        EXPECT_EQ(sends, c.sends) << c.what;
    }
}

TEST(TftpSession, OackWaitsForAckZero) {
    std::vector<std::vector<uint8_t>> sent;
    auto send = [&](std::span<const uint8_t> p) { sent.emplace_back(p.begin(), p.end()); };
    Session s(MakeMemorySource(Pattern(600), false), Options(512, 1, true), {});
    s.Start({}, send);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][1], static_cast<uint8_t>(Opcode::kOack));
    s.OnDatagram(Ack(1), {}, send);  // not an answer to the OACK
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_FALSE(s.Progressed());
    s.OnDatagram(Ack(0), {}, send);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(sent[1].begin(), sent[1].begin() + 4),
              (std::vector<uint8_t>{0, 3, 0, 1}));
    EXPECT_EQ(sent[1].size(), 4u + 512u);
}

}  // namespace
}  // namespace kestrix::tftp

namespace kestrix::tftp {
namespace {

TEST(TftpSession, RetriesBackOffWhenTheClientNamedNoTimeout) {
    auto send = [](std::span<const uint8_t>) {};
    Session s(MakeMemorySource(Pattern(10'000), false), Options(512, 1, false),
              SessionLimits{1000ms, 5});
    auto now = Clock::time_point{};
    s.Start(now, send);
    std::vector<Clock::duration> gaps;
    while (!s.Done()) {
        gaps.push_back(s.Deadline() - now);
        now = s.Deadline();
        s.OnTimer(now, send);
    }
    EXPECT_EQ(gaps, (std::vector<Clock::duration>{1s, 2s, 3s, 3s, 3s, 3s}));
}

}  // namespace
}  // namespace kestrix::tftp
