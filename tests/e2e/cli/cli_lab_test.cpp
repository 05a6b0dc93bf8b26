// kestrix-cli against a simulated fleet in the network lab. Every command is
// run as a separate process in the lab's host namespace, its JSON or CSV is
// parsed back and held against the simulator's own state dump, and the
// simulator's trace tells what reached the fleet (and, for refused input,
// that nothing did).

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/single_instance.h"
#include "store/field_texts.h"
#include "tests/support/csv_reader.h"
#include "tests/support/lab_environment.h"
#include "tests/support/labkit.h"
#include "tools/devsim/fleet.h"

namespace kestrix {
namespace {

using labkit::CliRun;
using labkit::Describe;
using labkit::JsonValue;
using labkit::Lab;
using labkit::LabOptions;
using labkit::ParseJson;
using labkit::ResultOf;
using labkit::SimDevice;
using labkit::SimDump;
using labkit::TraceLine;
using testing::ReadCsv;

// The fleet: a few devices with fixed types and roles, the rest generated.
constexpr int kFleet = 12;
constexpr int kDual = 0;     // type 10: transparent bridging and PX-SYNC, a Chinese name
constexpr int kStrict = 1;   // type 4: strict names, no transparent bridging, no PX-SYNC
constexpr int kStation = 2;  // a station bridged to kAp
constexpr int kAp = 3;       // type 15, access point carrying kStation
constexpr int kP2mp = 4;     // P2MP mode: no transparent bridging
constexpr int kMuted = 5;    // announces itself, never gives its information
constexpr int kScanner = 6;  // hears 40 neighbours
constexpr int kPlain = 7;    // 7..11: whatever the seed makes them

const char* const kChineseName = "北门基站";

LabOptions Fleet() {
    LabOptions o;
    o.devices = kFleet;
    o.trace = true;
    o.sim_args = {"--seed",        "21",
                  "--reboot-time", "2s",
                  "--set",         "0 type=10 mode=1 transparent=1 pxsync=0 name=\"北门基站\"",
                  "--set",         "1 type=4 mode=1 name=Strict-1",
                  "--set",         "3 type=15 mode=1 pxsync=0",
                  "--set",         "2 type=1 bridge-to=3 transparent=1",
                  "--set",         "4 type=5 mode=5",
                  "--set",         "5 mute-info=1",
                  "--set",         "6 neighbours=40",
                  "--set",         "7 type=1 mode=1 name=Plain-7"};
    return o;
}

Lab* gLab = nullptr;
bool gInLab = false;
std::string gRuntimeDir;  // the single-instance lock of these runs lives here

// The shared lab, and beside it the folder of the CLI's single-instance lock.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new labkit::LabEnvironment(Fleet, gLab, gInLab, &gRuntimeDir, "kx-cli-e2e"));

// ---- Running the CLI ----------------------------------------------------------------

using RunOptions = labkit::CliOptions;

// Runs the CLI in this process's namespace (the lab's host) with a lock
// directory of its own, a short search step and English texts.
CliRun RunCli(const std::vector<std::string>& args, RunOptions options = {}) {
    if (options.binary.empty()) options.binary = KX_CLI_PATH;
    options.dir = gRuntimeDir;
    return labkit::RunCliProcess(args, options);
}

JsonValue Json(const CliRun& r) {
    std::string err;
    auto doc = ParseJson(r.out, &err);
    EXPECT_TRUE(doc) << err << "\n" << Describe(r);
    return doc ? *doc : JsonValue();
}

// ---- The fixture ----------------------------------------------------------------------

class CliInLab : public labkit::FleetTest {
protected:
    CliInLab() : FleetTest(gLab, gInLab, Fleet) {}

    std::string Ip(int index) const { return Dev(index).ip; }
    std::string Mac(int index) const { return Dev(index).mac; }

