// kestrix-cli channels: what the command line may ask, what it refuses, and
// that the JSON a script reads back holds the lists the tables build.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/json_value.h"
#include "tools/cli/channels.h"
#include "tools/cli/cli_options.h"

namespace kestrix::cli {
namespace {

using labkit::JsonValue;
using labkit::ParseJson;

ChannelsOutcome Answer(std::vector<std::string> args) {
    args.insert(args.begin(), "channels");
    const ParseOutcome p = ParseArguments(args);
    EXPECT_TRUE(p.ok) << p.error;
    return AnswerChannels(p.options.channels);
}

JsonValue Json(const ChannelsOutcome& o) {
    EXPECT_TRUE(o.answer.has_value()) << o.error;
    std::string err;
    auto doc = ParseJson(ChannelsJson(o.answer->lists), &err);
    EXPECT_TRUE(doc.has_value()) << err;
    return doc.value_or(JsonValue());
}

std::vector<std::pair<long long, std::string>> Entries(const JsonValue& list) {
    std::vector<std::pair<long long, std::string>> out;
    for (const JsonValue& e : list["entries"].items())
        out.emplace_back(e["code"].Int(), e["text"].Str());
    return out;
}

TEST(CliChannels, CommandLineNeedsTypeBandAndCountryAndTakesNoNetworkOptions) {
    const std::vector<std::string> base = {"channels", "--type", "10", "--band", "5"};
    for (const std::vector<std::string>& more : std::vector<std::vector<std::string>>{
             {},  // no --country
             {"--country", "CN", "--csv"},
             {"--country", "CN", "--adapter", "lo"},
             {"--country", "CN", "--seconds", "1"},
             {"--country", "CN", "--dfs=1"},
         }) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        EXPECT_FALSE(ParseArguments(args).ok) << (more.empty() ? "" : more.back());
    }
    EXPECT_FALSE(ParseArguments({"search", "--type", "10"}).ok);
    const ParseOutcome p =
        ParseArguments({"channels", "--type=15", "--band", "5", "--country", "United States",
                        "--network-mode=11ac", "--channel", "149", "--dfs", "--json"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.format, Format::kJson);
    EXPECT_EQ(p.options.channels.country, "United States");
    EXPECT_EQ(p.options.channels.networkMode, "11ac");
    EXPECT_FALSE(p.options.channels.bandwidth.has_value());
    EXPECT_TRUE(p.options.channels.dfs);
}

TEST(CliChannels, UnknownValuesAreRefusedWithWhatIsAccepted) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--type", "14", "--band", "5", "--country", "CN"}, "type '14'"},
        {{"--type", "10", "--band", "5GHz", "--country", "CN"}, "2.4 or 5"},
        {{"--type", "10", "--band", "5", "--country", "Chin"}, "'Chin'"},
        {{"--type", "10", "--band", "5", "--country", "NL"}, "NL has no entry"},
        {{"--type", "10", "--band", "2.4", "--country", "CN", "--network-mode", "11ac"},
         "11b/g/n (4)"},
        {{"--type", "10", "--band", "5", "--country", "CN", "--network-mode", "4"}, "11n (3)"},
        {{"--type", "10", "--band", "5", "--country", "CN", "--bandwidth", "20"}, "20MHz (0)"},
        {{"--type", "10", "--band", "5", "--country", "CN", "--channel", "256"}, "0 to 255"},
    };
    for (const Case& c : cases) {
        const ChannelsOutcome o = Answer(c.args);
        EXPECT_FALSE(o.answer.has_value()) << c.says;
        EXPECT_NE(o.error.find(c.says), std::string::npos) << o.error;
    }
}

