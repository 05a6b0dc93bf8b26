#include "fleet/radio_tables.h"

#include <algorithm>
#include <initializer_list>

#include "store/field_texts.h"

namespace kestrix {

namespace {

// Channel lists shared by several countries. The names mean nothing beyond
// this file: A 2.4 GHz, B 5 GHz at 20 MHz, C at 40 MHz, D at 80 MHz.
constexpr std::string_view kA1 = "0,1,2,3,4,5,6,7,8,9,10,11,12,13";
constexpr std::string_view kA2 = "0,1,2,3,4,5,6,7,8,9,10,11";

constexpr std::string_view kB1 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161,165";
constexpr std::string_view kB2 = "0,52,56,60,64,149,153,157,161,165";
constexpr std::string_view kB3 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,144,149,153,157,161,"
    "165";
constexpr std::string_view kB4 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140";
constexpr std::string_view kB5 =
    "0,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161,165";
constexpr std::string_view kB6 = "0,36,40,44,48,149,153,157,161,165";
constexpr std::string_view kB7 = "0,149,153,157,161,165";
constexpr std::string_view kB8 = "0,36,40,44,48";
constexpr std::string_view kB9 =
    "0,8,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161,165,"
    "179,181,188";

constexpr std::string_view kC1 =
    "0,36l,40u,44l,48u,52l,56u,60l,64u,100l,104u,108l,112u,120u,128u,132l,136u,140l,149l,153u,"
    "157l,161u";
constexpr std::string_view kC2 = "0,52l,56u,60l,64u,149l,153u,157l,161u";
constexpr std::string_view kC3 =
    "0,36l,40u,44l,48u,52l,56u,60l,64u,100l,104u,108l,112u,116l,120u,124l,128u,132l,136u,140l,"
    "144u,149l,153u,157l,161u";
constexpr std::string_view kC4 =
    "0,36l,40u,44l,48u,52l,56u,60l,64u,100l,104u,108l,112u,116l,120u,124l,128u,132l,136u";
constexpr std::string_view kC5 =
    "0,52l,56u,60l,64u,100l,104u,108l,112u,120u,128u,132l,136u,140l,149l,153u,157l,161u";
constexpr std::string_view kC6 =
    "0,36l,40u,44l,48u,52l,56u,60l,64u,100l,104u,108l,112u,116l,120u,124l,128u,132l,136u,149,153,"
    "157,161";
constexpr std::string_view kC7 = "0,149,153,157,161";
constexpr std::string_view kC8 = "0,36,40,44,48";
constexpr std::string_view kC9 = "0,36,40,44,48,149,153,157,161";
constexpr std::string_view kC10 =
    "0,8,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161,179,"
    "181,188";

constexpr std::string_view kD1 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,132,136,140,144,149,153,157,161";
constexpr std::string_view kD2 = "0,52,56,60,64,149,153,157,161";
constexpr std::string_view kD3 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,149,153,157,161";
constexpr std::string_view kD4 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,144,149,153,157,161";
constexpr std::string_view kD5 = "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128";
constexpr std::string_view kD6 =
    "0,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161";
constexpr std::string_view kD7 =
    "0,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161";
constexpr std::string_view kD8 = "0,149,153,157,161";
constexpr std::string_view kD9 = "0,36,40,44,48,149,153,157,161";
constexpr std::string_view kD10 = "0,36,40,44,48";
constexpr std::string_view kD11 =
    "0,8,36,40,44,48,52,56,60,64,100,104,108,112,116,120,124,128,132,136,140,149,153,157,161,179,"
    "181,188";

constexpr std::array<CountryEntry, kCountryCount> kCountries = {{
    {"AU", "Australia", kA1, kB1, kC1, kD1, 2},
    {"AR", "Argentina", kA1, kB2, kC2, kD2, 1},
    {"BR", "Brazil", kA1, kB1, kC1, kD3, 2},
    {"CA", "Canada", kA2, kB3, kC3, kD4, 2},
    {"CN", "China", kA1, kB3, kC3, kD4, 2},
    {"CO", "Colombia", kA2, kB3, kC3, kD4, 2},
    {"CZ", "CzechRepublic", kA1, kB4, kC4, kD5, 0},
    {"EG", "Egypt", kA1, kB4, kC4, kD5, 0},
    {"GB", "England", kA1, kB4, kC4, kD5, 0},
    {"FR", "France", kA1, kB4, kC4, kD5, 0},
    {"DE", "Germany", kA1, kB4, kC4, kD5, 0},
    {"HK", "Hong Kong", kA1, kB1, kC1, kD6, 2},
    {"IN", "India", kA1, kB1, kC1, kD6, 2},
    {"ID", "Indonesia", kA1, kB1, kC1, kD6, 2},
    {"IR", "Iran", kA1, kB5, kC5, kD7, 1},
    {"IQ", "Iraq", kA1, kB1, kC1, kD6, 2},
    {"MY", "Malaysia", kA1, kB5, kC5, kD7, 1},
    {"MX", "Mexico", kA2, kB1, kC1, kD6, 2},
    {"PE", "Peru", kA1, kB5, kC5, kD7, 1},
    {"PK", "Pakistan", kA1, kB5, kC5, kD7, 1},
    {"PH", "Philippines", kA1, kB1, kC1, kD6, 2},
    {"PL", "Poland", kA1, kB4, kC4, kD5, 0},
    {"RO", "Romania", kA1, kB4, kC4, kD5, 0},
    {"RU", "Russia", kA1, kB6, kC6, kD3, 2},
    {"SA", "Saudi Arabia", kA1, kB1, kC1, kD6, 2},
    // The name is data as the language files spell it.
    {"ZA", "South Afica", kA1, kB1, kC1, kD3, 2},
    {"ES", "Spain", kA1, kB4, kC4, kD5, 0},
    {"TW", "Taiwan", kA2, kB5, kC5, kD7, 2},
    {"TH", "Thailand", kA1, kB1, kC1, kD6, 2},
    {"TR", "Turkey", kA1, kB4, kC4, kD5, 0},
    {"AE", "United Arab Emirates", kA1, kB7, kC7, kD8, 1},
    {"US", "United States", kA2, kB1, kC1, kD6, 2},
    {"UA", "Ukraine", kA1, kB6, kC6, kD9, 2},
    {"VE", "Venezuela", kA1, kB5, kC5, kD7, 1},
    {"VN", "Vietnam", kA1, kB4, kC4, kD5, 0},
    {"IT", "Italy", kA1, kB8, kC8, kD10, 0},
    {"AM", "Armenia", kA1, kB8, kC8, kD10, 0},
    {"HU", "Hungary", kA1, kB8, kC8, kD10, 0},
    {"KR", "Korea", kA1, kB6, kC9, kD9, 2},
    {"AUT", "Austria", kA1, kB6, kC9, kD9, 2},
    {"CHL", "Chile", kA1, kB6, kC9, kD9, 2},
    {"Test", "Test", kA1, kB9, kC10, kD11, 3},
}};

constexpr std::array<GroupLists, kGroupCount> kGroups = {{
    {"0,36,40,44,48,100,104,108,112,116,132,136,140",
     "0,36l,40u,44l,48u,100l,104u,108l,112u,116l,132l,136u", "0,36,40,44,48,100,104,108,112,116"},
    {"0,149,153,157,161,165", "0,149l,153u,157l,161u", "0,149,153,157,161"},
    {"0,36,40,44,48,100,104,108,112,116,132,136,140,149,153,157,161,165",
     "0,36l,40u,44l,48u,100l,104u,108l,112u,116l,132l,136u,149l,153u,157l,161u",
     "0,36,40,44,48,100,104,108,112,116,149,153,157,161"},
    {kB9, kC10, kC10},
}};

// Slots 0..61; the rest of the 256 are empty.
constexpr std::array<std::string_view, 62> kCodeSlots = {
    "CN", "US", "GB", "ES", "IT", "FR", "DE", "NL",  "CZ",  "PL",  "EE", "RU", "TR",
    "SE", "CH", "DK", "BE", "BG", "AM", "FI", "SI",  "SK",  "RO",  "PT", "AT", "GR",
    "CA", "MX", "BR", "AR", "CL", "CO", "PE", "LV",  "IN",  "ID",  "PH", "VN", "TH",
    "KR", "HK", "TW", "MY", "NZ", "AU", "PK", "AE",  "IQ",  "SA",  "ZA", "EG", "MA",
    "IL", "BD", "IR", "NP", "UA", "VE", "HU", "AUT", "CHL", "Test"};
static_assert(kCodeSlots[59] == "AUT" && kCodeSlots[61] == "Test");
static_assert(kCountries[kCountryCanada].code == "CA" &&
              kCountries[kCountryUnitedStates].code == "US" &&
              kCountries[kCountryTest].name == "Test");

// The 2.4 GHz list of type 12 outside the United States and Canada: no "Auto".
constexpr std::string_view kType12List24 = "1,2,3,4,5,6,7,8,9,10,11,12,13";

bool IsOneOf(uint32_t value, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), value) != set.end();
}