    std::vector<TraceLine> ReceivedSince(size_t from) const {
        std::vector<TraceLine> rx;
        for (const TraceLine& l : TraceSince(from))
            if (l.kind == "rx") rx.push_back(l);
        return rx;
    }
    static size_t CountType(const std::vector<TraceLine>& rx, int type,
                            const std::string& mac = "") {
        return static_cast<size_t>(std::count_if(rx.begin(), rx.end(), [&](const TraceLine& l) {
            return l.GetInt("type") == type && (mac.empty() || l.Get("mac") == mac);
        }));
    }
};

// ---- search ---------------------------------------------------------------------------

// What the CLI must report for a device the simulator holds.
void ExpectDeviceMatches(const JsonValue& j, const SimDevice& d) {
    SCOPED_TRACE(d.mac);
    const AddressBlock a = d.info.address();
    EXPECT_EQ(j["ip"].Str(), d.ip);
    EXPECT_EQ(j["mask"].Str(), IpBytesToText(a.ip_mask()));
    EXPECT_EQ(j["gateway"].Str(), IpBytesToText(a.ip_gateway()));
    EXPECT_EQ(j["dns1"].Str(), IpBytesToText(a.ip_dns1()));
    EXPECT_EQ(j["dns2"].Str(), IpBytesToText(a.ip_dns2()));
    EXPECT_EQ(j["name"].Str(), d.name);
    EXPECT_EQ(j["type"].Int(), d.type);
    EXPECT_EQ(j["model"].Str(), ModelName(d.type));
    EXPECT_EQ(j["work_mode"].Int(), d.work_mode);
    EXPECT_EQ(j["ssid"].Str(), d.ssid);
    EXPECT_EQ(j["channel"].Int(), d.channel);
    EXPECT_EQ(j["version"].Str(), d.version);
    // The simulator's own tables of which types have which switch.
    const bool bridgeExists =
        !devsim::LacksTransparentBridge(d.type) && (d.work_mode < 4 || d.work_mode > 7);
    EXPECT_EQ(j["transparent_bridge"].Str(),
              !bridgeExists ? "n/a" : (d.bridge_transparent ? "on" : "off"));
    EXPECT_EQ(j["pxsync"].Str(), !devsim::HasPxsync(d.type) ? "n/a" : (d.pxsync ? "on" : "off"));
    // The dump came after the search: the device has only grown older.
    EXPECT_LE(j["uptime"].Int(), static_cast<long long>(d.up_time));
    EXPECT_GE(j["uptime"].Int() + 60, static_cast<long long>(d.up_time));
}

TEST_F(CliInLab, SearchJsonHoldsEveryDeviceAsTheSimulatorHasIt) {
    const CliRun r = RunCli({"search", "--seconds", "1.5", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue list = Json(r);
    const SimDump after = Dump();
    ASSERT_EQ(list.size(), static_cast<size_t>(kFleet)) << r.out;

    std::set<std::string> seen;
    for (size_t i = 0; i < list.size(); ++i) {
        const JsonValue& j = list[i];
        seen.insert(j["mac"].Str());
        const SimDevice* d = after.ByMac(j["mac"].Str());
        ASSERT_NE(d, nullptr) << j["mac"].Str();
        if (d->index == kMuted) {
            // Last, after every device that gave its information.
            EXPECT_EQ(i, list.size() - 1);
            EXPECT_TRUE(j["announced_only"].Bool());
            EXPECT_EQ(j["status"].Int(), 10);
            EXPECT_EQ(j["ip"].Str(), d->ip);
            EXPECT_EQ(j["version"].Str(), d->version);
            continue;
        }
        EXPECT_FALSE(j["announced_only"].Bool(true));
        EXPECT_EQ(j["status"].Int(), 1);
        EXPECT_EQ(j["status_text"].Str(), "Online");
        ExpectDeviceMatches(j, *d);
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kFleet));
    // Ascending by address, compared as numbers.
    for (size_t i = 1; i + 1 < list.size(); ++i)
        EXPECT_LT(IpTextToNumber(list[i - 1]["ip"].Str()), IpTextToNumber(list[i]["ip"].Str()));
    EXPECT_EQ(list[static_cast<size_t>(0)]["name"].Str(), kChineseName);
}

TEST_F(CliInLab, SearchCsvHasTheHeaderRowAndTheSameDevicesInTheChosenOrder) {
    const CliRun r = RunCli({"search", "--seconds", "1.5", "--csv", "--sort", "name", "--desc"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const auto rows = ReadCsv(r.out);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kFleet + 1)) << r.out;
    const std::vector<std::string> header = {"mac",         "ip",
                                             "mask",        "gateway",
                                             "dns1",        "dns2",
                                             "name",        "type",
                                             "model",       "mode",
                                             "work_mode",   "ssid",
                                             "channel",     "channel_text",
                                             "version",     "transparent_bridge",
                                             "pxsync",      "uptime",
                                             "uptime_text", "status",
                                             "status_text", "announced_only"};
    ASSERT_EQ(rows[0], header);
    auto col = [&](const std::string& key) {
        return static_cast<size_t>(std::find(header.begin(), header.end(), key) - header.begin());
    };
    std::vector<std::string> names;
    for (size_t i = 1; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row.size(), header.size()) << i;
        const SimDevice* d = dump_.ByMac(row[col("mac")]);
        ASSERT_NE(d, nullptr) << row[col("mac")];
        EXPECT_EQ(row[col("ip")], d->ip);
        EXPECT_EQ(row[col("type")], std::to_string(d->type));
        EXPECT_EQ(row[col("ssid")], d->ssid);
        EXPECT_EQ(row[col("announced_only")], d->index == kMuted ? "true" : "false");
        if (d->index != kMuted) {
            EXPECT_EQ(row[col("name")], d->name);
            names.push_back(row[col("name")]);
        }
    }
    EXPECT_EQ(rows.back()[col("mac")], Mac(kMuted));
    // The store orders names by their bytes; descending was asked for.
    EXPECT_TRUE(std::is_sorted(names.rbegin(), names.rend())) << r.out;
}

TEST_F(CliInLab, SearchFilterAndTheRepeatedSearches) {
    const size_t mark = TraceMark();
    // Steps of 1 s within 2.5 s: the cycle's search at 0, then 1 and 2 s.
    RunOptions steps;
    steps.searchIntervalMs = 1000;
    const CliRun all = RunCli({"search", "--seconds", "2.5", "--json"}, steps);
    ASSERT_EQ(all.exit, 0) << Describe(all);
    const auto rx = ReceivedSince(mark);
    const size_t searches = static_cast<size_t>(std::count_if(
        rx.begin(), rx.end(), [](const TraceLine& l) { return l.Get("what") == "search"; }));
    EXPECT_EQ(searches, 3u);
    EXPECT_EQ(Json(all).size(), static_cast<size_t>(kFleet));

    const CliRun filtered = RunCli({"search", "--seconds", "1", "--json", "--filter", "北门"});
    ASSERT_EQ(filtered.exit, 0) << Describe(filtered);
    const JsonValue list = Json(filtered);
    ASSERT_EQ(list.size(), 1u) << filtered.out;
    EXPECT_EQ(list[static_cast<size_t>(0)]["mac"].Str(), Mac(kDual));

    // The status page's filter also finds the announced-only device by address.
    const CliRun byIp = RunCli({"search", "--seconds", "1", "--json", "--filter", Ip(kMuted)});
    ASSERT_EQ(byIp.exit, 0) << Describe(byIp);
    const JsonValue one = Json(byIp);
    ASSERT_EQ(one.size(), 1u) << byIp.out;
    EXPECT_TRUE(one[static_cast<size_t>(0)]["announced_only"].Bool());
}

TEST_F(CliInLab, PlainSearchIsATableWithTheStatusPagesHeadings) {
    const CliRun r = RunCli({"search", "--seconds", "1"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const std::string first = r.out.substr(0, r.out.find('\n'));
    for (const char* heading : {"Serial", "Location", "Type", "IP", "MAC", "Channel", "Version",
                                "Transparent bridge", "PX-SYNC", "Time", "Status"})
        EXPECT_NE(first.find(heading), std::string::npos) << heading;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), kFleet + 1);
    EXPECT_NE(r.out.find(kChineseName), std::string::npos);
}

// ---- adapters --------------------------------------------------------------------------

TEST_F(CliInLab, AdaptersListTheLabsHostAdapterAndTheChoiceOfOne) {
    const CliRun r = RunCli({"adapters", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue list = Json(r);
    ASSERT_EQ(list.size(), 1u) << r.out;
    EXPECT_EQ(list[static_cast<size_t>(0)]["name"].Str(), "kxlab-h");
    EXPECT_EQ(list[static_cast<size_t>(0)]["ip"][static_cast<size_t>(0)].Str(),
              labkit::kHostAddress);
    EXPECT_EQ(list[static_cast<size_t>(0)]["mask"][static_cast<size_t>(0)].Str(), "255.254.0.0");

    const CliRun chosen = RunCli({"adapters", "--adapter", "kxlab-h", "--csv"});
    ASSERT_EQ(chosen.exit, 0) << Describe(chosen);
    EXPECT_EQ(ReadCsv(chosen.out).size(), 2u);

    const size_t mark = TraceMark();
    const CliRun wrong = RunCli({"search", "--adapter", "eth-none", "--seconds", "1"});
    EXPECT_EQ(wrong.exit, 2) << Describe(wrong);
    EXPECT_NE(wrong.err.find("eth-none"), std::string::npos);
    EXPECT_TRUE(ReceivedSince(mark).empty());

    const CliRun through = RunCli({"search", "--adapter", "kxlab-h", "--seconds", "1", "--json"});
    ASSERT_EQ(through.exit, 0) << Describe(through);
    EXPECT_EQ(Json(through).size(), static_cast<size_t>(kFleet));
}

// ---- rename ------------------------------------------------------------------------------

TEST_F(CliInLab, RenameReachesTheDeviceAndIsConfirmedByALaterSearch) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += "中";
    const CliRun r = RunCli({"rename", ten, "--mac", Mac(kPlain), "--seconds", "1", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue results = Json(r);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[static_cast<size_t>(0)]["result"].Str(), "done");
    EXPECT_EQ(Dump().ByMac(Mac(kPlain))->name, ten);

    // The strict set allows no blank: the device is left alone, nothing
    // but the search goes out.
    size_t mark = TraceMark();
    const CliRun strict = RunCli({"rename", "Roof east", "--ip", Ip(kStrict), "--seconds", "1"});
    EXPECT_EQ(strict.exit, 2) << Describe(strict);
    EXPECT_NE(strict.err.find("only support combination of Chinese, lowercase letters"),
              std::string::npos)
        << strict.err;
    EXPECT_EQ(CountType(ReceivedSince(mark), ToCode(MsgType::SetName)), 0u);
    EXPECT_EQ(Dump().ByMac(Mac(kStrict))->name, "Strict-1");

    // The same name on an open-set device, plain output: one line for it.
    const CliRun open = RunCli({"rename", "Roof east", "--ip", Ip(kDual), "--seconds", "1"});
    ASSERT_EQ(open.exit, 0) << Describe(open);
    EXPECT_NE(open.out.find(Mac(kDual)), std::string::npos);
    EXPECT_NE(open.out.find("done"), std::string::npos);
    EXPECT_EQ(std::count(open.out.begin(), open.out.end(), '\n'), 1);
    EXPECT_EQ(Dump().ByMac(Mac(kDual))->name, "Roof east");
}

TEST_F(CliInLab, ANameNoDeviceTakesIsRefusedBeforeAnythingIsSent) {
    const size_t mark = TraceMark();
    std::string eleven;
    for (int i = 0; i < 11; ++i) eleven += "中";  // 33 bytes
    const CliRun r = RunCli({"rename", eleven, "--all"});
    EXPECT_EQ(r.exit, 2) << Describe(r);
    EXPECT_NE(r.err.find("Device name maximum allowed 32 bytes"), std::string::npos) << r.err;
    EXPECT_TRUE(ReceivedSince(mark).empty());
}

// ---- set-ip ------------------------------------------------------------------------------

TEST_F(CliInLab, SetIpNumbersTheDevicesInListOrderSkippingDotZeroAndDot255) {
    // Chosen out of order on the command line; numbered in the list's order.
    const std::vector<int> chosen = {9, 7, 8};
    const CliRun r = RunCli({"set-ip",  "--begin",     "198.18.1.253", "--end",      "198.18.2.10",
                             "--mask",  "255.254.0.0", "--gateway",    "198.18.0.1", "--dns1",
                             "9.9.9.9", "--ip",        Ip(9),          "--ip",       Ip(7),
                             "--ip",    Ip(8),         "--seconds",    "1",          "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    std::vector<std::string> byAddress;
    for (int i : chosen) byAddress.push_back(Mac(i));
    std::sort(byAddress.begin(), byAddress.end(), [&](const std::string& a, const std::string& b) {
        return IpTextToNumber(dump_.ByMac(a)->ip) < IpTextToNumber(dump_.ByMac(b)->ip);
    });
    const std::vector<std::string> want = {"198.18.1.253", "198.18.1.254", "198.18.2.1"};
    const JsonValue results = Json(r);
    ASSERT_EQ(results.size(), 3u);
    const SimDump after = Dump();
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(byAddress[k]);
        EXPECT_EQ(results[k]["mac"].Str(), byAddress[k]);
        EXPECT_EQ(results[k]["new_ip"].Str(), want[k]);
        EXPECT_EQ(results[k]["result"].Str(), "done");
        const SimDevice* d = after.ByMac(byAddress[k]);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ip, want[k]);
        const AddressBlock a = d->info.address();
        EXPECT_EQ(IpBytesToText(a.ip_mask()), "255.254.0.0");
        EXPECT_EQ(IpBytesToText(a.ip_gateway()), "198.18.0.1");
        EXPECT_EQ(IpBytesToText(a.ip_dns1()), "9.9.9.9");
        // DNS 2 not given: the first device's, as the dialog fills it in.
        EXPECT_EQ(IpBytesToText(a.ip_dns2()),
                  IpBytesToText(dump_.ByMac(byAddress[0])->info.address().ip_dns2()));
    }
    // A later search finds them there.
    const JsonValue list = Json(RunCli({"search", "--seconds", "1", "--json"}));
    std::map<std::string, std::string> found;
    for (const JsonValue& j : list.items()) found[j["mac"].Str()] = j["ip"].Str();
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(found[byAddress[k]], want[k]);
}

TEST_F(CliInLab, SetIpStopsWhenTheRangeRunsOut) {
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"set-ip", "--begin", "198.18.3.10", "--end", "198.18.3.11", "--mask",
                             "255.254.0.0", "--gateway", "198.18.0.1", "--ip", Ip(8), "--ip", Ip(9),
                             "--ip", Ip(10), "--seconds", "1", "--json"});
    EXPECT_EQ(r.exit, 1) << Describe(r);
    const JsonValue results = Json(r);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[static_cast<size_t>(0)]["result"].Str(), "done");
    EXPECT_EQ(results[static_cast<size_t>(1)]["result"].Str(), "done");
    EXPECT_EQ(results[static_cast<size_t>(2)]["result"].Str(), "no_address");
    EXPECT_FALSE(results[static_cast<size_t>(2)]["ok"].Bool(true));
    const SimDump after = Dump();
    EXPECT_EQ(after.ByMac(Mac(8))->ip, "198.18.3.10");
    EXPECT_EQ(after.ByMac(Mac(9))->ip, "198.18.3.11");
    EXPECT_EQ(after.ByMac(Mac(10))->ip, Ip(10));
    // The third device was told nothing.
    const auto rx = ReceivedSince(mark);
    EXPECT_EQ(CountType(rx, ToCode(MsgType::SetAddress), Mac(10)), 0u);
    EXPECT_GE(CountType(rx, ToCode(MsgType::SetAddress), Mac(8)), 1u);
}

TEST_F(CliInLab, InvalidAddressesAreRefusedWithTheRulesMessageAndNothingSent) {
    size_t mark = TraceMark();
    const CliRun mask =
        RunCli({"set-ip", "--begin", "198.18.4.1", "--mask", "255.0.255.0", "--all"});
    EXPECT_EQ(mask.exit, 2) << Describe(mask);
    EXPECT_NE(mask.err.find("The subnet mask is invalid!"), std::string::npos) << mask.err;
    EXPECT_TRUE(ReceivedSince(mark).empty());

    mark = TraceMark();
    const CliRun network = RunCli({"set-ip", "--begin", "10.0.1.128", "--mask", "255.255.255.128",
                                   "--gateway", "0.0.0.0", "--ip", Ip(7)});
    EXPECT_EQ(network.exit, 2) << Describe(network);
    EXPECT_NE(network.err.find("IP Address can't be the network segment!"), std::string::npos);
    EXPECT_TRUE(ReceivedSince(mark).empty());

    // Several devices and no end address: known only after the search, and
    // still nothing but the search goes out.
    mark = TraceMark();
    const CliRun noEnd = RunCli({"set-ip", "--begin", "198.18.4.1", "--mask", "255.254.0.0", "--ip",
                                 Ip(7), "--ip", Ip(8), "--seconds", "1"});
    EXPECT_EQ(noEnd.exit, 2) << Describe(noEnd);
    EXPECT_NE(noEnd.err.find("The ip address is invalid!"), std::string::npos) << noEnd.err;
    EXPECT_NE(noEnd.err.find("--end"), std::string::npos) << noEnd.err;
    EXPECT_EQ(CountType(ReceivedSince(mark), ToCode(MsgType::SetAddress)), 0u);

    mark = TraceMark();
    const CliRun option = RunCli({"reboot", "--mac", "not-a-mac"});
    EXPECT_EQ(option.exit, 2) << Describe(option);
    EXPECT_TRUE(ReceivedSince(mark).empty());
}

// ---- switches ------------------------------------------------------------------------------

TEST_F(CliInLab, SwitchesReachTheCapableDevicesAndSkipTheOthers) {
    const std::vector<int> chosen = {kDual, kStrict, kStation, kAp, kP2mp};
    std::vector<std::string> args = {"bridge-transparent", "off", "--seconds", "1", "--json"};
    for (int i : chosen) args.insert(args.end(), {"--ip", Ip(i)});
    size_t mark = TraceMark();
    const CliRun bridge = RunCli(args);
    ASSERT_EQ(bridge.exit, 0) << Describe(bridge);
    const JsonValue results = Json(bridge);
    ASSERT_EQ(results.size(), chosen.size());
    const auto rx = ReceivedSince(mark);
    SimDump after = Dump();
    for (int i : {kDual, kStation, kAp}) {
        EXPECT_EQ(ResultOf(results, Mac(i))["result"].Str(), "done") << i;
        EXPECT_EQ(after.ByMac(Mac(i))->bridge_transparent, 0) << i;
    }
    for (int i : {kStrict, kP2mp}) {
        EXPECT_EQ(ResultOf(results, Mac(i))["result"].Str(), "skipped") << i;
        EXPECT_TRUE(ResultOf(results, Mac(i))["ok"].Bool());
        EXPECT_EQ(CountType(rx, ToCode(MsgType::SetTransparentBridge), Mac(i)), 0u) << i;
    }

    args[0] = "pxsync";
    args[1] = "on";
    const CliRun px = RunCli(args);
    ASSERT_EQ(px.exit, 0) << Describe(px);
    const JsonValue pxResults = Json(px);
    after = Dump();
    for (int i : {kDual, kAp}) {
        EXPECT_EQ(ResultOf(pxResults, Mac(i))["result"].Str(), "done") << i;
        EXPECT_EQ(after.ByMac(Mac(i))->pxsync, 1) << i;
        // Only the PX-SYNC byte changed: bridging stays off.
        EXPECT_EQ(after.ByMac(Mac(i))->bridge_transparent, 0) << i;
    }
    for (int i : {kStrict, kStation, kP2mp})
        EXPECT_EQ(ResultOf(pxResults, Mac(i))["result"].Str(), "skipped") << i;
}

TEST_F(CliInLab, ASwitchWithOnlyNotApplicableDevicesSendsNothing) {
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"pxsync", "on", "--ip", Ip(kStrict), "--seconds", "1"});
    EXPECT_EQ(r.exit, 1) << Describe(r);
    EXPECT_NE(r.err.find("Please select configurable devices!"), std::string::npos) << r.err;
    EXPECT_EQ(CountType(ReceivedSince(mark), ToCode(MsgType::SetPxsync)), 0u);
}

