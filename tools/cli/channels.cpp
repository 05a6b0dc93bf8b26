#include "tools/cli/channels.h"

#include <algorithm>
#include <cctype>

#include "base/language.h"
#include "store/field_texts.h"
#include "tools/cli/output.h"

namespace kestrix::cli {

namespace {

std::string Shown(const RadioEntry& e) {
    return e.lookUp ? TranslateText(e.text) : e.text;
}

// The channel as typed: a number up to 255 or "Auto".
std::optional<int> ReadChannel(const std::string& text) {
    if (text.size() == 4 && std::equal(text.begin(), text.end(), "auto", [](char a, char b) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(a))) == b;
        }))
        return 0;
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > 255) return std::nullopt;
    return value;
}

std::optional<uint32_t> ReadType(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    const std::vector<uint16_t>& known = ModelCodes();
    if (std::find(known.begin(), known.end(), value) == known.end()) return std::nullopt;
    return value;
}

std::string SelectedText(const RadioList& list) {
    if (list.selected < 0) return "nothing";
    return Shown(list.entries[static_cast<size_t>(list.selected)]);
}

}  // namespace

ChannelsOutcome AnswerChannels(const ChannelsRequest& r) {
    ChannelsOutcome out;
    auto fail = [&](std::string message) {
        out.error = std::move(message);
        return out;
    };
    RadioQuery q;
    const auto type = ReadType(r.type);
    if (!type)
        return fail("Unknown device type '" + TerminalSafe(r.type) +
                    "': give a type code (1-13, 15-18, 257-271).");
    q.type = *type;
    if (r.band == "2.4") {
        q.band = RadioBand::k24GHz;
    } else if (r.band == "5") {
        q.band = RadioBand::k5GHz;
    } else {
        return fail("Unknown band '" + TerminalSafe(r.band) + "': give 2.4 or 5.");
    }
    q.country = FindCountry(r.country);
    bool codeWithoutEntry = false;
    for (uint32_t slot = 0; slot < kCodeSlotCount && !q.country; ++slot)
        codeWithoutEntry = codeWithoutEntry || CodeOfSlot(slot) == r.country;
    if (codeWithoutEntry)
        return fail("The country code " + r.country +
                    " has no entry in the country list: its channels cannot be chosen.");
    if (!q.country)
        return fail("Unknown country '" + TerminalSafe(r.country) +
                    "': give a name of the country list (\"China\", \"United States\") or its "
                    "code (\"CN\").");
    const std::string bandText = q.band == RadioBand::k24GHz ? "2.4 GHz" : "5 GHz";
    if (r.networkMode) {
        q.networkMode = ParseNetworkMode(q.band, *r.networkMode);
        if (!q.networkMode) {
            std::string modes;
            for (int code : {0, 1, 2, 3, 4}) {
                const std::string_view text = NetworkModeText(q.band, code);
                if (text.empty()) continue;
                modes += (modes.empty() ? "" : ", ") + std::string(text) + " (" +
                         std::to_string(code) + ")";
            }
            return fail("Unknown network mode '" + TerminalSafe(*r.networkMode) + "' for " +
                        bandText + ": give one of " + modes + ".");
        }
    }
    if (r.bandwidth) {
        q.bandwidth = ParseBandwidth(*r.bandwidth);
        if (!q.bandwidth)
            return fail("Unknown bandwidth '" + TerminalSafe(*r.bandwidth) +
                        "': give 20MHz (0), 40MHz (1), Auto (2), 80MHz (3), 10MHz (4), 30MHz (5), "
                        "50MHz (6) or 60MHz (7).");
    }
    if (r.channel) {
        q.channel = ReadChannel(*r.channel);
        if (!q.channel)
            return fail("'" + TerminalSafe(*r.channel) +
                        "' is not a channel: give a number from 0 to 255 or Auto.");
    }
    const bool dfsType = q.type == 15 || q.type == 18;
    q.dfs = r.dfs && dfsType;

    ChannelsAnswer a;
    a.query = q;
    a.lists = FillRadioLists(q);
    const std::string who = "type " + std::to_string(q.type) + " on " + bandText + " in " +
                            std::string(CountryTable()[*q.country].name);
    auto note = [&](const std::string& what, const RadioList& list) {
        a.notes.push_back(what + " is not offered to " + who + "; the list selects " +
                          SelectedText(list) + ".");
    };
    if (q.networkMode && a.lists.networkModes.SelectedCode() != q.networkMode)
        note(std::string(NetworkModeText(q.band, *q.networkMode)), a.lists.networkModes);
    if (q.bandwidth && a.lists.bandwidths.SelectedCode() != q.bandwidth)
        note(BandwidthText(static_cast<uint32_t>(*q.bandwidth)), a.lists.bandwidths);
    if (q.channel && a.lists.channels.SelectedCode() != q.channel)
        note("Channel " + std::to_string(*q.channel), a.lists.channels);
    if (r.dfs && !dfsType)
        a.notes.push_back("--dfs changes nothing for type " + std::to_string(q.type) +
                          ": only types 15 and 18 have the DFS switch.");
    out.answer = std::move(a);
    return out;
}

