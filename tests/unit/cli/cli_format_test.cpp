// kestrix-cli's command line and its three output forms: what a script
// parses back must be what the listing holds, and what a terminal shows
// must line up and be safe to print.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/csv_reader.h"
#include "tests/support/json_value.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/listings.h"
#include "tools/cli/output.h"

namespace kestrix::cli {
namespace {

using labkit::ParseJson;
using testing::ReadCsv;

const std::string kZhong = "\xE4\xB8\xAD";  // U+4E2D, two terminal columns

ParseOutcome Parse(std::vector<std::string> args) {
    return ParseArguments(args);
}

Listing Sample() {
    Listing l;
    l.columns = {{"name", "Name"}, {"count", "Count"}, {"ok", ""}, {"", "Shown"}, {"ips", "IP"}};
    l.rows.push_back({Cell::Text("plain"), Cell::Number(-3), Cell::Bool(true), Cell::Text("x"),
                      Cell::TextList({"10.0.0.1", "10.0.0.2"})});
    l.rows.push_back({Cell::Text("a \"quoted\", comma\nline"), Cell::Number(0), Cell::Bool(false),
                      Cell::Text("y"), Cell::TextList({})});
    l.rows.push_back({Cell::Text(kZhong + kZhong), Cell::Null(), Cell::Bool(false), Cell::Text(""),
                      Cell::TextList({"1.2.3.4"})});
    return l;
}

// ---- JSON ------------------------------------------------------------------------

TEST(CliJson, ParsesBackToTheSameTypedValuesWithTableOnlyColumnsLeftOut) {
    std::string err;
    auto doc = ParseJson(RenderJson(Sample()), &err);
    ASSERT_TRUE(doc) << err;
    ASSERT_TRUE(doc->IsArray());
    ASSERT_EQ(doc->size(), 3u);
    const auto& first = (*doc)[0];
    EXPECT_EQ(first.size(), 4u);  // the key-less column is the table's alone
    EXPECT_EQ(first["name"].Str(), "plain");
    EXPECT_EQ(first["count"].Int(), -3);
    EXPECT_TRUE(first["ok"].Bool());
    ASSERT_TRUE(first["ips"].IsArray());
    EXPECT_EQ(first["ips"][1].Str(), "10.0.0.2");
    EXPECT_EQ((*doc)[1]["name"].Str(), "a \"quoted\", comma\nline");
    EXPECT_EQ((*doc)[2]["name"].Str(), kZhong + kZhong);
    EXPECT_TRUE((*doc)[2]["count"].IsNull());

    auto empty = ParseJson(RenderJson(Listing{}), &err);
    ASSERT_TRUE(empty) << err;
    EXPECT_TRUE(empty->IsArray());
    EXPECT_EQ(empty->size(), 0u);
}

TEST(CliJson, ControlCharactersAndBrokenBytesStayValidJson) {
    EXPECT_EQ(JsonQuote("a\\b\"c"), "\"a\\\\b\\\"c\"");
    EXPECT_EQ(JsonQuote("\x1b[2J"), "\"\\u001b[2J\"");
    EXPECT_EQ(JsonQuote("\t\r\n\x7f"), "\"\\t\\r\\n\\u007f\"");
    // A lone continuation byte and a cut three-byte sequence.
    EXPECT_EQ(JsonQuote("x\x80y\xE4\xB8"), "\"x\\u0080y\\u00e4\\u00b8\"");
    // Overlong encodings and surrogates are not UTF-8 either.
    EXPECT_EQ(JsonQuote("\xC0\xAF"), "\"\\u00c0\\u00af\"");
    EXPECT_EQ(JsonQuote("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
    std::string err;
    EXPECT_TRUE(ParseJson(JsonQuote("x\x80y\xE4\xB8\x1b" + kZhong), &err)) << err;
}

// ---- CSV -------------------------------------------------------------------------

TEST(CliCsv, HeaderOfKeysThenRowsThatReadBackExactly) {
    const auto rows = ReadCsv(RenderCsv(Sample()));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"name", "count", "ok", "ips"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"plain", "-3", "true", "10.0.0.1--10.0.0.2"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"a \"quoted\", comma\nline", "0", "false", ""}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{kZhong + kZhong, "", "false", "1.2.3.4"}));
}

TEST(CliCsv, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField(" lead"), "\" lead\"");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField(""), "");
}

// ---- Table -----------------------------------------------------------------------