// ---- reboot and restore ---------------------------------------------------------------------

TEST_F(CliInLab, RebootCommandsTheAccessPointBeforeItsStation) {
    const size_t mark = TraceMark();
    // The station comes first in the list (lower address); the AP goes first.
    const CliRun r = RunCli(
        {"reboot", "--yes", "--ip", Ip(kStation), "--ip", Ip(kAp), "--seconds", "1", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue results = Json(r);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[static_cast<size_t>(0)]["mac"].Str(), Mac(kAp));
    EXPECT_EQ(results[static_cast<size_t>(1)]["mac"].Str(), Mac(kStation));
    for (const JsonValue& j : results.items()) {
        EXPECT_EQ(j["result"].Str(), "done");
        EXPECT_NE(j["detail"].Str().find("Restarting"), std::string::npos);
    }
    const auto rx = ReceivedSince(mark);
    std::vector<std::string> order;
    for (const TraceLine& l : rx)
        if (l.GetInt("type") == ToCode(MsgType::Reboot)) order.push_back(l.Get("mac"));
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], Mac(kAp));
    EXPECT_EQ(order[1], Mac(kStation));
    const SimDump after = Dump();
    EXPECT_EQ(after.ByMac(Mac(kAp))->reboots, 1u);
    EXPECT_EQ(after.ByMac(Mac(kStation))->reboots, 1u);
}