bool IsGroupType(uint32_t type) {
    return IsOneOf(type, {13, 15, 18, 271});
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// A small decimal number and nothing else ("7", not "07x" or "-1").
std::optional<int> SmallNumber(std::string_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

RadioList Select(std::vector<RadioEntry> entries, std::optional<int> wanted, int fallback) {
    RadioList list;
    list.entries = std::move(entries);
    if (list.entries.empty()) return list;
    list.selected = std::min(fallback, static_cast<int>(list.entries.size()) - 1);
    if (wanted) {
        for (size_t i = 0; i < list.entries.size(); ++i) {
            if (list.entries[i].code == *wanted) {
                list.selected = static_cast<int>(i);
                break;
            }
        }
    }
    return list;
}

struct ModeName {
    int code;
    std::string_view text;
};
constexpr std::array<ModeName, 4> kModes24 = {
    {{kMode24BG, "11b/g"}, {kMode24B, "11b"}, {kMode24G, "11g"}, {kMode24BGN, "11b/g/n"}}};
constexpr std::array<ModeName, 4> kModes5 = {
    {{kMode5A, "11a"}, {kMode5AN, "11a/n"}, {kMode5AC, "11ac"}, {kMode5N, "11n"}}};

const std::array<ModeName, 4>& ModesOf(RadioBand band) {
    return band == RadioBand::k24GHz ? kModes24 : kModes5;
}

bool SkipChannel(const ChannelQuery& q, int channel) {
    const bool test = q.country && CountryTable()[*q.country].name == "Test";
    if (test) {
        if (IsOneOf(q.type, {10, 11, 13, 268, 269, 270, 271}) &&
            IsOneOf(static_cast<uint32_t>(channel), {8, 179, 181, 188}))
            return true;
        if (q.use == ChannelListUse::kBridgeWizard && IsOneOf(q.type, {15, 18}) &&
            IsOneOf(static_cast<uint32_t>(channel), {120, 124, 128}))
            return true;
        return false;
    }
    if (channel >= 52 && channel <= 64) return true;
    const bool dfsType = IsOneOf(q.type, {15, 18});
    if (channel >= 100 && channel <= 144 && !(dfsType && q.dfs)) return true;
    return false;
}

}  // namespace

const std::array<CountryEntry, kCountryCount>& CountryTable() {
    return kCountries;
}

GroupLists GroupListsFor(int group) {
    if (group < 0 || group >= kGroupCount) return {};
    return kGroups[static_cast<size_t>(group)];
}

std::string_view CodeOfSlot(uint32_t slot) {
    return slot < kCodeSlots.size() ? kCodeSlots[slot] : std::string_view();
}

std::optional<size_t> CountryOfCodeNumber(uint32_t countryCode) {
    const std::string_view code = CodeOfSlot(countryCode);
    if (code.empty()) return std::nullopt;
    return FindCountryByCode(code);
}

uint8_t CodeNumberOfCountry(size_t index) {
    if (index >= kCountries.size()) return 0;
    for (size_t slot = 0; slot < kCodeSlots.size(); ++slot) {
        if (kCodeSlots[slot] == kCountries[index].code) return static_cast<uint8_t>(slot);
    }
    return 0;
}

std::optional<size_t> FindCountryByCode(std::string_view code) {
    for (size_t i = 0; i < kCountries.size(); ++i) {
        if (kCountries[i].code == code) return i;
    }
    return std::nullopt;
}

std::optional<size_t> FindCountry(std::string_view nameOrCode) {
    if (auto byCode = FindCountryByCode(nameOrCode)) return byCode;
    for (size_t i = 0; i < kCountries.size(); ++i) {
        if (SameIgnoringCase(kCountries[i].name, nameOrCode)) return i;
    }
    // "cn" and "us" typed in lower case.
    for (size_t i = 0; i < kCountries.size(); ++i) {
        if (SameIgnoringCase(kCountries[i].code, nameOrCode)) return i;
    }
    return std::nullopt;
}

std::vector<int> ReadChannelList(std::string_view list) {
    std::vector<int> channels;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view piece = list.substr(start, end - start);
        if (!piece.empty() && (piece.back() == 'l' || piece.back() == 'u')) piece.remove_suffix(1);
        if (auto n = SmallNumber(piece)) channels.push_back(*n);
        start = end + 1;
    }
    return channels;
}

