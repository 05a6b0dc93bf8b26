// Texts crossing between devices and the program: the receive rule that cuts
// broken UTF-8, the send rule, the Chinese character class, and the three
// texts of the device information converted in place.

#include <string>

#include <gtest/gtest.h>

#include "link/wire/text_codec.h"
#include "link/wire/wire_format.h"
#include "tests/unit/link/wire/wire_test_util.h"

namespace kestrix {
namespace {

using test::kWen;
using test::kZhong;

std::string TenChineseAndAHalf() {
    std::string s;
    for (int i = 0; i < 10; ++i) s += (i % 2 ? kWen : kZhong);
    return s + kZhong.substr(0, 2);  // 32 bytes, the last character cut
}

TEST(ReceiveRule, AsciiIsTakenUnchanged) {
    const std::string ascii("Yard\x01 \x7F-9", 9);
    EXPECT_EQ(DeviceTextToLocal(ascii), ascii);
    EXPECT_EQ(DeviceTextToLocal(""), "");
}

TEST(ReceiveRule, TruncatedTrailingCharacterIsDropped) {
    const std::string name = TenChineseAndAHalf();
    ASSERT_EQ(name.size(), 32u);
    const std::string kept = DeviceTextToLocal(name);
    EXPECT_EQ(kept.size(), 30u);
    EXPECT_EQ(kept, name.substr(0, 30));

    // One byte of a four-byte character after ASCII.
    EXPECT_EQ(DeviceTextToLocal("link\xF0"), "link");
    // Complete multi-byte characters of every length are kept.
    const std::string mixed = "caf\xC3\xA9 " + kZhong + " \xF0\x9F\x93\xA1";
    EXPECT_EQ(DeviceTextToLocal(mixed), mixed);
}

TEST(ReceiveRule, CutBeforeTheFirstBrokenByte) {
    EXPECT_EQ(DeviceTextToLocal("AB\xFF"
                                "CD"),
              "AB");
    EXPECT_EQ(DeviceTextToLocal(kZhong + "\x80" + kWen), kZhong);
    // Overlong form, encoded surrogate, beyond U+10FFFF: all broken.
    EXPECT_EQ(DeviceTextToLocal("ok\xC0\xAF"), "ok");
    EXPECT_EQ(DeviceTextToLocal("ok\xED\xA0\x80"), "ok");
    EXPECT_EQ(DeviceTextToLocal("ok\xF4\x90\x80\x80"), "ok");
    // A lead byte whose continuation is replaced by ASCII.
    EXPECT_EQ(DeviceTextToLocal("ok\xE4"
                                "A"),
              "ok");
}

TEST(ReceiveRule, NothingValidAtTheFrontKeepsTheWholeTextReadable) {
    // Cutting would leave nothing: the text stays, its broken bytes shown as
    // '?' so that no broken UTF-8 enters the program and nothing grows.
    EXPECT_EQ(DeviceTextToLocal("\xFF"
                                "Mast"),
              "?Mast");
    EXPECT_EQ(DeviceTextToLocal("\x80\x80" + kZhong), "??" + kZhong);
    EXPECT_EQ(DeviceTextToLocal(kZhong.substr(0, 2)), "??");
    for (const std::string& s : {std::string("\xFE\xFF\xC3"), std::string("\xE4\xB8 x \xE4")}) {
        const std::string out = DeviceTextToLocal(s);
        EXPECT_EQ(out.size(), s.size());
        EXPECT_EQ(Utf8ToCodePoints(out).find(0xFFFD), std::u32string::npos) << out;
    }
}

TEST(SendRule, OnlyChangesTextsWithChineseCharacters) {
    EXPECT_EQ(LocalTextToDevice("Tower 12"), "Tower 12");
    EXPECT_EQ(LocalTextToDevice("caf\xC3\xA9"), "caf\xC3\xA9");
    // Bytes that are not UTF-8 and no Chinese character: byte for byte.
    EXPECT_EQ(LocalTextToDevice("a\xFF"
                                "b"),
              "a\xFF"
              "b");
    // With a Chinese character the device gets UTF-8: well-formed, with its
    // bytes counted as sent.
    EXPECT_EQ(LocalTextToDevice("AP" + kZhong), "AP" + kZhong);
    EXPECT_EQ(LocalTextToDevice(kZhong + "\xFF"), kZhong + "\xEF\xBF\xBD");
}

TEST(ChineseClass, RangeAndPunctuationExactly) {
    EXPECT_FALSE(IsChineseChar(0x4DFF));
    EXPECT_TRUE(IsChineseChar(0x4E00));
    EXPECT_TRUE(IsChineseChar(0x9FA5));
    EXPECT_FALSE(IsChineseChar(0x9FA6));
    EXPECT_TRUE(IsChineseChar(0x00B7));
    EXPECT_FALSE(IsChineseChar(0x00B6));
    EXPECT_TRUE(IsChineseChar(0x3008));
    EXPECT_TRUE(IsChineseChar(0x3011));
    EXPECT_FALSE(IsChineseChar(0x3012));
    EXPECT_FALSE(IsChineseChar(0x3013));
    EXPECT_TRUE(IsChineseChar(0x3014));
    EXPECT_TRUE(IsChineseChar(0xFFE5));
    EXPECT_FALSE(IsChineseChar('A'));
    EXPECT_FALSE(IsChineseChar(0xFFFD));

    size_t count = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) count += IsChineseChar(c) ? 1 : 0;
    EXPECT_EQ(count, (0x9FA5u - 0x4E00u + 1) + 33);
}

TEST(CodePoints, DecodeEncodeAndReplaceOneByteAtATime) {
    const std::string s = "a" + kZhong + "\xF0\x9F\x93\xA1";
    EXPECT_EQ(Utf8ToCodePoints(s), (std::u32string{U'a', 0x4E2D, 0x1F4E1}));
    EXPECT_EQ(CodePointsToUtf8(Utf8ToCodePoints(s)), s);
    EXPECT_EQ(Utf8ToCodePoints("\xE4\xB8"
                               "A"),
              (std::u32string{0xFFFD, 0xFFFD, U'A'}));
    EXPECT_EQ(CodePointsToUtf8(std::u32string{0xD800, 0x110000}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(CodePointsToUtf8(std::u32string{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000}),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80");
}

TEST(ConvertDeviceTexts, RewritesTheThreeTextsAndTheirLengths) {
    auto raw = test::PatternBytes(DeviceInfoBlock::kSize);
    const std::string name = TenChineseAndAHalf();
    std::copy(name.begin(), name.end(), raw.begin() + 30);
    raw[62] = 32;
    // SSID: ASCII whose length byte overstates its area.
    const std::string ssid(32, 's');
    std::copy(ssid.begin(), ssid.end(), raw.begin() + 131);
    raw[163] = 250;
    // Bridge SSID: short text with the padding counted in its length.
    std::fill(raw.begin() + 436, raw.begin() + 468, 0);
    const std::string peer = "peer-" + kZhong;
    std::copy(peer.begin(), peer.end(), raw.begin() + 436);
    raw[468] = 32;

    DeviceInfoBlock info(raw.data());
    info.ConvertDeviceTexts();

    EXPECT_EQ(info.data()[62], 30);
    EXPECT_EQ(info.ap_name(), name.substr(0, 30));
    EXPECT_EQ(info.data()[30 + 30], 0);
    EXPECT_EQ(info.data()[30 + 31], 0);
    EXPECT_EQ(info.data()[163], 32);
    EXPECT_EQ(info.wireless().ssid(), ssid);
    EXPECT_EQ(static_cast<size_t>(info.data()[468]), peer.size());
    EXPECT_EQ(info.bridge().bridge_ssid(), peer);

    // Nothing else moves, the version text included (it is not converted).
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool text = (i >= 30 && i <= 62) || i == 163 || i == 468;
        if (!text) {
            ASSERT_EQ(info.data()[i], raw[i]) << "byte " << i;
        }
    }
}

}  // namespace
}  // namespace kestrix