TEST_F(CliInLab, RestoreAsksFirstAndSendsNothingWhenTheAnswerIsNo) {
    size_t mark = TraceMark();
    RunOptions no;
    no.input = "n\n";
    const CliRun declined = RunCli({"restore", "--ip", Ip(kPlain), "--seconds", "1"}, no);
    EXPECT_EQ(declined.exit, 1) << Describe(declined);
    EXPECT_NE(declined.err.find("Are you sure you want to reset?"), std::string::npos);
    EXPECT_NE(declined.out.find("cancelled"), std::string::npos);
    EXPECT_EQ(CountType(ReceivedSince(mark), ToCode(MsgType::Restore)), 0u);

    RunOptions yes;
    yes.input = "yes\n";
    const CliRun accepted =
        RunCli({"restore", "--ip", Ip(kPlain), "--seconds", "1", "--json"}, yes);
    ASSERT_EQ(accepted.exit, 0) << Describe(accepted);
    EXPECT_EQ(Json(accepted)[static_cast<size_t>(0)]["result"].Str(), "done");
    EXPECT_EQ(Dump().ByMac(Mac(kPlain))->restores, 1u);
}

// A copy of the CLI in a folder of its own whose Setting.ini allows one
// retry 300 ms apart: the retry settings are read beside the program.
std::string CliWithSettings(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const std::string copy = dir + "/kestrix-cli";
    std::filesystem::copy_file(KX_CLI_PATH, copy,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir + "/Setting.ini")
        << "[Setting]\nretransmission_max=1\nretransmission_interval=300\nadapters=\n";
    return copy;
}

