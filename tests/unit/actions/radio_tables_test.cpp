// The radio tables: what each device type may be offered in each country,
// held against the regulatory lists channel by channel.

#include "pages/actions/radio_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kestrix {
namespace {

using Codes = std::vector<int>;
constexpr RadioBand k24 = RadioBand::k24GHz;
constexpr RadioBand k5 = RadioBand::k5GHz;

size_t Country(std::string_view name) {
    auto c = FindCountry(name);
    EXPECT_TRUE(c.has_value()) << name;
    return c.value_or(0);
}

RadioList Channels(uint32_t type, RadioBand band, std::string_view country, int bandwidth,
                   bool dfs = false, std::optional<int> wanted = std::nullopt,
                   ChannelListUse use = ChannelListUse::kWirelessSettings) {
    ChannelQuery q;
    q.type = type;
    q.band = band;
    q.country = Country(country);
    q.bandwidth = bandwidth;
    q.dfs = dfs;
    q.wanted = wanted;
    q.use = use;
    return ChannelList(q);
}

Codes Range(int first, int last, int step = 1) {
    Codes c;
    for (int n = first; n <= last; n += step) c.push_back(n);
    return c;
}

Codes Join(std::initializer_list<Codes> parts) {
    Codes all;
    for (const Codes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

bool Has(const Codes& codes, int channel) {
    return std::find(codes.begin(), codes.end(), channel) != codes.end();
}

TEST(RadioTables, EveryCountrysTwoPointFourList) {
    // Five countries stop at channel 11; type 12 outside the United States
    // and Canada has its own 1..13 without "Auto".
    const std::set<std::string_view> elevenChannels = {"CA", "CO", "MX", "TW", "US"};
    for (size_t i = 0; i < kCountryCount; ++i) {
        const CountryEntry& c = CountryTable()[i];
        const Codes own = Join({{0}, Range(1, elevenChannels.count(c.code) ? 11 : 13)});
        EXPECT_EQ(Channels(1, k24, c.code, kBw20).Codes(), own) << c.name;
        const bool northAmerica = c.code == "US" || c.code == "CA";
        EXPECT_EQ(Channels(12, k24, c.code, kBw20).Codes(), northAmerica ? own : Range(1, 13))
            << c.name;
    }
    const RadioList us = Channels(1, k24, "United States", kBw40);
    EXPECT_EQ(us.entries.front(), (RadioEntry{0, "Auto", true}));
    EXPECT_EQ(us.entries.back(), (RadioEntry{11, "11", false}));
    // The "Test" skips know no band: channel 8 goes on 2.4 GHz as well.
    EXPECT_FALSE(Has(Channels(10, k24, "Test", kBw20).Codes(), 8));
    EXPECT_TRUE(Has(Channels(6, k24, "Test", kBw20).Codes(), 8));
}

TEST(RadioTables, FiveGigahertzSkipsOutsideTest) {
    // 52-64 never outside "Test"; 100-144 only for types 15 and 18 with DFS.
    for (uint32_t type : {1u, 6u, 10u, 12u, 13u, 15u, 18u, 271u}) {
        for (const CountryEntry& c : CountryTable()) {
            for (int bw = 0; bw <= kBw60; ++bw) {
                for (bool dfs : {false, true}) {
                    const Codes got = Channels(type, k5, c.code, bw, dfs).Codes();
                    const bool test = c.name == "Test";
                    const bool dfsAllowed = test || ((type == 15 || type == 18) && dfs);
                    for (int ch : got) {
                        EXPECT_TRUE(test || ch < 52 || ch > 64)
                            << c.name << " " << type << " " << ch;
                        EXPECT_TRUE(dfsAllowed || ch < 100 || ch > 144)
                            << c.name << " type " << type << " bw " << bw << " ch " << ch;
                    }
                }
            }
        }
    }
}

TEST(RadioTables, GroupsFollowTheCountrysOwnBands) {
    // Group 1 is the upper band alone, group 0 the lower bands alone, group 2
    // both; Taiwan, with no lower band of its own, still gets group 2.
    for (const CountryEntry& c : CountryTable()) {
        if (c.name == "Test") {
            EXPECT_EQ(c.group, 3);
            continue;
        }
        const Codes own = ReadChannelList(c.list20);
        const int expected = c.code == "TW" ? 2 : !Has(own, 36) ? 1 : !Has(own, 149) ? 0 : 2;
        EXPECT_EQ(c.group, expected) << c.name;
    }
}

TEST(RadioTables, ExamplesOfTheWirelessSettings) {
    const Codes upper = {149, 153, 157, 161, 165};
    EXPECT_EQ(Channels(10, k5, "China", kBw20).Codes(), Join({{0, 36, 40, 44, 48}, upper}));
    // Type 15 reads group 2: its DFS channels are the group's, not China's own.
    EXPECT_EQ(Channels(15, k5, "China", kBw20, true).Codes(),
              Join({{0, 36, 40, 44, 48, 100, 104, 108, 112, 116, 132, 136, 140}, upper}));
    EXPECT_EQ(Channels(15, k5, "China", kBw20, false).Codes(), Join({{0, 36, 40, 44, 48}, upper}));
    EXPECT_EQ(Channels(10, k5, "Test", kBw20).Codes(),
              Join({{0}, Range(36, 64, 4), Range(100, 140, 4), upper}));
}

TEST(RadioTables, SourceListByTypeAndBandwidth) {
    const size_t china = Country("China");
    const CountryEntry& cn = CountryTable()[china];
    const GroupLists g = GroupListsFor(cn.group);
    struct Case {
        int bandwidth;
        std::string_view group, own;
    };
    const std::vector<Case> cases = {
        {kBw20, g.list20, cn.list20}, {kBw40, g.list40, cn.list40}, {kBwAuto, g.list40, cn.list20},
        {kBw80, g.other, cn.list80},  {kBw10, g.other, cn.list20},  {kBw30, g.other, cn.list20},
        {kBw50, g.other, cn.list80},  {kBw60, g.other, cn.list80},
    };
    for (const Case& c : cases) {
        for (uint32_t type : {13u, 15u, 18u, 271u, 10u, 6u}) {
            ChannelQuery q;
            q.type = type;
            q.band = k5;
            q.country = china;
            q.bandwidth = c.bandwidth;
            const bool grouped = type != 10 && type != 6;
            EXPECT_EQ(ChannelSourceList(q), grouped ? c.group : c.own)
                << "type " << type << " bw " << c.bandwidth;
        }
    }
    // The suffixes mark the extension side and are not part of the number.
    EXPECT_EQ(ReadChannelList("0,36l,40u,x,,161u"), (Codes{0, 36, 40, 161}));
    EXPECT_EQ(Channels(13, k5, "Germany", kBw40).Codes(), (Codes{0, 36, 40, 44, 48}));
    EXPECT_EQ(Channels(13, k5, "Iran", kBw80).Codes(), (Codes{0, 149, 153, 157, 161}));
    EXPECT_TRUE(Channels(6, k5, "China", 9).entries.empty());  // no such bandwidth
}

TEST(RadioTables, TestCountrySkipsByTypeAndWindow) {
    struct Case {
        uint32_t type;
        bool skipsHigh;  // 8, 179, 181, 188
    };
    for (const Case c :
         {Case{10, true}, Case{11, true}, Case{13, true}, Case{268, true}, Case{269, true},
          Case{270, true}, Case{271, true}, Case{6, false}, Case{15, false}, Case{18, false}}) {
        const Codes got = Channels(c.type, k5, "Test", kBw20).Codes();
        for (int ch : {8, 179, 181, 188})
            EXPECT_EQ(Has(got, ch), !c.skipsHigh) << c.type << " " << ch;
        EXPECT_TRUE(Has(got, 56) && Has(got, 120)) << c.type;
        // Only the bridge wizard drops 120, 124 and 128, and only for 15 and 18.
        const Codes wizard =
            Channels(c.type, k5, "Test", kBw20, false, {}, ChannelListUse::kBridgeWizard).Codes();
        const bool wizardSkips = c.type == 15 || c.type == 18;
        for (int ch : {120, 124, 128}) EXPECT_EQ(Has(wizard, ch), !wizardSkips) << c.type;
        EXPECT_TRUE(Has(wizard, 116) && Has(wizard, 132));
    }
    // Outside "Test" the wizard's list is the settings' list.
    EXPECT_EQ(Channels(15, k5, "China", kBw20, true, {}, ChannelListUse::kBridgeWizard).Codes(),
              Channels(15, k5, "China", kBw20, true).Codes());
}

TEST(RadioTables, ModeAndBandwidthListsAndTheirFallbacks) {
    struct Case {
        uint32_t type;
        RadioBand band;
        Codes modes;
    };
    for (const Case& c :
         {Case{1, k24, {1, 2, 0, 4}}, Case{10, k24, {1, 2, 0, 4}}, Case{6, k5, {0, 3, 1}},
          Case{10, k5, {0, 3, 1, 2}}, Case{18, k5, {0, 3, 1, 2}}, Case{13, k5, {0, 1, 2}},
          Case{271, k5, {0, 1, 2}}}) {
        const RadioList modes = NetworkModeList(c.type, c.band, std::nullopt);
        EXPECT_EQ(modes.Codes(), c.modes) << c.type;
        EXPECT_EQ(modes.selected, 2) << "no wanted mode: the third entry";
        EXPECT_EQ(NetworkModeList(c.type, c.band, 99).selected, 2);
        EXPECT_EQ(NetworkModeList(c.type, c.band, c.modes[0]).selected, 0);
    }
    EXPECT_EQ(NetworkModeList(13, k5, 3).SelectedCode(), kMode5AC);  // 11n removed

    EXPECT_EQ(BandwidthList(10, k5, kMode5AC, kBw60).Codes(), (Codes{2, 4, 0, 5, 1, 6, 7, 3}));
    EXPECT_EQ(BandwidthList(10, k5, kMode5AC, kBw60).selected, 6);
    EXPECT_EQ(BandwidthList(15, k5, kMode5AN, kBw80).selected, 0);  // 80 MHz only with 11ac
    EXPECT_EQ(BandwidthList(1, k24, kMode24BGN, kBw40).Codes(), (Codes{2, 0, 1}));
    EXPECT_EQ(BandwidthList(1, k24, kMode24G, kBw40).Codes(), (Codes{0}));
    EXPECT_EQ(BandwidthList(1, k24, -1, std::nullopt).selected, -1);

    // A channel no longer offered after a bandwidth change falls back to Auto.
    RadioQuery q;
    q.type = 10;
    q.band = k5;
    q.country = Country("China");
    q.networkMode = kMode5AN;
    q.channel = 165;
    q.bandwidth = kBw20;
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 165);
    q.bandwidth = kBw40;
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 0);
    q.channel = 161;
    EXPECT_EQ(FillRadioLists(q).channels.SelectedCode(), 161);
}

TEST(RadioTables, ExtensionChannel) {
    auto ext = [](std::string_view country, uint32_t type, int mode, int bw, int channel,
                  int wanted = 2, RadioBand band = RadioBand::k24GHz) {
        RadioQuery q;
        q.type = type;
        q.band = band;
        q.country = Country(country);
        q.networkMode = mode;
        q.bandwidth = bw;
        q.channel = channel;
        q.extension = wanted;
        return FillRadioLists(q).extensionChannels;
    };
    struct Case {
        std::string_view country;
        uint32_t type;
        int channel;
        std::vector<RadioEntry> entries;
    };
    const std::vector<Case> cases = {
        {"Germany", 1, 3, {{1, "7", false}}},
        {"Germany", 1, 1, {{1, "5", false}}},
        {"Germany", 1, 6, {{0, "2", false}, {1, "10", false}}},
        {"Germany", 1, 9, {{0, "5", false}, {1, "13", false}}},  // 9 = n - 4 with n = 13
        {"Germany", 1, 11, {{0, "7", false}}},
        {"Germany", 12, 9, {{0, "5", false}}},       // no "Auto": n = 12
        {"United States", 1, 8, {{0, "4", false}}},  // n = 11
    };
    for (const Case& c : cases) {
        const RadioList l = ext(c.country, c.type, kMode24BGN, kBw40, c.channel);
        EXPECT_TRUE(l.enabled) << c.channel;
        EXPECT_EQ(l.entries, c.entries) << c.country << " " << c.channel;
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
        EXPECT_TRUE(l.entries.empty());
        EXPECT_EQ(l.selected, -1);
    }
}

TEST(RadioTables, CountryCodeNumbers) {
    EXPECT_EQ(CountryOfCodeNumber(0), Country("China"));
    EXPECT_EQ(CountryOfCodeNumber(1), Country("United States"));
    EXPECT_EQ(CountryOfCodeNumber(59), Country("Austria"));
    EXPECT_EQ(CountryOfCodeNumber(61), kCountryTest);
    // Codes without an entry, empty slots, and past the table.
    for (uint32_t slot : {7u, 24u, 30u, 62u, 255u, 256u, 100000u})
        EXPECT_FALSE(CountryOfCodeNumber(slot).has_value()) << slot;
    EXPECT_EQ(CodeOfSlot(24), "AT");
    EXPECT_EQ(CodeOfSlot(62), "");
    for (size_t i = 0; i < kCountryCount; ++i)
        EXPECT_EQ(CountryOfCodeNumber(CodeNumberOfCountry(i)), i) << CountryTable()[i].name;
    EXPECT_EQ(CodeNumberOfCountry(kCountryCount), 0);

    // A device whose country has no entry is offered "Auto" alone.
    ChannelQuery q;
    q.type = 10;
    q.band = k5;
    q.country = CountryOfCodeNumber(7);
    q.bandwidth = kBw20;
    q.wanted = 36;
    const RadioList l = ChannelList(q);
    EXPECT_EQ(l.Codes(), (Codes{0}));
    EXPECT_EQ(l.selected, 0);
}

TEST(RadioTables, WhatAnOperatorTypes) {
    EXPECT_EQ(FindCountry("united states"), kCountryUnitedStates);
    EXPECT_EQ(FindCountry("ca"), kCountryCanada);
    EXPECT_EQ(FindCountry("AUT"), Country("Austria"));
    EXPECT_EQ(FindCountry("South Afica"), FindCountryByCode("ZA"));
    for (std::string_view none : {"NL", "AT", "", "Chin"}) EXPECT_FALSE(FindCountry(none)) << none;

    EXPECT_EQ(ParseNetworkMode(k24, "11B/G/N"), kMode24BGN);
    EXPECT_EQ(ParseNetworkMode(k24, "1"), kMode24B);
    EXPECT_EQ(ParseNetworkMode(k5, "11n"), kMode5N);
    EXPECT_EQ(ParseNetworkMode(k5, "3"), kMode5N);
    for (std::string_view none : {"11n", "3", "11ac", "", "5"})
        EXPECT_FALSE(ParseNetworkMode(k24, none)) << none;

    EXPECT_EQ(ParseBandwidth("20MHz"), kBw20);
    EXPECT_EQ(ParseBandwidth("auto"), kBwAuto);
    EXPECT_EQ(ParseBandwidth("7"), kBw60);
    for (std::string_view none : {"8", "20", "-1", "", "80 MHz"})
        EXPECT_FALSE(ParseBandwidth(none)) << none;
}

}  // namespace
}  // namespace kestrix