// The terminal column at which `part` starts in `line`.
size_t ColumnOf(const std::string& line, const std::string& part) {
    const size_t at = line.find(part);
    EXPECT_NE(at, std::string::npos) << part << " in " << line;
    return at == std::string::npos ? 0 : DisplayWidth(line.substr(0, at));
}

TEST(CliTable, ColumnsLineUpInTerminalColumnsEvenWithWideCharacters) {
    const std::string text = RenderTable(Sample());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 4), "Name");
    // The widest first cell (its line break shown as '?') sets where the
    // second column starts, two columns after it.
    const size_t second = DisplayWidth("a \"quoted\", comma?line") + 2;
    EXPECT_EQ(ColumnOf(lines[0], "Count"), second);
    EXPECT_EQ(ColumnOf(lines[1], "-3"), second);
    EXPECT_EQ(ColumnOf(lines[2], "0"), second);
    // Two wide characters take four columns: the last column still lines up.
    const size_t last = ColumnOf(lines[0], "IP");
    EXPECT_EQ(ColumnOf(lines[1], "10.0.0.1--10.0.0.2"), last);
    EXPECT_EQ(ColumnOf(lines[3], "1.2.3.4"), last);
    EXPECT_EQ(lines[3].find(kZhong + kZhong), 0u);
}

TEST(CliTable, OrderOverridesAndHeadingsAreHonoured) {
    Listing l = Sample();
    l.tableOrder = {4, 0};
    l.rows[0][4].tableText = "shown instead";
    l.tableHeadings = false;
    const std::string text = RenderTable(l);
    EXPECT_EQ(text.substr(0, text.find('\n')), "shown instead  plain");
    EXPECT_EQ(text.find("Name"), std::string::npos);
}

TEST(CliTable, DeviceTextsCannotDriveTheTerminal) {
    EXPECT_EQ(TerminalSafe("ok\x1b]0;pwned\x07 \xC2\x9B"
                           "2J"),
              "ok?]0;pwned? ?2J");
    EXPECT_EQ(TerminalSafe("bad\xFF" + kZhong), "bad?" + kZhong);
    EXPECT_EQ(DisplayWidth("abc"), 3u);
    EXPECT_EQ(DisplayWidth(kZhong + "a"), 3u);
    EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1u);  // e + combining acute
}

// ---- Device listing ----------------------------------------------------------------

ap_info_stu Device(uint16_t type, uint8_t mode, uint32_t status, const std::string& ssid) {
    ap_info_stu r;
    r.set_mac("02:4b:58:00:00:2a");
    r.set_ap_type(type);
    r.set_ap_status(status);
    DeviceInfoBlock info;
    info.set_work_mode(mode);
    info.set_ap_name("Roof " + kZhong);
    info.set_version("V1.2");
    info.set_up_time(90061);
    AddressBlock a;
    a.set_ip({198, 18, 0, 9});
    a.set_ip_mask({255, 254, 0, 0});
    a.set_ip_gateway({198, 18, 0, 1});
    a.set_ip_dns1({8, 8, 4, 4});
    info.set_address(a);
    WirelessBlock w;
    w.set_ssid(ssid);
    w.set_channel(0);
    info.set_wireless(w);
    ExtensionBlock e;
    e.set_bridge_transparent(1);
    e.set_tdmaEn(1);
    info.set_extension(e);
    r.set_info(info);
    return r;
}

TEST(CliDevices, JsonCarriesCodesAddressesAndStableSwitchWords) {
    std::string err;
    auto doc =
        ParseJson(RenderJson(DeviceListing({Device(10, 1, 1, "Net"), Device(4, 1, 1, "")})), &err);
    ASSERT_TRUE(doc) << err;
    const auto& d = (*doc)[0];
    for (const char* key : {"mac",         "ip",
                            "mask",        "gateway",
                            "dns1",        "dns2",
                            "name",        "type",
                            "model",       "mode",
                            "ssid",        "channel",
                            "version",     "transparent_bridge",
                            "pxsync",      "uptime",
                            "uptime_text", "status",
                            "status_text", "announced_only"})
        EXPECT_TRUE(d.Has(key)) << key;
    EXPECT_EQ(d["mac"].Str(), "02:4b:58:00:00:2a");
    EXPECT_EQ(d["ip"].Str(), "198.18.0.9");
    EXPECT_EQ(d["mask"].Str(), "255.254.0.0");
    EXPECT_EQ(d["gateway"].Str(), "198.18.0.1");
    EXPECT_EQ(d["dns1"].Str(), "8.8.4.4");
    EXPECT_EQ(d["dns2"].Str(), "0.0.0.0");
    EXPECT_EQ(d["name"].Str(), "Roof " + kZhong);
    EXPECT_EQ(d["type"].Int(), 10);
    EXPECT_EQ(d["channel"].Int(), 0);
    EXPECT_EQ(d["transparent_bridge"].Str(), "on");
    EXPECT_EQ(d["pxsync"].Str(), "on");
    EXPECT_EQ(d["uptime"].Int(), 90061);
    EXPECT_EQ(d["uptime_text"].Str(), "1 1:1:1");
    EXPECT_EQ(d["status"].Int(), 1);
    EXPECT_FALSE(d["announced_only"].Bool(true));
    // A type without either switch.
    EXPECT_EQ((*doc)[1]["transparent_bridge"].Str(), "n/a");
    EXPECT_EQ((*doc)[1]["pxsync"].Str(), "n/a");
}

