// `kestrix-cli upgrade --yes` end to end in the network lab: ten simulated
// devices fetch the firmware over TFTP from the real FileServer the CLI
// starts, report, reboot and come back with the new version; one of them is
// configured to fail. Runs under tests/support/own-pid-namespace, since the
// upgrade ends every FileServer process by name.

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/lab_environment.h"
#include "tests/support/labkit.h"
#include "tests/support/own_pid_namespace.h"

namespace kestrix {
namespace {

using labkit::CliRun;
using labkit::Describe;
using labkit::JsonValue;
using labkit::Lab;
using labkit::LabOptions;
using labkit::ReadAll;
using labkit::ResultOf;

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

// The CLI in the lab's host namespace (this process's), English texts, a
// short search step and the given service folder; its lock and output in
// `scratch`. `during`, when given, runs while the CLI does.
CliRun RunCli(const std::vector<std::string>& args, const std::string& serviceDir,
              const std::string& scratch, const std::function<void(pid_t)>& during = {}) {
    return labkit::RunCliProcess(args, {.binary = KX_CLI_PATH,
                                        .dir = scratch,
                                        .env = {"KESTRIX_CLI_SERVICE_DIR=" + serviceDir},
                                        .during = during});
}

labkit::UpgradeFolders MakeScratch() {
    return labkit::MakeUpgradeFolders("kx-cli-upgrade", KX_FILESERVER_PATH, kFirmware, kSize, 15);
}

TEST(CliUpgradeLab, TenDevicesUpgradedThroughTheFileServerAndTheFailingOneNamed) {
    ASSERT_TRUE(gInLab) << "the lab is not up";
    ASSERT_TRUE(testing::InOwnPidNamespace())
        << "run under tests/support/own-pid-namespace: the upgrade ends every FileServer";
    std::string err;
    ASSERT_TRUE(gLab->Up(Fleet(), &err)) << err;  // a fresh fleet
    const labkit::UpgradeFolders dirs = MakeScratch();
    ASSERT_FALSE(dirs.root.empty());
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
    const std::string describe = Describe(r);
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
        const std::string line = labkit::WholeFetchLine(was, kFirmware, kSize);
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
    const labkit::UpgradeFolders dirs = MakeScratch();
    ASSERT_FALSE(dirs.root.empty());
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
    const std::string describe = Describe(r);
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
