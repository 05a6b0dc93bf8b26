// kestrix-cli bridge against a simulated fleet in the network lab: a device
// that hears 70 access points (three report packets) is bridged to one of
// them and the simulator holds the bridge; a device told to fail reads
// "Bridge fail"; a mode switch at AP, an access point the scan did not hear
// and a key the wizard refuses end the run before any SetBridge goes out.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
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
using labkit::SimDump;
using labkit::TraceLine;

constexpr int kFleet = 40;
constexpr int kStation = 0;   // type 15, hears 70 access points
constexpr int kFailing = 1;   // answers SetBridge with a failure
constexpr int kSwitched = 2;  // mode switch at AP
constexpr int kAp = 5;        // the access point they bridge to

LabOptions Fleet() {
    LabOptions o;
    o.devices = kFleet;
    o.trace = true;
    o.sim_args = {"--seed", "33",
                  "--set",  "all mode=1",
                  "--set",  "0 type=15 btn=0 neighbours=70",
                  "--set",  "1 type=5 btn=0 neighbours=70 bridge-fail=1",
                  "--set",  "2 type=5 btn=1 neighbours=70",
                  "--set",  "5 ssid=Tower-Five"};
    return o;
}

Lab* gLab = nullptr;
bool gInLab = false;
std::string gDir;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(
    new labkit::LabEnvironment(Fleet, gLab, gInLab, &gDir, "kx-cli-bridge"));

// Runs the CLI in the lab's host namespace with a lock folder of its own,
// a short search step, English texts and no standard input.
CliRun RunCli(const std::vector<std::string>& args) {
    return labkit::RunCliProcess(args, {.binary = KX_CLI_PATH, .dir = gDir});
}

class CliBridgeInLab : public labkit::FleetTest {
protected:
    CliBridgeInLab() : FleetTest(gLab, gInLab, Fleet) {}
    // The datagrams of `kind` ("rx" or "tx") of this type and device since `from`.
    size_t Count(size_t from, const std::string& kind, int type, const std::string& mac) const {
        size_t n = 0;
        for (const TraceLine& l : TraceSince(from))
            n += l.kind == kind && l.GetInt("type") == type && l.Get("mac") == mac;
        return n;
    }
    JsonValue Result(const CliRun& r) const {
        std::string err;
        auto doc = labkit::ParseJson(r.out, &err);
        EXPECT_TRUE(doc) << err << "\n" << Describe(r);
        if (!doc || doc->items().size() != 1) return JsonValue();
        return doc->items()[0];
    }
};

constexpr int kScan = static_cast<int>(MsgType::ScanNeighbours);
constexpr int kSetBridge = static_cast<int>(MsgType::SetBridge);

TEST_F(CliBridgeInLab, BridgesToAnAccessPointOfASeventyEntryScan) {
    const std::string station = Dev(kStation).mac, ap = Dev(kAp).mac;
    const size_t mark = TraceMark();
    const CliRun r =
        RunCli({"bridge", "--mac", station, "--ap", ap, "--security", "wpa2-psk", "--cipher", "aes",
                "--key", "secretpass1", "--key-time", "600", "--seconds", "1", "--yes", "--json"});
    ASSERT_EQ(r.exit, 0) << Describe(r);
    const JsonValue j = Result(r);
    EXPECT_EQ(j["mac"].Str(), station);
    EXPECT_EQ(j["result"].Str(), "done");
    EXPECT_NE(j["detail"].Str().find("Bridge success"), std::string::npos) << Describe(r);
    // One scan, answered in three reports (32 + 32 + 6), one SetBridge.
    EXPECT_EQ(Count(mark, "rx", kScan, station), 1u);
    EXPECT_EQ(Count(mark, "tx", kScan, station), 3u);
    EXPECT_EQ(Count(mark, "rx", kSetBridge, station), 1u);

    const SimDump after = Dump();
    const labkit::SimDevice& d = after.devices.at(kStation);
    EXPECT_EQ(d.bridge_mac, ap);
    EXPECT_EQ(d.bridge_ssid, Dev(kAp).ssid);
    EXPECT_EQ(d.work_mode, devsim::kModeStation);
    EXPECT_EQ(d.ip, Dev(kStation).ip);  // its own address, kept
    const BridgeBlock b = d.info.bridge();
    const SecurityBlock s = b.security();
    EXPECT_EQ(s.secure_mode(), 3);
    EXPECT_EQ(s.wpapsk_auth_type(), 0);
    EXPECT_EQ(s.wpapsk_key_value(), "secretpass1");
    EXPECT_EQ(s.wpapsk_key_time(), 600u);
}

TEST_F(CliBridgeInLab, ADeviceThatFailsReadsBridgeFailAndTheRunFails) {
    const std::string mac = Dev(kFailing).mac;
    const size_t mark = TraceMark();
    const CliRun r = RunCli({"bridge", "--mac", mac, "--ap", Dev(kAp).mac, "--security", "none",
                             "--seconds", "1", "--yes", "--json"});
    EXPECT_EQ(r.exit, 1) << Describe(r);
    const JsonValue j = Result(r);
    EXPECT_EQ(j["result"].Str(), "bridge_failed");
    EXPECT_NE(j["detail"].Str().find("Bridge fail"), std::string::npos) << Describe(r);
    EXPECT_EQ(Count(mark, "rx", kSetBridge, mac), 1u);
    EXPECT_NE(Dump().devices.at(kFailing).work_mode, devsim::kModeStation);
}

TEST_F(CliBridgeInLab, RefusalsSendNoSetBridge) {
    const std::string ap = Dev(kAp).mac;
    struct Case {
        const char* what;
        int device;
        std::vector<std::string> extra;
        int exit;
        const char* says;
        size_t scans;
    };
    const Case cases[] = {
        {"mode switch at AP", kSwitched, {}, 1, "The Mode Switch is at AP position", 0},
        {"access point not heard", kStation, {"--ap", "02:00:00:00:00:99"}, 1, "was not heard", 1},
        {"key refused",
         kStation,
         {"--security", "wpa2-psk", "--key", "short"},
         2,
         "Please enter a key for 8~63 ASCII characters",
         1},
        {"address in use",
         kStation,
         {"--security", "none", "--address", Dev(kAp).ip},
         2,
         "already in use",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string mac = Dev(c.device).mac;
        std::vector<std::string> args = {"bridge",    "--mac", mac,     "--ap",  ap,
                                         "--seconds", "1",     "--yes", "--json"};
        // A later --ap replaces the first.
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const size_t mark = TraceMark();
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.exit, c.exit) << Describe(r);
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << Describe(r);
        EXPECT_EQ(Count(mark, "rx", kScan, mac), c.scans);
        EXPECT_EQ(Count(mark, "rx", kSetBridge, mac), 0u);
    }
}

}  // namespace
}  // namespace kestrix