TEST(CliDevices, AnAnnouncedOnlyDeviceWithoutSsidShowsOnlyWhatItAnnounced) {
    const Listing l = DeviceListing({Device(10, 1, 10, "")});
    const std::string table = RenderTable(l);
    const std::string row = table.substr(table.find('\n') + 1);
    EXPECT_NE(row.find("198.18.0.9"), std::string::npos);
    EXPECT_NE(row.find("V1.2"), std::string::npos);
    EXPECT_EQ(row.find("Roof"), std::string::npos);
    EXPECT_EQ(row.find("1 1:1:1"), std::string::npos);
    // JSON still has the values, and says what the device is.
    auto doc = ParseJson(RenderJson(l));
    ASSERT_TRUE(doc);
    EXPECT_TRUE((*doc)[0]["announced_only"].Bool());
    EXPECT_EQ((*doc)[0]["status"].Int(), 10);
    EXPECT_EQ((*doc)[0]["status_text"].Str(), "");
    EXPECT_EQ((*doc)[0]["name"].Str(), "Roof " + kZhong);
}

TEST(CliResults, NewAddressColumnOnlyForSetIp) {
    const std::vector<ActionResult> results = {
        {"02:00:00:00:00:01", "10.0.0.1", "10.0.0.9", Outcome::kDone, "done"},
        {"02:00:00:00:00:02", "10.0.0.2", "", Outcome::kSkipped, "skipped"},
        {"02:00:00:00:00:03", "10.0.0.3", "", Outcome::kNoAnswer, "no answer"}};
    auto withIp = ParseJson(RenderJson(ResultListing(results, true)));
    ASSERT_TRUE(withIp);
    EXPECT_EQ((*withIp)[0]["new_ip"].Str(), "10.0.0.9");
    EXPECT_EQ((*withIp)[0]["result"].Str(), "done");
    EXPECT_TRUE((*withIp)[1]["ok"].Bool());  // a skipped device is no failure
    EXPECT_FALSE((*withIp)[2]["ok"].Bool(true));
    EXPECT_EQ((*withIp)[2]["result"].Str(), "no_answer");
    auto without = ParseJson(RenderJson(ResultListing(results, false)));
    ASSERT_TRUE(without);
    EXPECT_FALSE((*without)[0].Has("new_ip"));
    const std::string table = RenderTable(ResultListing(results, true));
    EXPECT_EQ(table.substr(0, table.find('\n')), "02:00:00:00:00:01  10.0.0.1  -> 10.0.0.9  done");
}

// ---- Command line --------------------------------------------------------------------

