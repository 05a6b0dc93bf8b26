#pragma once
// The regulatory tables behind every radio choice the tool offers: the
// country table with its channel lists, the group lists some device types
// use instead, the device's country code numbers, and the rules that turn
// (device type, band, network mode, bandwidth, country, DFS) into the
// network-mode, bandwidth, channel and extension-channel lists of the
// wireless settings and the bridge wizard. Pure functions, no Qt: the views,
// the CLI and the tests all build the same lists.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix {

// The cipher of the pre-shared-key modes, as the wireless block and the
// bridge payload store it.
enum class PskCipher : uint8_t { kAes = 0, kTkip = 1, kTkipAes = 2 };

// The band is fixed by the device: `rf_type` 0 is the 2.4 GHz radio, any
// other value the 5 GHz one.
enum class RadioBand { k24GHz, k5GHz };
inline RadioBand BandOfRfType(uint32_t rfType) {
    return rfType == 0 ? RadioBand::k24GHz : RadioBand::k5GHz;
}

// ---- Countries ----------------------------------------------------------------------

// One entry of the country table. The lists are comma-separated channel
// numbers, 0 standing for "Auto"; a trailing "l" or "u" (lower or upper
// extension) is part of the data but ignored when a list is read.
struct CountryEntry {
    std::string_view code;
    std::string_view name;  // untranslated; looked up for display
    std::string_view list24;
    std::string_view list20;  // 5 GHz, 20 MHz
    std::string_view list40;  // 5 GHz, 40 MHz
    std::string_view list80;  // 5 GHz, 80 MHz
    int group;                // row of the group lists
};

inline constexpr size_t kCountryCount = 42;
// Entries the rules name by position.
inline constexpr size_t kCountryCanada = 3;
inline constexpr size_t kCountryUnitedStates = 31;
inline constexpr size_t kCountryTest = 41;

// The 42 entries in list order; an entry's item data is its index.
const std::array<CountryEntry, kCountryCount>& CountryTable();

// The 5 GHz lists the group types use: 20 MHz, 40 MHz and Auto, and every
// other bandwidth.
struct GroupLists {
    std::string_view list20;
    std::string_view list40;
    std::string_view other;
};
inline constexpr int kGroupCount = 4;
// Groups outside 0..3 have no lists (all three empty).
GroupLists GroupListsFor(int group);

// The record's `country_code` byte indexes 256 code slots; 62 hold a code.
inline constexpr size_t kCodeSlotCount = 256;
// The code in a slot; empty for the unused slots and anything past 255.
std::string_view CodeOfSlot(uint32_t slot);
// The table entry a device's `country_code` names: none when the slot is
// empty or out of range, or its code has no entry ("NL", "AT").
std::optional<size_t> CountryOfCodeNumber(uint32_t countryCode);
// The first slot holding the entry's code, for sending; 0 when no slot
// does (every entry of the table has one) or the index is out of range.
uint8_t CodeNumberOfCountry(size_t index);

// An entry by its code ("CN", exact) or by its untranslated name ("China";
// letter case ignored). Codes are tried first.
std::optional<size_t> FindCountryByCode(std::string_view code);
std::optional<size_t> FindCountry(std::string_view nameOrCode);

// The channel numbers of a list text, in order: each comma-separated piece
// read as a decimal number with a trailing "l" or "u" ignored. Pieces that
// are not numbers are left out (the built-in tables have none).
std::vector<int> ReadChannelList(std::string_view list);

// ---- The choice lists -----------------------------------------------------------------

// One item of a list: the item data and what the list shows. `text` is a
// language key when `lookUp` is set (pass it through TranslateText), else
// shown as it is (channel numbers).
struct RadioEntry {
    int code = 0;
    std::string text;
    bool lookUp = true;

    bool operator==(const RadioEntry&) const = default;
};

struct RadioList {
    std::vector<RadioEntry> entries;
    int selected = -1;    // index into entries; -1 only when entries is empty
    bool enabled = true;  // the extension list is disabled in most cases

