// The command payloads the tool sends: sizes by device type, the bytes each
// one carries and the send rule applied to the texts inside them.

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/unit/link/wire/wire_test_util.h"

namespace kestrix {
namespace {

using test::kWen;
using test::kZhong;
using test::Pat;

TEST(NamePayload, AsciiNameOf32BytesHasNoTerminator) {
    const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    ASSERT_EQ(name.size(), 32u);
    const NameBlock b = BuildNamePayload(name);
    EXPECT_EQ(b.size(), 33u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 32), name);
    EXPECT_EQ(b.data()[32], 32);
}

TEST(NamePayload, ChineseNameGoesAsUtf8WithItsByteCount) {
    const NameBlock b = BuildNamePayload("AP-" + kZhong);
    EXPECT_EQ(b.ap_name_len(), 6);
    const std::vector<uint8_t> head(b.data(), b.data() + 7);
    EXPECT_EQ(head, (std::vector<uint8_t>{'A', 'P', '-', 0xE4, 0xB8, 0xAD, 0}));

    // Eleven characters are 33 bytes: the eleventh does not fit and is not
    // sent in part.
    std::string eleven;
    for (int i = 0; i < 11; ++i) eleven += (i % 2 ? kWen : kZhong);
    const NameBlock cut = BuildNamePayload(eleven);
    EXPECT_EQ(cut.ap_name_len(), 30);
    EXPECT_EQ(cut.ap_name(), eleven.substr(0, 30));
}

WirelessBlock PatternWireless() {
    auto raw = test::PatternBytes(WirelessBlock::kSize);
    raw[63] = 0xFF;  // an SSID length byte that overstates
    return WirelessBlock(raw.data());
}

TEST(SetWirelessPayload, ExtensionOnlyForTypes15And18) {
    const WirelessBlock w = PatternWireless();
    for (uint16_t type : {0, 1, 10, 14, 16, 17, 19, 268}) {
        EXPECT_EQ(BuildSetWirelessPayload(w, type, 1).size(), 328u) << type;
        EXPECT_FALSE(WirelessTakesExtension(type)) << type;
    }
    for (uint16_t type : {15, 18}) {
        const auto p = BuildSetWirelessPayload(w, type, 0xA5);
        ASSERT_EQ(p.size(), 342u) << type;
        for (size_t i = 328; i < 342; ++i) {
            EXPECT_EQ(p[i], i == 328 + 12 ? 0xA5 : 0) << "byte " << i;
        }
    }
}

TEST(SetWirelessPayload, CarriesTheBlockWithItsSsidLengthRecomputed) {
    const auto p = BuildSetWirelessPayload(PatternWireless(), 15, 0);
    for (size_t i = 0; i < 328; ++i) {
        if (i == 63) continue;
        EXPECT_EQ(p[i], Pat(i)) << "byte " << i;
    }
    EXPECT_EQ(p[63], 32);  // the overstated length counted again

    WirelessBlock w;
    w.set_ssid("Hof " + kZhong + kWen);
    w.set_channel(149);
    const auto q = BuildSetWirelessPayload(w, 4, 0);
    EXPECT_EQ(q[63], 10);
    EXPECT_EQ(q[31 + 4], 0xE4);
    EXPECT_EQ(q[6], 149);
}

TEST(SetVlanPayload, ExtensionForTheVlanCapableTypes) {
    VlanBlock v;
    v.set_vlan_en(1);
    v.set_vlan_id(0x0102);
    v.set_address_follows(1);
    ExtensionBlock e;
    e.set_vlan_pvid(0x0304);
    e.set_vlan_id_lan4(0x0506);

    const std::vector<uint16_t> capable = {10, 11, 15, 18, 268, 269, 270};
    for (uint16_t type = 0; type <= 300; ++type) {
        const bool takes = std::find(capable.begin(), capable.end(), type) != capable.end();
        const auto p = BuildSetVlanPayload(v, e, type);
        ASSERT_EQ(p.size(), takes ? 24u : 10u) << type;
        EXPECT_EQ(VlanTakesExtension(type), takes) << type;
    }
    const auto p = BuildSetVlanPayload(v, e, 268);
    const std::vector<uint8_t> expected = {1, 0, 2, 1, 0, 0, 0, 0, 1, 0, 0, 0,
                                           4, 3, 0, 0, 6, 5, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(p, expected);
    EXPECT_EQ(BuildSetVlanPayload(v, e, 12),
              std::vector<uint8_t>(expected.begin(), expected.begin() + 10));
}

TEST(SetBridgePayload, BridgeThenAddressThenTwoZeros) {
    auto braw = test::PatternBytes(BridgeBlock::kSize);
    braw[40] = 32;
    BridgeBlock b(braw.data());
    AddressBlock a;
    a.set_ip_mode(1);
    a.set_ip({198, 18, 0, 40});
    a.set_ip_mask({255, 255, 0, 0});
    a.set_apply(1);

    const auto p = BuildSetBridgePayload(b, a);
    ASSERT_EQ(p.size(), kSetBridgePayloadSize);
    for (size_t i = 0; i < 304; ++i) ASSERT_EQ(p[i], braw[i]) << i;
    const std::vector<uint8_t> addr(p.begin() + 304, p.begin() + 326);
    EXPECT_EQ(addr, a.ToVector());
    EXPECT_EQ(p[326], 0);
    EXPECT_EQ(p[327], 0);

    // The bridge SSID goes by the send rule with its length counted again.
    b.set_bridge_ssid(kZhong + "-uplink");
    const auto q = BuildSetBridgePayload(b, a);
    EXPECT_EQ(q[40], 10);
    EXPECT_EQ(q[8], 0xE4);
}

TEST(SwitchPayloads, OneByteSetInAZeroExtension) {
    const auto tb = BuildTransparentBridgePayload(1).ToVector();
    const auto px = BuildPxsyncPayload(1).ToVector();
    ASSERT_EQ(tb.size(), 14u);
    ASSERT_EQ(px.size(), 14u);
    for (size_t i = 0; i < 14; ++i) {
        EXPECT_EQ(tb[i], i == 0 ? 1 : 0) << i;
        EXPECT_EQ(px[i], i == 1 ? 1 : 0) << i;
    }
    EXPECT_EQ(BuildTransparentBridgePayload(0), ExtensionBlock());
    EXPECT_EQ(BuildPxsyncPayload(0), ExtensionBlock());
}

TEST(UpgradeRequestPayload, NameLengthAndSize) {
    const auto b = BuildUpgradeRequestPayload("fw-2.4.1.bin", 0x00123456);
    const auto v = b.ToVector();
    ASSERT_EQ(v.size(), 268u);
    EXPECT_EQ(std::string(v.begin(), v.begin() + 12), "fw-2.4.1.bin");
    for (size_t i = 12; i < 260; ++i) ASSERT_EQ(v[i], 0) << i;
    EXPECT_EQ(v[260], 12);
    EXPECT_EQ(v[261], 0);
    EXPECT_EQ(v[264], 0x56);
    EXPECT_EQ(v[265], 0x34);
    EXPECT_EQ(v[266], 0x12);
    EXPECT_EQ(v[267], 0x00);
    EXPECT_EQ(b.file_name(), "fw-2.4.1.bin");
    EXPECT_EQ(b.file_size(), 0x00123456u);
}

TEST(UpgradeRequestPayload, DirectoryDroppedAndLengthFitsItsByte) {
    EXPECT_EQ(BuildUpgradeRequestPayload("/home/op/firmware/fw.bin", 1).file_name(), "fw.bin");
    const auto longName = BuildUpgradeRequestPayload(std::string(300, 'n') + ".bin", 0);
    EXPECT_EQ(longName.data()[260], 255);
    EXPECT_EQ(longName.file_name(), std::string(255, 'n'));
    EXPECT_EQ(longName.data()[255], 0);
}

}  // namespace
}  // namespace kestrix
