#pragma once
// The wireless settings of one device (the "WirelessSet" tab and
// `kestrix-cli configure`): what the view offers for the device's type,
// band and country, how each change rebuilds the lists that depend on it,
// and what Save makes of it: the 328-byte WirelessBlock, the 14-byte
// extension some types take with it, and whether anything changed.
//
// The object is the view's state; the Qt view mirrors it and calls the
// change handlers, the CLI applies its options through the same handlers.
// Nothing here talks to a device.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "fleet/config_field.h"
#include "fleet/radio_tables.h"
#include "fleet/validation.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// Security modes (item data of the security list).
inline constexpr int kSecNone = 0, kSecWep = 1, kSecWpaPsk = 2, kSecWpa2Psk = 3, kSecMixedPsk = 4,
                     kSecWpa = 5, kSecWpa2 = 6;

// The personal modes' cipher radios; the value is what `wpapsk_auth_type` holds.

// Which security fields a mode shows.
struct SecurityLayout {
    bool pskFields = false;       // cipher radios, key, interval
    bool tkipAesEnabled = false;  // the third radio (shown with the others)
    bool wepPanel = false;
    bool wpaPanel = false;
};
SecurityLayout SecurityLayoutFor(int mode);

struct WepPanelEntries {
    int authType = 0;    // 0 "Open", 1 "Share"
    int defaultKey = 0;  // position 0..3 ("Key 1" .. "Key 4")
    std::array<std::string, 4> keys;
    std::array<WepKeyFormat, 4> formats{WepKeyFormat::kAscii, WepKeyFormat::kAscii,
                                        WepKeyFormat::kAscii, WepKeyFormat::kAscii};
};

struct WpaPanelEntries {
    int authType = 0;  // position: 0 "AES", 1 "TKIP", 2 "AES/TKIP"
    Ipv4Bytes server{};
    std::string port;
    std::string key;
    std::string interval;
};

// The texts of the free-entry fields.
struct WirelessEntries {
    std::string ssid;
    bool hideSsid = false;
    std::string power;
    std::string pskKey;
    std::string pskInterval;
    WepPanelEntries wep;
    WpaPanelEntries wpa;
};

class WirelessSettings {
public:
    // Fill: every list built and selected from the record.
    explicit WirelessSettings(const ap_info_stu& record);

    const ap_info_stu& Record() const { return record_; }
    uint16_t Type() const { return type_; }
    RadioBand Band() const { return band_; }

    // ---- What the view shows ----
    // Work modes 2 and 3: every field disabled.
    bool ReadOnly() const { return workMode_ == 2 || workMode_ == 3; }
    // Work mode 6: country, channel and extension lists disabled.
    bool RadioLocked() const { return workMode_ == 6; }
    // The DFS box exists on types 15 and 18 only.
    bool DfsOffered() const { return type_ == 15 || type_ == 18; }
    bool Dfs() const { return dfs_; }
    // "(min-max)" beside the power field.
    std::string PowerRange() const;
    PskCipher Cipher() const { return cipher_; }
    SecurityLayout Layout() const;

    // Item data = index into CountryTable(); selected is -1 when the
    // device's code has no entry.
    const RadioList& Countries() const { return countries_; }
    const RadioList& NetworkModes() const { return lists_.networkModes; }
    const RadioList& Bandwidths() const { return lists_.bandwidths; }
    const RadioList& Channels() const { return lists_.channels; }
    const RadioList& Extensions() const { return lists_.extensionChannels; }
    // The modes the type offers; selected is -1 when the device reported
    // a mode its type does not offer.
    const RadioList& SecurityModes() const { return security_; }
    std::optional<int> SecurityMode() const { return security_.SelectedCode(); }

    WirelessEntries& Entries() { return entries_; }
    const WirelessEntries& Entries() const { return entries_; }

    // ---- Change handlers (an index into the list; out of range is ignored) ----
    void SelectCountry(int index);
    void SelectNetworkMode(int index);
    void SelectBandwidth(int index);
    void SelectChannel(int index);
    void SelectExtension(int index);
    void SetDfs(bool on);  // types 15 and 18 only
    void SelectSecurity(int index);
    void SelectCipher(PskCipher cipher);

    struct Result {
        std::optional<ConfigFailure> failure;  // set: not valid
        WirelessBlock block;
        ExtensionBlock extension;  // all zero but wl_dfs for types 15 and 18
        bool changed = false;
    };
    // A radio the operator did not touch keeps the record's country,
    // network mode, bandwidth, channel and extension channel, even where
    // the lists could not offer them (a channel set on the device's own web
    // page): saving a new name must not move the device to another channel.
    Result Collect() const;

private:
    void RebuildChannels(std::optional<int> bandwidth);
    void RebuildExtensions(int wanted);
    std::optional<size_t> SelectedCountry() const;

    ap_info_stu record_;
    WirelessBlock original_;
    uint16_t type_ = 0;
    uint8_t workMode_ = 0;
    RadioBand band_ = RadioBand::k24GHz;
    bool dfs_ = false;
    // Whether the operator changed any radio list (or the DFS box) since Fill.
    bool radioTouched_ = false;
    PskCipher cipher_ = PskCipher::kAes;
    RadioList countries_;
    RadioLists lists_;
    RadioList security_;
    WirelessEntries entries_;
};

// The position of `code` among a list's entries; -1 when it is not there.
int IndexOfCode(const RadioList& list, int code);

}  // namespace kestrix