    // Item data of the selected entry; nothing when no entry is selected.
    std::optional<int> SelectedCode() const;
    std::vector<int> Codes() const;
};

// Network-mode codes (item data).
inline constexpr int kMode24BG = 0, kMode24B = 1, kMode24G = 2, kMode24BGN = 4;
inline constexpr int kMode5A = 0, kMode5AN = 1, kMode5AC = 2, kMode5N = 3;
// Bandwidth codes (item data).
inline constexpr int kBw20 = 0, kBw40 = 1, kBwAuto = 2, kBw80 = 3, kBw10 = 4, kBw30 = 5, kBw50 = 6,
                     kBw60 = 7;

// The network modes the device's type offers on its band. Selects the entry
// whose code is `wanted`, else the third entry (also when nothing is wanted).
RadioList NetworkModeList(uint32_t type, RadioBand band, std::optional<int> wanted);

// The bandwidths for the type, band and selected network mode. Selects the
// entry whose code is `wanted`, else the first entry. An unknown 2.4 GHz
// network mode gives an empty list.
RadioList BandwidthList(uint32_t type, RadioBand band, int networkMode, std::optional<int> wanted);

// Which window builds the channel list: the bridge wizard skips three more
// channels in the "Test" country for types 15 and 18.
enum class ChannelListUse { kWirelessSettings, kBridgeWizard };

struct ChannelQuery {
    uint32_t type = 0;
    RadioBand band = RadioBand::k24GHz;
    // Index into the country table; none when the device's country has no
    // entry. Then only "Auto" is offered: no list of a country applies, and
    // the device keeps choosing within its own.
    std::optional<size_t> country;
    // The selected bandwidth code (5 GHz only); none or a code outside 0..7
    // chooses no list.
    std::optional<int> bandwidth;
    bool dfs = false;           // the DFS box; callers pass false for types other than 15 and 18
    std::optional<int> wanted;  // channel to select; else the first entry
    ChannelListUse use = ChannelListUse::kWirelessSettings;
};

// The list text the channel rule reads for the query (before any channel
// is skipped); empty when none applies.
std::string_view ChannelSourceList(const ChannelQuery& query);
// The channels offered: the source list with the regulatory skips applied.
// "Auto" (0) is a language key, other channels show their number.
RadioList ChannelList(const ChannelQuery& query);

// The extension channel: item data 0 the channel 4 below, 1 the channel 4
// above; the record's 2 means none. Built from the band, the selected network
// mode, bandwidth and channel (and the channel list's length). Enabled only
// on 2.4 GHz in 11b/g/n at a bandwidth other than 20 MHz with a channel
// chosen. With two entries `wanted` picks one by position, 2 the first.
RadioList ExtensionChannelList(RadioBand band, std::optional<int> networkMode,
                               std::optional<int> bandwidth, const RadioList& channels, int wanted);

// The four lists as the wireless settings fill them: each built from the
// selections of the ones before it.
struct RadioQuery {
    uint32_t type = 0;
    RadioBand band = RadioBand::k24GHz;
    std::optional<size_t> country;
    bool dfs = false;
    std::optional<int> networkMode;  // wanted entries; nothing: the list's own choice
    std::optional<int> bandwidth;
    std::optional<int> channel;
    int extension = 2;
    ChannelListUse use = ChannelListUse::kWirelessSettings;
};
struct RadioLists {
    RadioList networkModes;
    RadioList bandwidths;
    RadioList channels;
    RadioList extensionChannels;
};
RadioLists FillRadioLists(const RadioQuery& query);

// ---- Reading what an operator types ----------------------------------------------------

// A network mode as its code or its text ("11b/g/n"; letter case ignored),
// among the modes of the band; nothing when neither matches.
std::optional<int> ParseNetworkMode(RadioBand band, std::string_view text);
// The text of a network mode of the band ("" when the band has no such code).
std::string_view NetworkModeText(RadioBand band, int code);
// A bandwidth as its code (0..7) or its text ("20MHz", "Auto"; letter case
// ignored); nothing when neither matches.
std::optional<int> ParseBandwidth(std::string_view text);

}  // namespace kestrix