std::optional<int> RadioList::SelectedCode() const {
    if (selected < 0 || static_cast<size_t>(selected) >= entries.size()) return std::nullopt;
    return entries[static_cast<size_t>(selected)].code;
}

std::vector<int> RadioList::Codes() const {
    std::vector<int> codes;
    for (const RadioEntry& e : entries) codes.push_back(e.code);
    return codes;
}

RadioList NetworkModeList(uint32_t type, RadioBand band, std::optional<int> wanted) {
    std::vector<int> codes;
    if (band == RadioBand::k24GHz) {
        codes = {kMode24B, kMode24G, kMode24BG, kMode24BGN};
    } else {
        codes = {kMode5A, kMode5N, kMode5AN};
        if (IsOneOf(type, {10, 11, 15, 18, 268, 269, 270})) codes.push_back(kMode5AC);
        if (IsOneOf(type, {13, 271})) codes = {kMode5A, kMode5AN, kMode5AC};
    }
    std::vector<RadioEntry> entries;
    for (int code : codes)
        entries.push_back({code, std::string(NetworkModeText(band, code)), true});
    return Select(std::move(entries), wanted, 2);
}

RadioList BandwidthList(uint32_t type, RadioBand band, int networkMode, std::optional<int> wanted) {
    // The rule itself lives with the other field texts, where the device
    // grids use it too; a negative mode can match none of its cases.
    const uint32_t mode = networkMode < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(networkMode);
    const BandwidthChoices choices =
        FillBandwidthChoices(type, band == RadioBand::k24GHz ? 0 : 1, mode, 0);
    std::vector<RadioEntry> entries;
    for (const auto& [text, code] : choices.items) entries.push_back({code, text, true});
    return Select(std::move(entries), wanted, 0);
}

