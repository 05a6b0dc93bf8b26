// Building datagrams and accepting them: sizes, magic, the per-port type
// filter, the zeroed receive area and payloads read only as far as their
// structures reach.

#include <arpa/inet.h>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/unit/link/wire/wire_test_util.h"

namespace kestrix {
namespace {

using test::Pat;

// A datagram of `size` bytes whose header says magic, `type` and `length`
// and whose payload is the test pattern.
std::vector<uint8_t> Datagram(uint16_t type, size_t size, uint16_t length) {
    std::vector<uint8_t> d(size, 0);
    for (size_t i = kHeaderSize; i < size; ++i) d[i] = Pat(i - kHeaderSize);
    if (size >= 2) {
        d[0] = 0x86;
        d[1] = 0x19;
    }
    if (size >= 6) {
        d[4] = static_cast<uint8_t>(type);
        d[5] = static_cast<uint8_t>(type >> 8);
    }
    if (size >= 16) {
        d[14] = static_cast<uint8_t>(length);
        d[15] = static_cast<uint8_t>(length >> 8);
    }
    return d;
}

std::vector<uint8_t> Datagram(uint16_t type, size_t size) {
    const size_t len = size > kHeaderSize ? size - kHeaderSize : 0;
    return Datagram(type, size, static_cast<uint16_t>(len));
}

std::optional<ReceivedPacket> Accept(const std::vector<uint8_t>& d, uint16_t port) {
    return AcceptDatagram(d.data(), d.size(), port, htonl(0xC6120005), 9786);  // 198.18.0.5
}

TEST(AcceptDatagram, SizeLimits) {
    EXPECT_FALSE(Accept(Datagram(1, 15), kPortAnnounce));
    EXPECT_TRUE(Accept(Datagram(1, 16), kPortAnnounce));
    EXPECT_TRUE(Accept(Datagram(2, 1472), kPortReply));
    EXPECT_FALSE(Accept(Datagram(2, 1473), kPortReply));
    EXPECT_FALSE(Accept(Datagram(2, 9000), kPortReply));
    EXPECT_FALSE(AcceptDatagram(nullptr, 0, kPortReply, 0, 0));
}

TEST(AcceptDatagram, MagicMustBeLittleEndian) {
    auto d = Datagram(1, 16);
    d[0] = 0x19;
    d[1] = 0x86;
    EXPECT_FALSE(Accept(d, kPortAnnounce));
    d[0] = 0x86;
    d[1] = 0x18;
    EXPECT_FALSE(Accept(d, kPortAnnounce));
}

TEST(AcceptDatagram, EachPortKeepsItsTypes) {
    for (uint16_t type = 0; type <= 20; ++type) {
        const auto d = Datagram(type, 16);
        EXPECT_EQ(Accept(d, kPortAnnounce).has_value(), type == 1) << type;
        EXPECT_EQ(Accept(d, kPortHeartbeat).has_value(), type == 15) << type;
        EXPECT_TRUE(Accept(d, kPortReply).has_value()) << type;
        EXPECT_FALSE(Accept(d, kPortSearch).has_value()) << type;
    }
    // A heartbeat on the reply port is a reply of type 15; on the announce
    // port it is dropped.
    const auto hb = Accept(Datagram(15, 16 + 40), kPortReply);
    ASSERT_TRUE(hb);
    EXPECT_EQ(hb->type(), 15);
    EXPECT_FALSE(Accept(Datagram(15, 16 + 40), kPortAnnounce));
    // The high byte of the type counts: 0x0101 is not an Announce.
    EXPECT_FALSE(Accept(Datagram(0x0101, 16), kPortAnnounce));
}

TEST(AcceptDatagram, CopiesIntoAZeroedAreaAndKeepsTheSender) {
    // The caller's buffer holds junk after the datagram; none of it may show.
    auto buf = Datagram(2, 40);
    buf[2] = 0x0F;  // device type 15
    const uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(std::begin(mac), std::end(mac), buf.begin() + 8);
    buf.resize(200, 0xEE);
    const auto p = AcceptDatagram(buf.data(), 40, kPortReply, htonl(0xC6120005), 9788);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->size, 40);
    for (size_t i = 40; i < kMaxDatagram; ++i) ASSERT_EQ(p->area[i], 0) << i;
    EXPECT_EQ(p->sender_text(), "198.18.0.5");
    EXPECT_EQ(p->sender_port, 9788);
    EXPECT_EQ(p->mac_text(), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(p->device_type(), 15);
    EXPECT_EQ(p->header().device_type(), 15);
    EXPECT_EQ(p->payload_length(), 24u);
}

TEST(AcceptDatagram, EmptyAnnounceTakesOnlyAZeroVersion) {
    const auto p = Accept(Datagram(1, 16), kPortAnnounce);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->payload_length(), 0u);
    const auto an = p->PayloadAs<AnnounceBlock>();
    EXPECT_EQ(an, AnnounceBlock());
    EXPECT_EQ(an.version(), "");
}

TEST(AcceptDatagram, ShortPayloadReadsAsZeros) {
    // A device-information reply cut after 100 bytes: the wireless block and
    // everything after it read as zero.
    const auto p = Accept(Datagram(2, 16 + 100), kPortReply);
    ASSERT_TRUE(p);
    const auto info = p->PayloadAs<DeviceInfoBlock>();
    for (size_t i = 0; i < 100; ++i) ASSERT_EQ(info.data()[i], Pat(i)) << i;
    for (size_t i = 100; i < DeviceInfoBlock::kSize; ++i) ASSERT_EQ(info.data()[i], 0) << i;
}

TEST(AcceptDatagram, LengthFieldIsTrustedOnlyAsFarAsTheDatagram) {
    // The header claims 756 bytes, 30 arrived: the rest reads as zero.
    const auto big = Accept(Datagram(2, 16 + 30, 756), kPortReply);
    ASSERT_TRUE(big);
    const auto info = big->PayloadAs<DeviceInfoBlock>();
    EXPECT_EQ(info.data()[29], Pat(29));
    EXPECT_EQ(info.data()[30], 0);

    // A length field beyond any datagram is held to the largest payload.
    const auto huge = Accept(Datagram(2, 16 + 10, 0xFFFF), kPortReply);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->payload_length(), kMaxPayload);

