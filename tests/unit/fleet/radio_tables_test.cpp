// The radio tables: what each device type may be offered in each country,
// held against the regulatory lists channel by channel.

#include "fleet/radio_tables.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using Codes = std::vector<int>;
constexpr RadioBand k24 = RadioBand::k24GHz;
constexpr RadioBand k5 = RadioBand::k5GHz;
constexpr auto kWizard = ChannelListUse::kBridgeWizard;

RadioList Channels(uint32_t type, RadioBand band, std::string_view country, int bandwidth,
                   bool dfs = false, ChannelListUse use = ChannelListUse::kWirelessSettings) {
    return ChannelList({type, band, FindCountry(country), bandwidth, dfs, std::nullopt, use});
}

Codes Range(int first, int last, int step = 1) {
    Codes c;
    for (int n = first; n <= last; n += step) c.push_back(n);
    return c;
}

bool Has(const Codes& codes, int channel) {
    return std::find(codes.begin(), codes.end(), channel) != codes.end();
}

TEST(RadioTables, EveryCountrysTwoPointFourList) {
    // Five countries stop at 11; type 12 outside the United States and
    // Canada has its own 1..13 without "Auto".
    const std::set<std::string_view> eleven = {"CA", "CO", "MX", "TW", "US"};
    for (const CountryEntry& c : CountryTable()) {
        Codes own = Range(0, eleven.count(c.code) ? 11 : 13);
        if (c.name == "Test") own.erase(own.begin() + 8);  // see below
        EXPECT_EQ(Channels(10, k24, c.code, kBw20).Codes(), own) << c.name;
        const bool northAmerica = c.code == "US" || c.code == "CA";
        EXPECT_EQ(Channels(12, k24, c.code, kBw20).Codes(), northAmerica ? own : Range(1, 13));
    }
    // The "Test" skips know no band: channel 8 goes on 2.4 GHz too, for
    // the types they name only.
    EXPECT_TRUE(Has(Channels(6, k24, "Test", kBw20).Codes(), 8));
    const RadioList us = Channels(1, k24, "United States", kBw40);
    EXPECT_EQ(us.entries.front(), (RadioEntry{0, "Auto", true}));
    EXPECT_EQ(us.entries.back(), (RadioEntry{11, "11", false}));
}

TEST(RadioTables, GroupsFollowTheCountrysOwnBands) {
    // Group 1 is the upper band alone, 0 the lower bands alone, 2 both;
    // Taiwan, without a lower band of its own, is still in group 2.
    for (const CountryEntry& c : CountryTable()) {
        const Codes own = ReadChannelList(c.list20);
        const int expected = c.name == "Test" ? 3
                             : c.code == "TW" ? 2
                             : !Has(own, 36)  ? 1
                             : !Has(own, 149) ? 0
                                              : 2;
        EXPECT_EQ(c.group, expected) << c.name;
    }
}

TEST(RadioTables, FiveGigahertzSkipsOutsideTest) {
    for (uint32_t type : {1u, 6u, 10u, 13u, 15u, 18u, 271u}) {
        for (const CountryEntry& c : CountryTable()) {
            for (int bw = 0; bw <= kBw60; ++bw) {
                for (bool dfs : {false, true}) {
                    const bool test = c.name == "Test";
                    const bool dfsOk = test || ((type == 15 || type == 18) && dfs);
                    for (int ch : Channels(type, k5, c.code, bw, dfs).Codes()) {
                        EXPECT_TRUE(test || ch < 52 || ch > 64) << c.name << type << " " << ch;
                        EXPECT_TRUE(dfsOk || ch < 100 || ch > 144) << c.name << type << " " << ch;
                    }
                }
            }
        }
    }
    const Codes upper = {149, 153, 157, 161, 165};
    Codes lower = {0, 36, 40, 44, 48};
    lower.insert(lower.end(), upper.begin(), upper.end());
    EXPECT_EQ(Channels(10, k5, "China", kBw20).Codes(), lower);
    EXPECT_EQ(Channels(15, k5, "China", kBw20, false).Codes(), lower);
    // With DFS type 15 reads group 2's DFS channels, not China's own.
    Codes dfs = {0, 36, 40, 44, 48, 100, 104, 108, 112, 116, 132, 136, 140};
    dfs.insert(dfs.end(), upper.begin(), upper.end());
    EXPECT_EQ(Channels(15, k5, "China", kBw20, true).Codes(), dfs);
    Codes test = Range(36, 64, 4);
    for (int ch : Range(100, 140, 4)) test.push_back(ch);
    test.insert(test.begin(), 0);
    test.insert(test.end(), upper.begin(), upper.end());
    EXPECT_EQ(Channels(10, k5, "Test", kBw20).Codes(), test);
}