TEST(CliArguments, ActionsNeedTheirArgumentsAndADeviceSelection) {
    EXPECT_FALSE(Parse({"rename", "--all"}).ok);
    EXPECT_FALSE(Parse({"rename", "Roof"}).ok);
    EXPECT_FALSE(Parse({"rename", "a", "b", "--all"}).ok);
    EXPECT_FALSE(Parse({"pxsync", "maybe", "--all"}).ok);
    EXPECT_FALSE(Parse({"set-ip", "--mask", "255.0.0.0", "--all"}).ok);
    EXPECT_FALSE(Parse({"set-ip", "--begin", "10.0.0.1", "--all"}).ok);
    EXPECT_FALSE(Parse({"reboot"}).ok);

    const ParseOutcome p = Parse({"pxsync", "off", "--filter", "", "--mac", "02-4B-58-00-00-0A"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.command, Command::kPxsync);
    EXPECT_FALSE(p.options.switchOn);
    ASSERT_TRUE(p.options.filter.has_value());
    EXPECT_EQ(p.options.macs, (std::vector<std::string>{"02:4b:58:00:00:0a"}));

    const ParseOutcome s = Parse({"set-ip", "--begin=10.0.0.5", "--end", "10.0.0.9", "--mask",
                                  "255.255.255.0", "--gateway", "0.0.0.0", "--ip", "10.0.0.1"});
    ASSERT_TRUE(s.ok) << s.error;
    EXPECT_EQ(s.options.range.begin, "10.0.0.5");
    EXPECT_TRUE(s.options.endGiven);
    EXPECT_TRUE(s.options.gatewayGiven);
    EXPECT_FALSE(s.options.dns1Given);
}

TEST(CliArguments, MalformedValuesAndMisplacedOptionsAreRefused) {
    EXPECT_FALSE(Parse({"search", "--json", "--csv"}).ok);
    EXPECT_FALSE(Parse({"search", "--seconds", "-1"}).ok);
    EXPECT_FALSE(Parse({"search", "--seconds", "3601"}).ok);
    EXPECT_FALSE(Parse({"search", "--seconds", "nan"}).ok);
    EXPECT_FALSE(Parse({"search", "--seconds"}).ok);
    EXPECT_FALSE(Parse({"search", "--sort", "signal"}).ok);
    EXPECT_FALSE(Parse({"search", "--yes"}).ok);  // only reboot and restore ask
    EXPECT_FALSE(Parse({"search", "--mac", "02:4b:58:00:00:01"}).ok);
    EXPECT_FALSE(Parse({"search", "--desc=1"}).ok);
    EXPECT_FALSE(Parse({"rename", "x", "--mac", "02:4b:58:00:00"}).ok);
    EXPECT_FALSE(Parse({"rename", "x", "--ip", "10.0.0.256"}).ok);
    EXPECT_FALSE(Parse({"rename", "x", "--ip", "10.0.0"}).ok);
    EXPECT_FALSE(Parse({"scan-neighbours", "--all", "--sort", "name"}).ok);
    EXPECT_FALSE(Parse({"frobnicate"}).ok);
    EXPECT_FALSE(Parse({"--json"}).ok);

    const ParseOutcome ok = Parse({"scan-neighbours", "--ip", "10.0.0.1", "--sort", "ssid",
                                   "--desc", "--wait", "2.5", "--csv"});
    ASSERT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(*NeighbourSortKey(ok.options.sort), 1);
    EXPECT_TRUE(ok.options.descending);
    EXPECT_DOUBLE_EQ(*ok.options.waitSeconds, 2.5);
    EXPECT_EQ(ok.options.format, Format::kCsv);
}

TEST(CliArguments, HelpIsThereForEveryCommand) {
    EXPECT_TRUE(Parse({}).options.help);
    EXPECT_TRUE(Parse({"--help"}).options.help);
    const ParseOutcome h = Parse({"help", "set-ip"});
    EXPECT_TRUE(h.options.help);
    EXPECT_EQ(h.options.command, Command::kSetIp);
    // --help wins over whatever else is missing or wrong after it.
    const ParseOutcome r = Parse({"reboot", "--help"});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.options.help);
    for (Command c : {Command::kAdapters, Command::kSearch, Command::kRename, Command::kSetIp,
                      Command::kBridgeTransparent, Command::kPxsync, Command::kReboot,
                      Command::kRestore, Command::kScanNeighbours}) {
        const std::string text = HelpText(c);
        EXPECT_NE(text.find("kestrix-cli " + std::string(CommandName(c))), std::string::npos)
            << CommandName(c);
    }
}

TEST(CliArguments, SortNamesMapToTheStatusPagesKeys) {
    EXPECT_EQ(*DeviceSortKey(""), 1);  // ip
    EXPECT_EQ(*DeviceSortKey("name"), 2);
    EXPECT_EQ(*DeviceSortKey("mac"), 0);
    EXPECT_EQ(*DeviceSortKey("version"), 9);
    EXPECT_EQ(*DeviceSortKey("uptime"), 12);
    EXPECT_FALSE(DeviceSortKey("status").has_value());
    EXPECT_EQ(*NeighbourSortKey(""), 4);  // signal
    EXPECT_EQ(*NeighbourSortKey("mac"), 0);
}

}  // namespace
}  // namespace kestrix::cli