    // The header says 33 although more arrived: an Announce of 33 bytes
    // carries only its version, the rest is not read.
    const auto an = Accept(Datagram(1, 16 + 112, 33), kPortAnnounce);
    ASSERT_TRUE(an);
    const auto block = an->PayloadAs<AnnounceBlock>();
    EXPECT_EQ(block.data()[32], Pat(32));
    EXPECT_EQ(block.work_mode(), 0);
    EXPECT_EQ(block.up_time(), 0u);
}

TEST(AcceptDatagram, LongPayloadIsCutToTheStructure) {
    const auto p = Accept(Datagram(1, 16 + 300), kPortAnnounce);
    ASSERT_TRUE(p);
    const auto an = p->PayloadAs<AnnounceBlock>();
    for (size_t i = 0; i < AnnounceBlock::kSize; ++i) ASSERT_EQ(an.data()[i], Pat(i));
}

TEST(BuildMessage, HeaderAndPayloadExactly) {
    const std::vector<uint8_t> payload = {1, 2, 3, 4, 5};
    const auto m =
        BuildMessage(MsgType::SetName, "00:1A:2b:3c:4d:5e", payload.data(), payload.size(), true);
    const std::vector<uint8_t> expected = {0x86, 0x19, 0,    0, 8, 0, 1, 0, 0x00, 0x1A, 0x2B,
                                           0x3C, 0x4D, 0x5E, 5, 0, 1, 2, 3, 4,    5};
    EXPECT_EQ(m, expected);

    // A search broadcast: no MAC, no multicast flag, no payload.
    const auto s = BuildMessage(MsgType::Announce, "", nullptr, 0, false);
    const std::vector<uint8_t> search = {0x86, 0x19, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(s, search);

    // Devices put their own type code in.
    const auto dev = BuildMessage(15, MacBytes{1, 2, 3, 4, 5, 6}, nullptr, 0, false, 0x0110);
    EXPECT_EQ(dev[2], 0x10);
    EXPECT_EQ(dev[3], 0x01);
    EXPECT_EQ(dev[4], 15);
    EXPECT_EQ(dev[13], 6);
}

TEST(BuildMessage, PayloadIsCutAt1456AndAcceptedBack) {
    const auto payload = test::PatternBytes(2000);
    const auto m = BuildMessage(MsgType::DeviceInfo, "", payload.data(), payload.size(), true);
    ASSERT_EQ(m.size(), kMaxDatagram);
    EXPECT_EQ(m[14] | (m[15] << 8), 1456);
    EXPECT_EQ(m.back(), Pat(1455));

    const auto p = AcceptDatagram(m.data(), m.size(), kPortReply, 0, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type(), ToCode(MsgType::DeviceInfo));
    EXPECT_EQ(p->header().multicast(), 1);
    EXPECT_EQ(p->payload_length(), 1456u);
}

config_otherwl_basic Neighbour(uint8_t n) {
    config_otherwl_basic e;
    e.set_mac({0x02, 0, 0, 0, 0, n});
    e.set_signal(static_cast<int8_t>(-40 - n));
    e.set_channel(static_cast<uint8_t>(n % 13 + 1));
    e.set_ssid("cell-" + std::to_string(n));
    e.set_bandwidth(1);
    return e;
}

TEST(NeighbourReport, RoundTripThroughADatagram) {
    std::vector<config_otherwl_basic> entries;
    for (uint8_t i = 0; i < 3; ++i) entries.push_back(Neighbour(i));
    const auto payload = BuildNeighbourReportPayload(2, 1, entries);
    EXPECT_EQ(payload.size(), 3u + 3 * 44);
    const auto m = BuildMessage(6, MacBytes{}, payload.data(), payload.size(), false);
    const auto p = AcceptDatagram(m.data(), m.size(), kPortReply, 0, 0);
    ASSERT_TRUE(p);
    const auto r = ParseNeighbourReport(*p);
    EXPECT_EQ(r.packet_count, 2);
    EXPECT_EQ(r.packet_id, 1);
    EXPECT_EQ(r.icount, 3);
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[2].ssid(), "cell-2");
    EXPECT_EQ(r.entries[2].signal(), -42);
    EXPECT_EQ(r.entries[1], entries[1]);
}

