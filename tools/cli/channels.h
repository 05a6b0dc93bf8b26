#pragma once
// kestrix-cli channels: which network modes, bandwidths, channels and
// extension channels the wireless settings would offer a device type on
// its band in a country. Works from the radio tables alone: no network, no
// lock, no store.

#include <optional>
#include <string>
#include <vector>

#include "fleet/radio_tables.h"

namespace kestrix::cli {

// The command line's texts, as typed.
struct ChannelsRequest {
    std::string type;     // type code
    std::string band;     // "2.4" or "5"
    std::string country;  // name or code
    std::optional<std::string> networkMode, bandwidth, channel;
    bool dfs = false;
};

struct ChannelsAnswer {
    RadioQuery query;
    RadioLists lists;
    // Things the operator asked for that the lists do not offer, each a
    // line saying what is selected instead.
    std::vector<std::string> notes;
};

struct ChannelsOutcome {
    std::optional<ChannelsAnswer> answer;
    std::string error;  // why the request cannot be answered (exit 2)
};

ChannelsOutcome AnswerChannels(const ChannelsRequest& request);

// One object with the keys network_modes, bandwidths, channels and
// extension_channels, each {"entries": [{"code": N, "text": "..."}],
// "selected": INDEX}; texts as the lists show them (looked up).
std::string ChannelsJson(const RadioLists& lists);
// A heading line, then one line per list, the selected entry in brackets.
// The extension list is left out unless a channel was asked for.
std::string ChannelsText(const ChannelsAnswer& answer, bool withExtension);

}  // namespace kestrix::cli
