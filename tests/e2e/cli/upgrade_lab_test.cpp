// `kestrix-cli upgrade --yes` end to end in the network lab: ten simulated
// devices fetch the firmware over TFTP from the real FileServer the CLI
// starts, report, reboot and come back with the new version; one of them is
// configured to fail. Runs under tests/support/own-pid-namespace, since the
// upgrade ends every FileServer process by name.

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/lab_environment.h"
#include "tests/support/labkit.h"
#include "tests/support/own_pid_namespace.h"

extern char** environ;

namespace kestrix {
namespace {

using labkit::JsonValue;
using labkit::Lab;
using labkit::LabOptions;
using labkit::SimDump;

constexpr int kFleet = 10;
constexpr int kFailing = 3;  // fetches the file, then reports a failed upgrade
constexpr uint16_t kType = 15;
constexpr uint32_t kSize = 300007;  // 585 full 512-byte blocks and a short one
const std::string kFirmware = "KX-FW-V7.1.2.bin";
const std::string kNewVersion = "V7.1.2";

LabOptions Fleet() {
    LabOptions o;
    o.devices = kFleet;
    // Short upgrade and reboot, so that the run takes seconds.
    o.sim_args = {"--seed",
                  "15",
                  "--upgrade-time",
                  "1s",
                  "--upgrade-reboot-time",
                  "2s",
                  "--set",
                  "0-9 type=15 mode=1",
                  "--upgrade-fail",
                  std::to_string(kFailing)};
    return o;
}

Lab* gLab = nullptr;
bool gInLab = false;
const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new labkit::LabEnvironment(Fleet, gLab, gInLab));

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CliRun {
    int exit = -1;
    std::string out, err;
};

// The CLI in the lab's host namespace (this process's), its output in files,
// English texts, a short search step and the given service folder.
// `during`, when given, runs while the CLI does.
CliRun RunCli(const std::vector<std::string>& args, const std::string& serviceDir,
              const std::string& scratch, const std::function<void(pid_t)>& during = {}) {
    const std::string outPath = scratch + "/cli.out", errPath = scratch + "/cli.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0 ||
            entry.rfind("KESTRIX_CLI_", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("LC_ALL=C");
    env.push_back("XDG_RUNTIME_DIR=" + scratch);  // the single-instance lock
    env.push_back("KESTRIX_CLI_SEARCH_INTERVAL_MS=300");
    env.push_back("KESTRIX_CLI_SERVICE_DIR=" + serviceDir);
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
    if (during) during(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    return run;
}

const JsonValue& ResultOf(const JsonValue& results, const std::string& mac) {
    static const JsonValue none;
    for (const JsonValue& r : results.items())
        if (r["mac"].Str() == mac) return r;
    return none;
}

// A service folder of our own with a copy of the real server (a link would
// make it read the bundle's settings), and the firmware in a folder beside.
struct Scratch {
    std::string root, service, firmware;
};
Scratch MakeScratch() {
    char pattern[] = "/tmp/kx-cli-upgrade.XXXXXX";
    EXPECT_NE(mkdtemp(pattern), nullptr);
    Scratch s{pattern, std::string(pattern) + "/service", std::string(pattern) + "/firmware"};
    namespace fs = std::filesystem;
    fs::create_directories(s.service);
    fs::create_directories(s.firmware);
    fs::copy_file(KX_FILESERVER_PATH, s.service + "/FileServer");
    std::mt19937 rng(15);
    std::string image(kSize, '\0');
    for (char& c : image) c = static_cast<char>(rng());
    std::ofstream(s.firmware + "/" + kFirmware, std::ios::binary) << image;
    return s;
}

TEST(CliUpgradeLab, TenDevicesUpgradedThroughTheFileServerAndTheFailingOneNamed) {
    ASSERT_TRUE(gInLab) << "the lab is not up";
    ASSERT_TRUE(testing::InOwnPidNamespace())
        << "run under tests/support/own-pid-namespace: the upgrade ends every FileServer";
    std::string err;
    ASSERT_TRUE(gLab->Up(Fleet(), &err)) << err;  // a fresh fleet
    const Scratch dirs = MakeScratch();
    const std::string &scratch = dirs.root, &service = dirs.service, &firmware = dirs.firmware;
    auto before = gLab->Dump(&err);
    ASSERT_TRUE(before && before->devices.size() == static_cast<size_t>(kFleet)) << err;
    std::vector<std::string> args = {
        "upgrade", "--file", firmware + "/" + kFirmware, "--yes", "--json", "--seconds", "1.5"};
    for (const auto& d : before->devices) {
        ASSERT_NE(d.version, kNewVersion);
        args.insert(args.end(), {"--mac", d.mac});
    }

    const CliRun r = RunCli(args, service, scratch);
    const std::string describe =
        "exit " + std::to_string(r.exit) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
    EXPECT_EQ(r.exit, 1) << describe;
    auto doc = labkit::ParseJson(r.out, &err);
    ASSERT_TRUE(doc) << err << "\n" << describe;
    ASSERT_EQ(doc->size(), static_cast<size_t>(kFleet)) << describe;
    EXPECT_NE(r.err.find("9 of 10 devices upgraded."), std::string::npos) << describe;

    auto after = gLab->Dump(&err);
    ASSERT_TRUE(after) << err;
    const std::string log = ReadAll(gLab->LogPath());
    for (const auto& was : before->devices) {
        SCOPED_TRACE("device " + std::to_string(was.index) + " " + was.mac);
        const JsonValue& j = ResultOf(*doc, was.mac);
        const labkit::SimDevice* now = after->ByMac(was.mac);
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(j["version_before"].Str(), was.version);
        if (was.index == kFailing) {
            EXPECT_EQ(j["result"].Str(), "upgrade_failed");
            EXPECT_FALSE(j["ok"].Bool(true));
            EXPECT_NE(j["detail"].Str().find("Upgrade fail"), std::string::npos);
            EXPECT_EQ(now->version, was.version);
            EXPECT_EQ(now->reboots, 0u);
        } else {
            EXPECT_EQ(j["result"].Str(), "upgraded");
            EXPECT_TRUE(j["ok"].Bool());
            // What the device told a search after its reboot.
            EXPECT_EQ(j["version_after"].Str(), kNewVersion);
            EXPECT_EQ(now->version, kNewVersion);
            EXPECT_EQ(now->reboots, 1u);
        }
        // Every device, the failing one too, fetched the whole file from the
        // CLI's FileServer on the host address.
        const std::string line = "fetch dev=" + std::to_string(was.index) + " mac=" + was.mac +
                                 " file=\"" + kFirmware +
                                 "\" from=198.18.0.1:69 bytes=" + std::to_string(kSize) +
                                 " expected=" + std::to_string(kSize) + " result=ok\n";
        EXPECT_NE(log.find(line), std::string::npos) << line;
        const JsonValue& fetches = now->raw["upgrade"]["fetches"];
        ASSERT_EQ(fetches.size(), 1u);
        EXPECT_EQ(fetches[static_cast<size_t>(0)]["bytes"].Int(), static_cast<long long>(kSize));
        EXPECT_EQ(fetches[static_cast<size_t>(0)]["result"].Str(), "ok");
    }

    // The server was given the firmware's folder and logged ten whole
    // transfers of it.
    EXPECT_NE(ReadAll(service + "/FileServer.ini").find("Directory=" + firmware),
              std::string::npos);
    const std::string served = ReadAll(service + "/FileServer.log");
    const std::string whole = "file=\"" + kFirmware + "\" bytes=" + std::to_string(kSize) + " ";
    size_t transfers = 0;
    for (size_t at = served.find(whole); at != std::string::npos; at = served.find(whole, at + 1))
        ++transfers;
    EXPECT_EQ(transfers, static_cast<size_t>(kFleet)) << served;
    EXPECT_TRUE(testing::NoneLeftNamed("FileServer", std::chrono::seconds(2)))
        << "a FileServer outlived the upgrade";
    std::filesystem::remove_all(scratch);
}

TEST(CliUpgradeLab, SigtermWhileDevicesUpgradeEndsTheFileServerAndReportsInterrupted) {
    ASSERT_TRUE(gInLab) << "the lab is not up";
    ASSERT_TRUE(testing::InOwnPidNamespace());
    std::string err;
    LabOptions slow = Fleet();
    slow.sim_args.insert(slow.sim_args.end(), {"--upgrade-time", "60s"});
    ASSERT_TRUE(gLab->Up(slow, &err)) << err;
    auto before = gLab->Dump(&err);
    ASSERT_TRUE(before && before->devices.size() == static_cast<size_t>(kFleet)) << err;
    const Scratch dirs = MakeScratch();
    std::vector<std::string> args = {"upgrade", "--file", dirs.firmware + "/" + kFirmware,
                                     "--yes",   "--json", "--seconds",
                                     "1.5"};
    for (const auto& d : before->devices) args.insert(args.end(), {"--mac", d.mac});

    bool sawServer = false, allUpgrading = false;
    const CliRun r = RunCli(args, dirs.service, dirs.root, [&](pid_t cli) {
        // Stopped once every device has the file and UpgradeStart went out.
        for (int i = 0; i < 300; ++i) {
            sawServer = sawServer || !testing::ProcessesNamed("FileServer").empty();
            auto now = gLab->Dump();
            size_t flashing = 0;
            if (now)
                for (const auto& d : now->devices)
                    flashing += d.raw["upgrade"]["phase"].Str() == "upgrading";
            allUpgrading = flashing == static_cast<size_t>(kFleet);
            if (allUpgrading) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(cli, SIGTERM);
    });
    const std::string describe =
        "exit " + std::to_string(r.exit) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
    EXPECT_TRUE(sawServer);
    EXPECT_TRUE(allUpgrading) << "the devices never all got UpgradeStart";
    EXPECT_EQ(r.exit, 1) << describe;
    auto doc = labkit::ParseJson(r.out, &err);
    ASSERT_TRUE(doc) << err << "\n" << describe;
    ASSERT_EQ(doc->size(), static_cast<size_t>(kFleet)) << describe;
    for (const JsonValue& row : doc->items())
        EXPECT_EQ(row["result"].Str(), "interrupted") << describe;
    EXPECT_TRUE(testing::NoneLeftNamed("FileServer", std::chrono::seconds(2)))
        << "a FileServer outlived the interrupted upgrade";
    std::filesystem::remove_all(dirs.root);
}

}  // namespace
}  // namespace kestrix