std::string_view ChannelSourceList(const ChannelQuery& q) {
    if (!q.country || *q.country >= kCountries.size()) return {};
    const CountryEntry& country = kCountries[*q.country];
    if (q.band == RadioBand::k24GHz) {
        if (q.type == 12 && *q.country != kCountryUnitedStates && *q.country != kCountryCanada)
            return kType12List24;
        return country.list24;
    }
    if (!q.bandwidth) return {};
    const int bw = *q.bandwidth;
    if (IsGroupType(q.type)) {
        const GroupLists group = GroupListsFor(country.group);
        if (bw == kBw20) return group.list20;
        if (bw == kBw40 || bw == kBwAuto) return group.list40;
        return group.other;
    }
    if (bw == kBw20 || bw == kBwAuto || bw == kBw10 || bw == kBw30) return country.list20;
    if (bw == kBw40) return country.list40;
    if (bw == kBw80 || bw == kBw50 || bw == kBw60) return country.list80;
    return {};
}

RadioList ChannelList(const ChannelQuery& q) {
    std::vector<RadioEntry> entries;
    if (!q.country || *q.country >= kCountries.size()) {
        // No country entry to read: only "Auto", so nothing outside the
        // device's own regulatory domain can be chosen.
        entries.push_back({0, "Auto", true});
    } else {
        for (int channel : ReadChannelList(ChannelSourceList(q))) {
            if (SkipChannel(q, channel)) continue;
            if (channel == 0)
                entries.push_back({0, "Auto", true});
            else
                entries.push_back({channel, std::to_string(channel), false});
        }
    }
    return Select(std::move(entries), q.wanted, 0);
}

