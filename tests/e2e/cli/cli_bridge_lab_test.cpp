// kestrix-cli bridge against a simulated fleet in the network lab: a device
// that hears 70 access points (three report packets) is bridged to one of
// them and the simulator holds the bridge; a device told to fail reads
// "Bridge fail"; a mode switch at AP, an access point the scan did not hear
// and a key the wizard refuses end the run before any SetBridge goes out.

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/support/lab_environment.h"
#include "tests/support/labkit.h"
#include "tools/devsim/fleet.h"

extern char** environ;

namespace kestrix {
namespace {

using namespace std::chrono_literals;
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

class BridgeLabEnvironment : public labkit::LabEnvironment {
public:
    BridgeLabEnvironment() : LabEnvironment([] { return Fleet(); }, gLab, gInLab) {}
    void SetUp() override {
        char pattern[] = "/tmp/kx-cli-bridge.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        gDir = pattern;
        LabEnvironment::SetUp();
    }
    void TearDown() override {
        LabEnvironment::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(gDir, ignored);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BridgeLabEnvironment);

struct CliRun {
    int exit = -1;
    std::string out, err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the CLI in the lab's host namespace with a lock folder of its own,
// a short search step, English texts and no standard input.
CliRun RunCli(const std::vector<std::string>& args) {
    const std::string outPath = gDir + "/out", errPath = gDir + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 || entry.rfind("LC_", 0) == 0 ||
            entry.rfind("LANG=", 0) == 0 || entry.rfind("KESTRIX_CLI_", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + gDir);
    env.push_back("LC_ALL=C");
    env.push_back("KESTRIX_CLI_SEARCH_INTERVAL_MS=300");
    std::vector<std::string> argv = {KX_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto pointers = [](std::vector<std::string>& v) {
        std::vector<char*> p;
        for (auto& s : v) p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    pid_t pid = -1;
    CliRun run;
    const int spawned =
        posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

std::string Describe(const CliRun& r) {
    return "exit " + std::to_string(r.exit) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

class CliBridgeInLab : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gInLab) << "the lab is not up";
        std::string err;
        ASSERT_TRUE(gLab->Up(Fleet(), &err)) << err;
        dump_ = Dump();
        ASSERT_EQ(dump_.devices.size(), static_cast<size_t>(kFleet));
    }
    SimDump Dump() const {
        std::string err;
        auto dump = gLab->Dump(&err);
        EXPECT_TRUE(dump) << err;
        return dump ? *dump : SimDump{};
    }
    const labkit::SimDevice& Dev(int i) const { return dump_.devices.at(static_cast<size_t>(i)); }
    size_t TraceMark() const { return gLab->Trace().size(); }
    // The datagrams of `kind` ("rx" or "tx") of this type and device since `from`.
    size_t Count(size_t from, const std::string& kind, int type, const std::string& mac) const {
        std::this_thread::sleep_for(300ms);
        const std::vector<TraceLine> all = gLab->Trace();
        size_t n = 0;
        for (size_t i = from; i < all.size(); ++i)
            n += all[i].kind == kind && all[i].GetInt("type") == type && all[i].Get("mac") == mac;
        return n;
    }
    JsonValue Result(const CliRun& r) const {
        std::string err;
        auto doc = labkit::ParseJson(r.out, &err);
        EXPECT_TRUE(doc) << err << "\n" << Describe(r);
        if (!doc || doc->items().size() != 1) return JsonValue();
        return doc->items()[0];
    }
    SimDump dump_;
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
