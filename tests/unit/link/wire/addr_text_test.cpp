// Address and MAC texts: the exact forms written, and parsing as forgiving
// as the scanf patterns those texts come from, without reading past the
// text it is given.

#include "link/wire/addr_text.h"

#include <string>

#include <gtest/gtest.h>

namespace kestrix {
namespace {

TEST(IpText, FormatAndParse) {
    EXPECT_EQ(IpTextToBytes("192.168.1.20"), (Ipv4Bytes{192, 168, 1, 20}));
    EXPECT_EQ(IpBytesToText(Ipv4Bytes{10, 0, 0, 255}), "10.0.0.255");
    EXPECT_EQ(IpBytesToText(Ipv4Bytes{0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(IpTextToBytes(IpBytesToText(Ipv4Bytes{255, 255, 255, 254})),
              (Ipv4Bytes{255, 255, 255, 254}));
}

TEST(IpText, ForgivingLikeScanf) {
    EXPECT_EQ(IpTextToBytes(""), (Ipv4Bytes{0, 0, 0, 0}));
    EXPECT_EQ(IpTextToBytes("not an address"), (Ipv4Bytes{0, 0, 0, 0}));
    // Each number keeps its low eight bits; a sign is read as scanf reads it.
    EXPECT_EQ(IpTextToBytes("300.256.-1.7"), (Ipv4Bytes{44, 0, 255, 7}));
    // Reading stops at the first piece that does not match; the rest is 0.
    EXPECT_EQ(IpTextToBytes("1.2"), (Ipv4Bytes{1, 2, 0, 0}));
    EXPECT_EQ(IpTextToBytes("1..3.4"), (Ipv4Bytes{1, 0, 0, 0}));
    EXPECT_EQ(IpTextToBytes("7.8.x.9"), (Ipv4Bytes{7, 8, 0, 0}));
    EXPECT_EQ(IpTextToBytes(" 10. 1.2.3junk"), (Ipv4Bytes{10, 1, 2, 3}));
    EXPECT_EQ(IpTextToBytes("1 .2.3.4"), (Ipv4Bytes{1, 0, 0, 0}));
    // A number far too long for any integer still gives some byte, no fault.
    const Ipv4Bytes big = IpTextToBytes(std::string(5000, '9') + ".1.2.3");
    EXPECT_EQ(big[1], 1);
    EXPECT_EQ(big[3], 3);
}

TEST(IpText, NeverReadsPastTheText) {
    const std::string buf = "10.0.0.45";
    EXPECT_EQ(IpTextToBytes(std::string_view(buf.data(), 8)), (Ipv4Bytes{10, 0, 0, 4}));
    EXPECT_EQ(IpTextToBytes(std::string_view(buf.data(), 3)), (Ipv4Bytes{10, 0, 0, 0}));
    EXPECT_EQ(IpTextToNumber(std::string_view(buf.data(), 8)), 0x0A000004u);
}

TEST(MacText, FormatAndParse) {
    const MacBytes m = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(MacBytesToText(m), "00:1a:2b:3c:4d:5e");
    EXPECT_EQ(MacTextToBytes("00:1A:2B:3C:4D:5E"), m);
    EXPECT_EQ(MacTextToBytes("00:1a:2b:3c:4d:5e"), m);
    EXPECT_EQ(MacBytesToText(MacBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "ff:ff:ff:ff:ff:ff");
}

TEST(MacText, ForgivingLikeScanf) {
    EXPECT_EQ(MacTextToBytes(""), MacBytes{});
    EXPECT_EQ(MacTextToBytes("zz:zz"), MacBytes{});
    EXPECT_EQ(MacTextToBytes("0:1:2:3:4:f"), (MacBytes{0, 1, 2, 3, 4, 0x0F}));
    EXPECT_EQ(MacTextToBytes("00:1a"), (MacBytes{0x00, 0x1A, 0, 0, 0, 0}));
    // Two digits at most per part: "123" reads 0x12 and then finds no colon.
    EXPECT_EQ(MacTextToBytes("123:45:67:89:ab:cd"), (MacBytes{0x12, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MacTextToBytes(" 0a: 0b:0c:0d:0e:0f"),
              (MacBytes{0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}));
    EXPECT_EQ(MacTextToBytes("00-1a-2b-3c-4d-5e"), (MacBytes{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MacTextToBytes("01:02:03:04:05:06:07"), (MacBytes{1, 2, 3, 4, 5, 6}));
    const std::string buf = "00:11:22:33:44:55";
    EXPECT_EQ(MacTextToBytes(std::string_view(buf.data(), 16)),
              (MacBytes{0, 0x11, 0x22, 0x33, 0x44, 5}));
}

TEST(IpNumber, SortsAddressesNumerically) {
    EXPECT_GT(IpTextToNumber("10.0.0.10"), IpTextToNumber("10.0.0.9"));
    EXPECT_GT(IpTextToNumber("10.0.1.0"), IpTextToNumber("10.0.0.255"));
    EXPECT_GT(IpTextToNumber("192.168.0.1"), IpTextToNumber("10.255.255.255"));
    EXPECT_EQ(IpTextToNumber("192.168.1.20"), 0xC0A80114u);
    EXPECT_EQ(IpTextToNumber(""), 0u);
}

TEST(IpNumber, PiecesAndLimits) {
    // Empty pieces between dots are skipped, so the next number moves up.
    EXPECT_EQ(IpTextToNumber("1..2"), 0x01020000u);
    // Only four pieces count; only 15 characters are looked at.
    EXPECT_EQ(IpTextToNumber("1.2.3.4.5.6"), 0x01020304u);
    EXPECT_EQ(IpTextToNumber("001.002.003.0045"), 0x01020304u);
    EXPECT_EQ(IpTextToNumber("a.b.c.d"), 0u);
}

TEST(ZeroMac, AllSixBytes) {
    const uint8_t zero[6] = {};
    const uint8_t last[6] = {0, 0, 0, 0, 0, 1};
    const uint8_t first[6] = {1, 0, 0, 0, 0, 0};
    EXPECT_TRUE(IsZeroMac(zero));
    EXPECT_FALSE(IsZeroMac(last));
    EXPECT_FALSE(IsZeroMac(first));
}

}  // namespace
}  // namespace kestrix