TEST(RadioTables, SourceListByTypeAndBandwidth) {
    const CountryEntry& cn = CountryTable()[*FindCountry("CN")];
    const GroupLists g = GroupListsFor(cn.group);
    struct Case {
        int bw;
        std::string_view group, own;
    };
    for (const Case& c : {Case{kBw20, g.list20, cn.list20}, Case{kBw40, g.list40, cn.list40},
                          Case{kBwAuto, g.list40, cn.list20}, Case{kBw80, g.other, cn.list80},
                          Case{kBw10, g.other, cn.list20}, Case{kBw30, g.other, cn.list20},
                          Case{kBw50, g.other, cn.list80}, Case{kBw60, g.other, cn.list80}}) {
        for (uint32_t type : {13u, 15u, 18u, 271u, 10u, 6u}) {
            const bool grouped = type != 10 && type != 6;
            EXPECT_EQ(ChannelSourceList({type, k5, FindCountry("CN"), c.bw, false, {}, {}}),
                      grouped ? c.group : c.own)
                << type << " bw " << c.bw;
        }
    }
    EXPECT_EQ(ReadChannelList("0,36l,40u,x,,161u"), (Codes{0, 36, 40, 161}));
    EXPECT_EQ(Channels(13, k5, "Germany", kBw40).Codes(), (Codes{0, 36, 40, 44, 48}));
    EXPECT_EQ(Channels(13, k5, "Iran", kBw80).Codes(), (Codes{0, 149, 153, 157, 161}));
    EXPECT_TRUE(Channels(6, k5, "China", 9).entries.empty());  // no such bandwidth
}

TEST(RadioTables, TestCountrySkipsByTypeAndWindow) {
    for (uint32_t type : {10u, 11u, 13u, 268u, 269u, 270u, 271u, 6u, 15u, 18u}) {
        const bool skipsHigh = type != 6 && type != 15 && type != 18;
        const Codes got = Channels(type, k5, "Test", kBw20).Codes();
        for (int ch : {8, 179, 181, 188}) EXPECT_EQ(Has(got, ch), !skipsHigh) << type << " " << ch;
        // Only the bridge wizard drops 120, 124 and 128, and only for 15 and 18.
        const Codes wizard = Channels(type, k5, "Test", kBw20, false, kWizard).Codes();
        const bool wizardSkips = type == 15 || type == 18;
        for (int ch : {120, 124, 128}) EXPECT_EQ(Has(wizard, ch), !wizardSkips) << type;
        EXPECT_TRUE(Has(wizard, 56) && Has(wizard, 116) && Has(wizard, 132)) << type;
    }
    EXPECT_EQ(Channels(15, k5, "China", kBw20, true, kWizard).Codes(),
              Channels(15, k5, "China", kBw20, true).Codes());
}

TEST(RadioTables, NetworkModesAndTheSelectionFallbacks) {
    struct Case {
        uint32_t type;
        RadioBand band;
        Codes modes;
    };
    for (const Case& c :
         {Case{10, k24, {1, 2, 0, 4}}, Case{6, k5, {0, 3, 1}}, Case{10, k5, {0, 3, 1, 2}},
          Case{18, k5, {0, 3, 1, 2}}, Case{13, k5, {0, 1, 2}}, Case{271, k5, {0, 1, 2}}}) {
        EXPECT_EQ(NetworkModeList(c.type, c.band, std::nullopt).Codes(), c.modes) << c.type;
        EXPECT_EQ(NetworkModeList(c.type, c.band, std::nullopt).selected, 2);  // the third
        EXPECT_EQ(NetworkModeList(c.type, c.band, 99).selected, 2);
        EXPECT_EQ(NetworkModeList(c.type, c.band, c.modes[0]).selected, 0);
    }
    EXPECT_EQ(NetworkModeList(13, k5, kMode5N).SelectedCode(), kMode5AC);  // 11n removed
    // The bandwidth rule is the field texts' own; here only its selection.
    EXPECT_EQ(BandwidthList(10, k5, kMode5AC, kBw60).selected, 6);
    EXPECT_EQ(BandwidthList(15, k5, kMode5AN, kBw80).selected, 0);  // 80 MHz only with 11ac
    EXPECT_EQ(BandwidthList(1, k24, -1, std::nullopt).selected, -1);

    // A bandwidth change keeps the channel while it is offered, else Auto.
    RadioQuery q{10, k5, FindCountry("China"), false, kMode5AN, kBw20, 165};
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 165);
    q.bandwidth = kBw40;
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 0);
    q.channel = 161;
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 161);
}