TEST_F(CliInLab, ADeviceThatNeverAnswersIsNamedAndFailsTheRun) {
    const std::string dir = gRuntimeDir + "/program";
    RunOptions options;
    options.binary = CliWithSettings(dir);
    options.promptText = "[y/N]";
    // The devices were found; from now on nothing reaches them.
    options.onPrompt = [] {
        std::string err;
        ASSERT_TRUE(gLab->Fault("loss-rx", "1", &err)) << err;
    };
    options.input = "y\n";
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"reboot", "--ip", Ip(kPlain), "--seconds", "1"}, options);
    std::string err;
    ASSERT_TRUE(gLab->Fault("loss-rx", "0", &err)) << err;

    EXPECT_EQ(r.exit, 1) << Describe(r);
    const std::string line = r.out.substr(0, r.out.find('\n'));
    EXPECT_NE(line.find(Mac(kPlain)), std::string::npos) << r.out;
    EXPECT_NE(line.find("no answer after 1 retry"), std::string::npos) << r.out;
    // The command and its one retry, both lost on the way in.
    const auto rx = ReceivedSince(mark);
    size_t lost = 0;
    for (const TraceLine& l : rx)
        if (l.GetInt("type") == ToCode(MsgType::Reboot) && l.Get("mac") == Mac(kPlain))
            lost += l.Get("what") == "lost" ? 1 : 100;
    EXPECT_EQ(lost, 2u);
    EXPECT_EQ(Dump().ByMac(Mac(kPlain))->reboots, 0u);
}