TEST(CliChannels, JsonHoldsTheFourListsBuiltDownTheChain) {
    const JsonValue doc =
        Json(Answer({"--type", "1", "--band", "2.4", "--country", "US", "--network-mode", "11b/g/n",
                     "--bandwidth", "40MHz", "--channel", "6"}));
    EXPECT_EQ(doc.size(), 4u);
    using E = std::vector<std::pair<long long, std::string>>;
    EXPECT_EQ(Entries(doc["network_modes"]),
              (E{{1, "11b"}, {2, "11g"}, {0, "11b/g"}, {4, "11b/g/n"}}));
    EXPECT_EQ(doc["network_modes"]["selected"].Int(), 3);
    EXPECT_EQ(Entries(doc["bandwidths"]), (E{{2, "Auto"}, {0, "20MHz"}, {1, "40MHz"}}));
    EXPECT_EQ(doc["bandwidths"]["selected"].Int(), 2);
    const E channels = Entries(doc["channels"]);
    ASSERT_EQ(channels.size(), 12u);  // Auto, 1..11
    EXPECT_EQ(channels.front(), (std::pair<long long, std::string>{0, "Auto"}));
    EXPECT_EQ(channels.back(), (std::pair<long long, std::string>{11, "11"}));
    EXPECT_EQ(doc["channels"]["selected"].Int(), 6);
    EXPECT_EQ(Entries(doc["extension_channels"]), (E{{0, "2"}, {1, "10"}}));
    EXPECT_EQ(doc["extension_channels"]["selected"].Int(), 0);

    // Nothing wanted: each list's own choice, and the chain follows it
    // (11a/n at 5 GHz, then Auto, then Auto with no extension list).
    const JsonValue plain = Json(Answer({"--type", "10", "--band", "5", "--country", "China"}));
    EXPECT_EQ(plain["network_modes"]["selected"].Int(), 2);
    EXPECT_EQ(plain["channels"]["selected"].Int(), 0);
    EXPECT_EQ(plain["extension_channels"]["entries"].size(), 0u);
    EXPECT_EQ(plain["extension_channels"]["selected"].Int(), -1);
}

TEST(CliChannels, CodesTextsAndNamesAreTheSameRequest) {
    const std::vector<std::string> base = {"--type", "15", "--band", "5", "--dfs"};
    auto json = [&](std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        const ChannelsOutcome o = Answer(args);
        return o.answer ? ChannelsJson(o.answer->lists) : o.error;
    };
    const std::string byText =
        json({"--country", "China", "--network-mode", "11ac", "--bandwidth", "80MHz"});
    EXPECT_EQ(json({"--country", "CN", "--network-mode", "2", "--bandwidth", "3"}), byText);
    EXPECT_EQ(json({"--country", "china", "--network-mode", "11AC", "--bandwidth", "80mhz"}),
              byText);
    // DFS opens 100 and above on type 15, and the country picks the group:
    // the request really reached the rules.
    EXPECT_NE(byText.find("\"text\": \"100\""), std::string::npos) << byText;
    EXPECT_NE(byText.find("\"text\": \"149\""), std::string::npos) << byText;
    EXPECT_EQ(json({"--country", "Germany"}).find("\"text\": \"149\""), std::string::npos);
}

TEST(CliChannels, WhatIsNotOfferedIsSaidAndTheFallbackShown) {
    const ChannelsOutcome o =
        Answer({"--type", "6", "--band", "5", "--country", "Germany", "--network-mode", "11ac",
                "--bandwidth", "60MHz", "--channel", "52", "--dfs"});
    ASSERT_TRUE(o.answer.has_value()) << o.error;
    ASSERT_EQ(o.answer->notes.size(), 4u);
    EXPECT_NE(o.answer->notes[0].find("11ac is not offered"), std::string::npos);
    EXPECT_NE(o.answer->notes[0].find("selects 11a/n"), std::string::npos);
    EXPECT_NE(o.answer->notes[2].find("Channel 52"), std::string::npos);
    EXPECT_NE(o.answer->notes[3].find("--dfs"), std::string::npos);

    // The plain form marks the selection and shows the extension list only
    // when a channel was asked for.
    const ChannelsOutcome g =
        Answer({"--type", "1", "--band", "2.4", "--country", "Germany", "--network-mode", "4",
                "--bandwidth", "Auto", "--channel", "11"});
    ASSERT_TRUE(g.answer.has_value());
    EXPECT_TRUE(g.answer->notes.empty());
    const std::string with = ChannelsText(*g.answer, true);
    EXPECT_NE(with.find("[11]"), std::string::npos) << with;
    EXPECT_NE(with.find("[11b/g/n(4)]"), std::string::npos) << with;
    EXPECT_NE(with.find("[7]\n"), std::string::npos) << with;
    const std::string without = ChannelsText(*g.answer, false);
    EXPECT_EQ(without.find("[7]\n"), std::string::npos) << without;
    EXPECT_EQ(std::count(without.begin(), without.end(), '\n'), 4);
}

}  // namespace
}  // namespace kestrix::cli