TEST(RadioTables, ExtensionChannel) {
    auto ext = [](std::string_view country, uint32_t type, int mode, int bw, int channel,
                  int wanted = 2, RadioBand band = k24) {
        return FillRadioLists({type, band, FindCountry(country), false, mode, bw, channel, wanted})
            .extensionChannels;
    };
    struct Case {
        std::string_view country;
        uint32_t type;
        int channel;
        std::vector<std::string> texts;
        Codes codes;
    };
    for (const Case& c : std::vector<Case>{{"Germany", 1, 3, {"7"}, {1}},
                                           {"Germany", 1, 1, {"5"}, {1}},
                                           {"Germany", 1, 6, {"2", "10"}, {0, 1}},
                                           {"Germany", 1, 9, {"5", "13"}, {0, 1}},  // n - 4
                                           {"Germany", 1, 11, {"7"}, {0}},
                                           {"Germany", 12, 9, {"5"}, {0}},  // no Auto: n = 12
                                           {"United States", 1, 8, {"4"}, {0}}}) {
        const RadioList l = ext(c.country, c.type, kMode24BGN, kBw40, c.channel);
        std::vector<std::string> texts;
        for (const RadioEntry& e : l.entries) texts.push_back(e.text);
        EXPECT_TRUE(l.enabled);
        EXPECT_EQ(texts, c.texts) << c.country << " " << c.channel;
        EXPECT_EQ(l.Codes(), c.codes) << c.channel;
        EXPECT_EQ(l.selected, 0);
    }
    EXPECT_EQ(ext("Germany", 1, kMode24BGN, kBwAuto, 6, 1).selected, 1);
    EXPECT_EQ(ext("Germany", 1, kMode24BGN, kBwAuto, 6, 0).selected, 0);
    EXPECT_EQ(ext("Germany", 1, kMode24BGN, kBwAuto, 3, 1).selected, 0);  // one entry
    // Disabled and empty: Auto, 20 MHz, another mode, the 5 GHz band.
    for (const RadioList& l :
         {ext("Germany", 1, kMode24BGN, kBw40, 0), ext("Germany", 1, kMode24BGN, kBw20, 6),
          ext("Germany", 1, kMode24G, kBw20, 6), ext("China", 10, kMode5AN, kBw40, 36, 2, k5)}) {
        EXPECT_FALSE(l.enabled);
        EXPECT_EQ(l.selected, -1);
        EXPECT_TRUE(l.entries.empty());
    }
}

TEST(RadioTables, CountryCodeNumbers) {
    EXPECT_EQ(CountryOfCodeNumber(0), FindCountry("China"));
    EXPECT_EQ(CountryOfCodeNumber(59), FindCountry("Austria"));
    EXPECT_EQ(CountryOfCodeNumber(61), kCountryTest);
    for (uint32_t slot : {7u, 24u, 30u, 62u, 255u, 256u, 100000u})  // no entry, empty, past
        EXPECT_FALSE(CountryOfCodeNumber(slot).has_value()) << slot;
    EXPECT_EQ(CodeOfSlot(24), "AT");
    for (size_t i = 0; i < kCountryCount; ++i)
        EXPECT_EQ(CountryOfCodeNumber(CodeNumberOfCountry(i)), i) << CountryTable()[i].name;
    EXPECT_EQ(CodeNumberOfCountry(kCountryCount), 0);
    // A device whose country has no entry is offered "Auto" alone.
    const RadioList l = ChannelList({10, k5, CountryOfCodeNumber(7), kBw20, false, 36});
    EXPECT_EQ(l.Codes(), (Codes{0}));
    EXPECT_EQ(l.selected, 0);
}

}  // namespace
}  // namespace kestrix