TEST_F(CliInLab, ADeviceTheSearchDoesNotFindAndAnAnnouncedOnlyOneFailTheRun) {
    const CliRun r = RunCli({"rename", "Gate", "--mac", "02:ee:ee:ee:ee:01", "--ip", Ip(kMuted),
                             "--ip", Ip(kPlain), "--seconds", "1", "--json"});
    EXPECT_EQ(r.exit, 1) << Describe(r);
    const JsonValue results = Json(r);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(ResultOf(results, Mac(kPlain))["result"].Str(), "done");
    EXPECT_EQ(ResultOf(results, Mac(kMuted))["result"].Str(), "announced_only");
    EXPECT_EQ(ResultOf(results, "02:ee:ee:ee:ee:01")["result"].Str(), "not_found");
    EXPECT_EQ(Dump().ByMac(Mac(kMuted))->name, Dev(kMuted).name);
}

// ---- scan-neighbours ------------------------------------------------------------------------

TEST_F(CliInLab, ScanNeighboursListsEveryReportedAccessPointStrongestFirst) {
    const CliRun r = RunCli({"scan-neighbours", "--ip", Ip(kScanner), "--seconds", "1", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue list = Json(r);
    // 40 entries come in two reports (32 + 8).
    ASSERT_EQ(list.size(), 40u);
    std::set<std::string> macs;
    for (size_t i = 0; i < list.size(); ++i) {
        const JsonValue& n = list[i];
        macs.insert(n["mac"].Str());
        if (i > 0) {
            EXPECT_GE(list[i - 1]["signal"].Int(), n["signal"].Int());
        }
        EXPECT_LT(n["signal"].Int(), 0);
        // Access points of the fleet are reported as the simulator has them.
        if (const SimDevice* ap = dump_.ByMac(n["mac"].Str())) {
            EXPECT_EQ(ap->work_mode, devsim::kModeAp) << ap->mac;
            EXPECT_EQ(n["ssid"].Str(), ap->ssid);
            EXPECT_EQ(n["channel"].Int(), ap->channel);
        }
    }
    EXPECT_EQ(macs.size(), 40u);
    EXPECT_EQ(macs.count(Mac(kScanner)), 0u);

    const CliRun sorted = RunCli(
        {"scan-neighbours", "--ip", Ip(kScanner), "--seconds", "1", "--csv", "--sort", "ssid"});
    ASSERT_EQ(sorted.exit, 0) << Describe(sorted);
    const auto rows = ReadCsv(sorted.out);
    ASSERT_EQ(rows.size(), 41u);
    std::vector<std::string> ssids;
    for (size_t i = 1; i < rows.size(); ++i) ssids.push_back(rows[i][1]);
    EXPECT_TRUE(std::is_sorted(ssids.begin(), ssids.end()));

    const size_t mark = TraceMark();
    const CliRun two =
        RunCli({"scan-neighbours", "--ip", Ip(kScanner), "--ip", Ip(kAp), "--seconds", "1"});
    EXPECT_EQ(two.exit, 2) << Describe(two);
    EXPECT_EQ(CountType(ReceivedSince(mark), ToCode(MsgType::ScanNeighbours)), 0u);
}

// ---- one copy at a time --------------------------------------------------------------------

TEST_F(CliInLab, ARunningCopyKeepsTheCliOffTheNetwork) {
    setenv("XDG_RUNTIME_DIR", gRuntimeDir.c_str(), 1);
    SingleInstanceLock held;
    ASSERT_EQ(held.Acquire(), SingleInstanceLock::Result::Acquired);
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"search", "--seconds", "1"});
    EXPECT_EQ(r.exit, 1) << Describe(r);
    EXPECT_NE(r.err.find("Another copy of Kestrix is running"), std::string::npos) << r.err;
    EXPECT_TRUE(ReceivedSince(mark).empty());
}