TEST(NeighbourReport, AtMost32EntriesWhateverIcountSays) {
    auto payload = test::PatternBytes(kMaxPayload);
    payload[2] = 40;
    const auto r = ParseNeighbourReport(payload.data(), payload.size());
    EXPECT_EQ(r.icount, 40);
    ASSERT_EQ(r.entries.size(), 32u);
    for (size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(r.entries[i], config_otherwl_basic(payload.data() + 3 + 44 * i)) << i;
    }

    // The builder never writes more than 32 either.
    std::vector<config_otherwl_basic> many(40, Neighbour(1));
    const auto built = BuildNeighbourReportPayload(1, 0, many);
    EXPECT_EQ(built.size(), 3u + 32 * 44);
    EXPECT_EQ(built[2], 32);
}

TEST(NeighbourReport, EntriesBeyondThePayloadAreNotRead) {
    auto payload = test::PatternBytes(3 + 44 * 2 + 20);  // two whole entries and part of one
    payload[2] = 5;
    EXPECT_EQ(ParseNeighbourReport(payload.data(), payload.size()).entries.size(), 2u);

    // The length field claims a full report; only what arrived is read.
    auto d = Datagram(6, 16 + 3 + 44 * 2 + 20, 1414);
    d[16 + 2] = 5;
    const auto p = Accept(d, kPortReply);
    ASSERT_TRUE(p);
    EXPECT_EQ(ParseNeighbourReport(*p).entries.size(), 2u);

    // Nothing at all, or a header only.
    EXPECT_TRUE(ParseNeighbourReport(nullptr, 100).entries.empty());
    const uint8_t head[] = {1, 0, 9};
    const auto r = ParseNeighbourReport(head, sizeof head);
    EXPECT_EQ(r.icount, 9);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_EQ(ParseNeighbourReport(head, 2).icount, 0);
}

}  // namespace
}  // namespace kestrix