std::string ChannelsJson(const RadioLists& lists) {
    auto object = [](const RadioList& list) {
        std::string out = "{\"entries\": [";
        for (size_t i = 0; i < list.entries.size(); ++i) {
            const RadioEntry& e = list.entries[i];
            if (i > 0) out += ", ";
            out +=
                "{\"code\": " + std::to_string(e.code) + ", \"text\": " + JsonQuote(Shown(e)) + "}";
        }
        return out + "], \"selected\": " + std::to_string(list.selected) + "}";
    };
    return "{\"network_modes\": " + object(lists.networkModes) +
           ",\n \"bandwidths\": " + object(lists.bandwidths) +
           ",\n \"channels\": " + object(lists.channels) +
           ",\n \"extension_channels\": " + object(lists.extensionChannels) + "}\n";
}

std::string ChannelsText(const ChannelsAnswer& a, bool withExtension) {
    const RadioQuery& q = a.query;
    const CountryEntry& country = CountryTable()[q.country.value_or(0)];
    std::string out = TranslateText("Wireless_country") + ": " +
                      TranslateText(std::string(country.name)) + " (" + std::string(country.code) +
                      "), " + ModelName(q.type) + " (type " + std::to_string(q.type) + "), " +
                      (q.band == RadioBand::k24GHz ? "2.4 GHz" : "5 GHz");
    if (q.type == 15 || q.type == 18) out += std::string(", DFS ") + (q.dfs ? "on" : "off");
    out += "\n";

    struct Row {
        std::string label;
        const RadioList* list;
    };
    std::vector<Row> rows = {{TranslateText("NetMode"), &a.lists.networkModes},
                             {TranslateText("BandWidth"), &a.lists.bandwidths},
                             {TranslateText("Wireless_channel"), &a.lists.channels}};
    if (withExtension) rows.push_back({TranslateText("ExpandChannel"), &a.lists.extensionChannels});
    size_t width = 0;
    for (const Row& r : rows) width = std::max(width, DisplayWidth(r.label));
    for (const Row& r : rows) {
        out += r.label + ":" + std::string(width - DisplayWidth(r.label) + 2, ' ');
        if (r.list->entries.empty()) {
            out += "-\n";
            continue;
        }
        // Codes beside the texts where they differ, so a script-writer sees
        // what --network-mode and --bandwidth take; the selection in brackets.
        for (size_t i = 0; i < r.list->entries.size(); ++i) {
            const RadioEntry& e = r.list->entries[i];
            std::string item = Shown(e);
            if (e.lookUp && r.list != &a.lists.extensionChannels)
                item += "(" + std::to_string(e.code) + ")";
            if (static_cast<int>(i) == r.list->selected) item = "[" + item + "]";
            out += (i > 0 ? " " : "") + item;
        }
        out += "\n";
    }
    return out;
}

}  // namespace kestrix::cli