TEST_F(CliInLab, ChannelsAnswersBesideARunningCopyAndSendsNothing) {
    setenv("XDG_RUNTIME_DIR", gRuntimeDir.c_str(), 1);
    SingleInstanceLock held;
    ASSERT_EQ(held.Acquire(), SingleInstanceLock::Result::Acquired);
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"channels", "--type", "10", "--band", "5", "--country", "China",
                             "--bandwidth", "20MHz", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue doc = Json(r);
    std::vector<long long> channels;
    for (const JsonValue& e : doc["channels"]["entries"].items())
        channels.push_back(e["code"].Int());
    EXPECT_EQ(channels, (std::vector<long long>{0, 36, 40, 44, 48, 149, 153, 157, 161, 165}));
    const CliRun table = RunCli({"channels", "--type", "10", "--band", "5", "--country", "CN"});
    EXPECT_EQ(table.exit, 0) << Describe(table);
    EXPECT_NE(table.out.find("[Auto(0)]"), std::string::npos) << Describe(table);
    const CliRun bad = RunCli({"channels", "--type", "10", "--band", "5", "--country", "NL"});
    EXPECT_EQ(bad.exit, 2) << Describe(bad);
    EXPECT_NE(bad.err.find("NL"), std::string::npos) << bad.err;
    EXPECT_TRUE(ReceivedSince(mark).empty());
}

// ---- configure ------------------------------------------------------------------------

