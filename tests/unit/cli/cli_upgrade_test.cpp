// `kestrix-cli upgrade`: its command line, --type, how each device's result
// is settled once the upgrade is over, the listing and the exit status.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/field_texts.h"
#include "tests/support/csv_reader.h"
#include "tests/support/json_value.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/upgrade_results.h"

namespace kestrix::cli {
namespace {

TEST(CliUpgradeArguments, FileTypeAndYesBelongToUpgradeAndNeedADeviceSelection) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::string file, type;
        bool yes;
    } cases[] = {
        {{"upgrade", "--file", "/fw/a.bin", "--all"}, true, "/fw/a.bin", "", false},
        {{"upgrade", "--file=/fw/a.bin", "--type", "15", "--yes", "--mac", "02:4b:58:00:00:01"},
         true,
         "/fw/a.bin",
         "15",
         true},
        // An empty or missing file is the command's own refusal (exit 2).
        {{"upgrade", "--all"}, true, "", "", false},
        {{"upgrade", "--file", "/fw/a.bin"}, false, "", "", false},
        {{"upgrade", "--file"}, false, "", "", false},
        {{"upgrade", "--file", "/fw/a.bin", "extra", "--all"}, false, "", "", false},
        {{"search", "--file", "/fw/a.bin"}, false, "", "", false},
        {{"reboot", "--type", "15", "--all"}, false, "", "", false},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const ParseOutcome p = ParseArguments(c.args);
        ASSERT_EQ(p.ok, c.ok) << p.error;
        if (!c.ok) continue;
        EXPECT_EQ(p.options.command, Command::kUpgrade);
        EXPECT_EQ(p.options.upgradeFile, c.file);
        EXPECT_EQ(p.options.upgradeType, c.type);
        EXPECT_EQ(p.options.yes, c.yes);
    }
}

TEST(CliUpgradeArguments, TypeIsAKnownCodeOrModelName) {
    const uint16_t code = ModelCodes().back();
    uint16_t unknown = 1;
    while (std::count(ModelCodes().begin(), ModelCodes().end(), unknown) > 0) ++unknown;
    struct Case {
        std::string text;
        std::optional<uint16_t> type;
    } cases[] = {
        {std::to_string(code), code},
        {ModelName(code), code},
        {std::to_string(unknown), std::nullopt},
        {std::to_string(code) + "x", std::nullopt},
        {"-" + std::to_string(code), std::nullopt},
        {"", std::nullopt},
        {ModelName(code) + " ", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseUpgradeType(c.text), c.type) << "'" << c.text << "'";
}

TEST(CliUpgradeResults, EachDeviceSettlesOnWhatItReported) {
    struct Case {
        const char* name;
        UpgradeWatch watch;
        bool interrupted;
        Outcome outcome;
        std::string detail, versionAfter;
    } cases[] = {
        {"seen again",
         {.successAt = 5, .done = true},
         false,
         Outcome::kUpgraded,
         "upgraded: V1.0 -> V2.0",
         "V2.0"},
        {"seen again outranks a stop",
         {.successAt = 5, .done = true},
         true,
         Outcome::kUpgraded,
         "upgraded: V1.0 -> V2.0",
         "V2.0"},
        {"failed",
         {.failed = true, .lastStatus = 9},
         true,
         Outcome::kUpgradeFailed,
         "upgrade failed: the device reported Upgrade fail",
         ""},
        {"stopped",
         {.lastStatus = 7},
         true,
         Outcome::kInterrupted,
         "interrupted while upgrading",
         ""},
        {"success, never seen again",
         {.successAt = 5, .lastStatus = 8},
         false,
         Outcome::kNoAnswer,
         "reported success, but no search found it again",
         ""},
        {"stuck upgrading",
         {.lastStatus = 7},
         false,
         Outcome::kNoAnswer,
         "last reported Upgrading, then no final status",
         ""},
        {"silent", {}, false, Outcome::kNoAnswer, "no upgrade status reported", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpgradeRow row;
        row.versionBefore = "V1.0";
        SettleUpgradeRow(c.watch, c.interrupted, "V2.0", row);
        EXPECT_EQ(row.result.outcome, c.outcome);
        EXPECT_EQ(row.result.detail, c.detail);
        EXPECT_EQ(row.versionAfter, c.versionAfter);
    }
}

TEST(CliUpgradeResults, ExitIsZeroOnlyWhenEveryCountedDeviceWasUpgraded) {
    auto rows = [](std::vector<Outcome> outcomes) {
        std::vector<UpgradeRow> out;
        for (Outcome o : outcomes) out.push_back({{"m", "i", "", o, ""}, "", ""});
        return out;
    };
    struct Case {
        std::vector<Outcome> outcomes;
        int exit;
        size_t upgraded, counted;
    } cases[] = {
        {{Outcome::kUpgraded, Outcome::kSkipped, Outcome::kUpgraded}, 0, 2, 2},
        {{Outcome::kUpgraded, Outcome::kUpgradeFailed}, 1, 1, 2},
        {{Outcome::kUpgraded, Outcome::kNotFound}, 1, 1, 2},
        {{Outcome::kSkipped}, 1, 0, 0},
        {{Outcome::kCancelled, Outcome::kCancelled}, 1, 0, 2},
    };
    for (const Case& c : cases) {
        size_t upgraded = 99, counted = 99;
        EXPECT_EQ(UpgradeExitCode(rows(c.outcomes), &upgraded, &counted), c.exit);
        EXPECT_EQ(upgraded, c.upgraded);
        EXPECT_EQ(counted, c.counted);
    }
}

TEST(CliUpgradeResults, JsonAndCsvCarryBothVersions) {
    const std::vector<UpgradeRow> rows = {
        {{"02:4b:58:00:00:01", "10.0.0.2", "", Outcome::kUpgraded, "upgraded: V1 -> V2"},
         "V1",
         "V2"},
        {{"02:4b:58:00:00:02", "10.0.0.3", "", Outcome::kUpgradeFailed, "upgrade failed"},
         "V1",
         ""},
    };
    std::string err;
    auto doc = labkit::ParseJson(RenderJson(UpgradeListing(rows)), &err);
    ASSERT_TRUE(doc) << err;
    ASSERT_EQ(doc->size(), 2u);
    const labkit::JsonValue& first = (*doc)[size_t{0}];
    EXPECT_EQ(first["version_before"].Str(), "V1");
    EXPECT_EQ(first["version_after"].Str(), "V2");
    EXPECT_EQ(first["result"].Str(), "upgraded");
    EXPECT_TRUE(first["ok"].Bool());
    EXPECT_EQ((*doc)[size_t{1}]["result"].Str(), "upgrade_failed");
    EXPECT_FALSE((*doc)[size_t{1}]["ok"].Bool(true));

    const auto csv = testing::ReadCsv(RenderCsv(UpgradeListing(rows)));
    ASSERT_EQ(csv.size(), 3u);
    EXPECT_EQ(csv[0], (std::vector<std::string>{"mac", "ip", "version_before", "version_after",
                                                "result", "ok", "detail"}));
    EXPECT_EQ(csv[2][4], "upgrade_failed");
}

}  // namespace
}  // namespace kestrix::cli
