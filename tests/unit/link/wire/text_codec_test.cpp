// Texts crossing between devices and the program: the receive rule that
// replaces broken UTF-8 and drops a cut last character, the send rule, the Chinese character class,
// and the three texts of the device information converted in place.

#include "link/wire/text_codec.h"

#include <string>

#include <gtest/gtest.h>

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

TEST(ReceiveRule, BrokenBytesBecomeReplacementCharactersAndTheRestStays) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const struct {
        std::string in, out;
    } cases[] = {
        // A Latin-1 byte in the middle of a name.
        {"Caf\xE9 Nord", "Caf" + r + " Nord"},
        {"AB\xFF"
         "CD",
         "AB" + r + "CD"},
        {kZhong + "\x80" + kWen, kZhong + r + kWen},
        // Overlong form, encoded surrogate, beyond U+10FFFF: one per byte.
        {"ok\xC0\xAF!", "ok" + r + r + "!"},
        {"ok\xED\xA0\x80!", "ok" + r + r + r + "!"},
        {"ok\xF4\x90\x80\x80!", "ok" + r + r + r + r + "!"},
        // A lead byte whose continuation is replaced by ASCII is not cut.
        {"ok\xE4"
         "A",
         "ok" + r + "A"},
        // Broken bytes at the front no longer hide the rest.
        {"\xFF"
         "Mast",
         r + "Mast"},
        {"\x80\x80" + kZhong, r + r + kZhong},
        // Broken in the middle and a cut character at the end.
        {"a\xFF" + kZhong + kWen.substr(0, 1), "a" + r + kZhong},
        // Only a cut character: nothing stays.
        {kZhong.substr(0, 2), ""},
        // A last byte that cannot start a sequence is broken, not cut.
        {"end\xFF", "end" + r},
        {"end\xC1", "end" + r},
        // A lead byte whose second byte is out of its range is broken too.
        {"x\xE0\x80", "x" + r + r},
        {"x\xF4\x90", "x" + r + r},
        // Continuation bytes after a complete character are broken.
        {kZhong + "\x80", kZhong + r},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceTextToLocal(c.in), c.out) << c.in;
        // Well-formed, so a second pass changes nothing.
        EXPECT_EQ(DeviceTextToLocal(c.out), c.out) << c.in;
    }
}

TEST(ReceiveRule, WithinAFieldEveryCharacterIsKept) {
    const std::string r = "\xEF\xBF\xBD";
    // Fits with U+FFFD: the plain rule.
    EXPECT_EQ(DeviceTextToLocalWithin("Caf\xE9 Nord", kTextFieldSize), "Caf" + r + " Nord");
    // 30 ASCII and two Latin-1 bytes would need 36 bytes: shown as '?'.
    const std::string wide = std::string(15, 'a') + "\xE9" + std::string(15, 'b') + "\xE9";
    EXPECT_EQ(DeviceTextToLocalWithin(wide, kTextFieldSize),
              std::string(15, 'a') + "?" + std::string(15, 'b'));
    // The trailing cut character is still dropped in the '?' form.
    const std::string cut = std::string(20, '\xFF') + "ab" + kZhong.substr(0, 2);
    EXPECT_EQ(DeviceTextToLocalWithin(cut, kTextFieldSize), std::string(20, '?') + "ab");
    for (const std::string& s : {wide, cut, TenChineseAndAHalf()}) {
        const std::string out = DeviceTextToLocalWithin(s, kTextFieldSize);
        EXPECT_LE(out.size(), kTextFieldSize);
        // One character per character that arrived whole.
        EXPECT_EQ(Utf8ToCodePoints(out).size(),
                  Utf8ToCodePoints(s).size() - TrailingIncompleteLength(s));
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