TEST_F(CliInLab, ConfigureChangesEveryTabAndTheDeviceReappearsAtItsNewAddress) {
    const SimDevice before = Dev(kPlain);
    const std::string newIp = before.ip.substr(0, before.ip.rfind('.')) + ".200";
    ASSERT_EQ(dump_.ByIp(newIp), nullptr);
    const CliRun r = RunCli({"configure",
                             "--mac",
                             before.mac,
                             "--seconds",
                             "1",
                             "--json",
                             "--name",
                             "north-mast",
                             "--ssid",
                             "Yard 5",
                             "--security",
                             "wpa2-psk",
                             "--key",
                             "field-key-2024",
                             "--key-time",
                             "0",
                             "--power",
                             std::to_string(before.info.wireless().tx_power_min()),
                             "--timed-reboot",
                             "03:30",
                             "--days",
                             "mon,fri",
                             "--vlan",
                             "on",
                             "--manage-vlan",
                             "10",
                             "--wlan",
                             "20",
                             "--address",
                             newIp});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue results = Json(r);
    std::vector<std::string> commands;
    for (const JsonValue& c : results.items()) {
        commands.push_back(c["command"].Str());
        EXPECT_EQ(c["outcome"].Str(), "done") << Describe(r);
    }
    EXPECT_EQ(commands, (std::vector<std::string>{"SetName", "SetWireless", "SetTimedReboot",
                                                  "SetVlan", "SetAddress"}));
    const SimDevice* after = Dump().ByMac(before.mac);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->ip, newIp);
    EXPECT_EQ(after->name, "north-mast");
    EXPECT_EQ(after->ssid, "Yard 5");
    const WirelessBlock w = after->info.wireless();
    EXPECT_EQ(w.security().secure_mode(), 3);
    EXPECT_EQ(w.security().wpapsk_key_value(), "field-key-2024");
    EXPECT_EQ(w.tx_power(), before.info.wireless().tx_power_min());
    // Only what was edited: the radio stays as it was.
    EXPECT_EQ(w.channel(), before.info.wireless().channel());
    EXPECT_EQ(w.country_code(), before.info.wireless().country_code());
    const RebootScheduleBlock t = after->info.reboot_schedule();
    EXPECT_EQ(t.restart_en(), 1);
    EXPECT_EQ(t.restart_type(), 0x22);
    EXPECT_EQ(t.restart_time(), 210);
    const VlanBlock v = after->info.vlan();
    EXPECT_EQ(v.vlan_en(), 1);
    EXPECT_EQ(v.vlan_id(), 10);
    EXPECT_EQ(v.vlan_id_wlan(), 20);
    // The address block kept everything but the address.
    EXPECT_EQ(after->info.address().ip_mask(), before.info.address().ip_mask());
    EXPECT_EQ(after->info.address().ip_gateway(), before.info.address().ip_gateway());
}

TEST_F(CliInLab, ConfigureRefusesWhatTheDeviceLacksAndSendsNothing) {
    const size_t mark = TraceMark();
    // Type 1 is neither a four-port type nor one with DFS.
    const CliRun lan3 =
        RunCli({"configure", "--ip", Ip(kPlain), "--seconds", "1", "--vlan", "on", "--lan3", "30"});
    EXPECT_EQ(lan3.exit, 2) << Describe(lan3);
    EXPECT_NE(lan3.err.find("--lan3 30: offered on this device type: Manage VLAN, WLAN"),
              std::string::npos)
        << lan3.err;
    const CliRun dfs = RunCli({"configure", "--ip", Ip(kPlain), "--seconds", "1", "--dfs", "on"});
    EXPECT_EQ(dfs.exit, 2) << Describe(dfs);
    // A failing rule prints its message.
    const CliRun gateway =
        RunCli({"configure", "--ip", Ip(kPlain), "--seconds", "1", "--gateway", "10.1.1.1"});
    EXPECT_EQ(gateway.exit, 2) << Describe(gateway);
    EXPECT_NE(gateway.err.find("not in the same subnet"), std::string::npos) << gateway.err;
    // The device's own name again: nothing changed.
    const CliRun same =
        RunCli({"configure", "--ip", Ip(kPlain), "--seconds", "1", "--name", Dev(kPlain).name});
    EXPECT_EQ(same.exit, 0) << Describe(same);
    EXPECT_NE(same.err.find("Nothing changed"), std::string::npos) << same.err;
    for (int type : {3, 4, 5, 8, 13}) EXPECT_EQ(CountType(ReceivedSince(mark), type), 0u) << type;
}

TEST_F(CliInLab, EveryCommandHasHelpAndHelpSendsNothing) {
    const size_t mark = TraceMark();
    for (const char* command : {"adapters", "search", "rename", "set-ip", "bridge-transparent",
                                "pxsync", "reboot", "restore", "scan-neighbours"}) {
        const CliRun r = RunCli({command, "--help"});
        EXPECT_EQ(r.exit, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: kestrix-cli ") + command), std::string::npos)
            << r.out;
    }
    EXPECT_TRUE(ReceivedSince(mark).empty());
}

}  // namespace
}  // namespace kestrix