RadioList ExtensionChannelList(RadioBand band, std::optional<int> networkMode,
                               std::optional<int> bandwidth, const RadioList& channels,
                               int wanted) {
    RadioList list;
    list.enabled =
        band == RadioBand::k24GHz && networkMode == kMode24BGN && bandwidth && *bandwidth != kBw20;
    const std::optional<int> selected = channels.SelectedCode();
    if (!list.enabled || !selected || *selected == 0) {
        list.enabled = false;
        return list;
    }
    const int c = *selected;
    const int n = static_cast<int>(channels.entries.size()) - 1;
    if (c <= 4) {
        list.entries.push_back({1, std::to_string(c + 4), false});
    } else if (c <= n - 4) {
        list.entries.push_back({0, std::to_string(c - 4), false});
        list.entries.push_back({1, std::to_string(c + 4), false});
    } else {
        list.entries.push_back({0, std::to_string(c - 4), false});
    }
    list.selected = 0;
    if (list.entries.size() == 2 && wanted == 1) list.selected = 1;
    return list;
}

RadioLists FillRadioLists(const RadioQuery& q) {
    RadioLists out;
    out.networkModes = NetworkModeList(q.type, q.band, q.networkMode);
    const std::optional<int> mode = out.networkModes.SelectedCode();
    out.bandwidths = BandwidthList(q.type, q.band, mode.value_or(-1), q.bandwidth);
    const std::optional<int> bandwidth = out.bandwidths.SelectedCode();
    ChannelQuery cq;
    cq.type = q.type;
    cq.band = q.band;
    cq.country = q.country;
    cq.bandwidth = bandwidth;
    cq.dfs = q.dfs && IsOneOf(q.type, {15, 18});
    cq.wanted = q.channel;
    cq.use = q.use;
    out.channels = ChannelList(cq);
    out.extensionChannels =
        ExtensionChannelList(q.band, mode, bandwidth, out.channels, q.extension);
    return out;
}

std::optional<int> ParseNetworkMode(RadioBand band, std::string_view text) {
    for (const ModeName& m : ModesOf(band)) {
        if (SameIgnoringCase(m.text, text)) return m.code;
    }
    if (auto n = SmallNumber(text)) {
        for (const ModeName& m : ModesOf(band)) {
            if (m.code == *n) return m.code;
        }
    }
    return std::nullopt;
}

std::string_view NetworkModeText(RadioBand band, int code) {
    for (const ModeName& m : ModesOf(band)) {
        if (m.code == code) return m.text;
    }
    return {};
}

std::optional<int> ParseBandwidth(std::string_view text) {
    for (int code = 0; code <= kBw60; ++code) {
        if (SameIgnoringCase(BandwidthText(static_cast<uint32_t>(code)), text)) return code;
    }
    if (auto n = SmallNumber(text); n && *n <= kBw60) return n;
    return std::nullopt;
}

}  // namespace kestrix
