// The simulated fleet's firmware upgrade in the lab: a scripted tool in the
// host namespace sends UpgradeRequest and UpgradeStart as the upgrade dialog
// does, Debian's tftpd-hpa serves the file there, and the devices fetch it
// with libcurl from their own addresses.

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/support/labkit.h"

namespace kestrix {
namespace {

using namespace std::chrono_literals;
using labkit::Datagram;
using labkit::Lab;
using labkit::Peer;
using labkit::SimDump;

constexpr const char* kTftpd = "/usr/sbin/in.tftpd";

// in.tftpd in the lab's host namespace, serving `dir` on the host address.
class TftpServer {
public:
    ~TftpServer() { Stop(); }
    bool Start(const std::string& dir, std::string* err) {
        pid_ = fork();
        if (pid_ < 0) {
            *err = "fork failed";
            return false;
        }
        if (pid_ == 0) {
            if (!labkit::EnterNetns(labkit::kHostNamespace)) _exit(126);
            const std::string address = std::string(labkit::kHostAddress) + ":69";
            execl(kTftpd, "in.tftpd", "-L", "-s", dir.c_str(), "-a", address.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready once a probe file comes back through a client of its own.
        const std::string url = std::string("tftp://") + labkit::kHostAddress + "/probe.txt";
        for (int tries = 0; tries < 100; ++tries) {
            if (labkit::RunCommand({"ip", "netns", "exec", labkit::kHostNamespace, "curl", "-sf",
                                    "-o", "/dev/null", url}) == 0) {
                return true;
            }
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                *err = "in.tftpd ended at once (status " + std::to_string(status) + ")";
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        *err = "in.tftpd did not serve the probe file";
        return false;
    }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DevsimUpgradeLab, DevicesFetchOverTftpReportAndComeBackWithTheNewVersion) {
    if (access(kTftpd, X_OK) != 0) GTEST_SKIP() << kTftpd << " is missing (scripts/bootstrap)";
    // The firmware folder, readable by the server's unprivileged user.
    char folder[] = "/tmp/kx-upgrade-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder, file = "KX268-V3.4.5.bin";
    constexpr uint32_t kSize = 200003;  // 390 full blocks and a short one
    std::mt19937 rng(7);
    std::string image(kSize, '\0');
    for (char& c : image) c = static_cast<char>(rng());
    std::ofstream(dir + "/" + file, std::ios::binary) << image;
    std::ofstream(dir + "/probe.txt") << "probe\n";
    for (const std::string& p : {dir, dir + "/" + file, dir + "/probe.txt"}) {
        chmod(p.c_str(), p == dir ? 0755 : 0644);
    }

    Lab lab;
    std::string err;
    ASSERT_TRUE(lab.Up({.devices = 6,
                        .sim_args = {"--upgrade-time", "1s", "--upgrade-reboot-time", "2s", "--set",
                                     "1 upgrade-version=V9.9.9"}},
                       &err))
        << err;
    TftpServer server;
    ASSERT_TRUE(server.Start(dir, &err)) << err;
    // The configured failure is set while the fleet runs.
    ASSERT_TRUE(lab.SetDevices("3", "upgrade-fail=1", &err)) << err;
    ASSERT_TRUE(lab.Fault("fetch-timeout", "20s", &err)) << err;
    auto before = lab.Dump(&err);
    ASSERT_TRUE(before && before->devices.size() == 6) << err;
    Peer tool;
    ASSERT_TRUE(tool.ok()) << tool.error();
    // Each device's replies and reports of these types, type -> last byte
    // (-1 for an empty payload).
    auto collect = [&](size_t count, std::chrono::seconds wait, std::set<uint16_t> types) {
        std::map<std::string, std::map<uint16_t, int>> got;
        for (const Datagram& g : tool.Collect(kPortReply, count, wait, [&](const Datagram& g) {
                 return types.count(g.type()) > 0;
             })) {
            got[g.mac()][g.type()] = g.payload_size() == 0 ? -1 : g.payload()[0];
        }
        return got;
    };
    const uint16_t kRequest = ToCode(MsgType::UpgradeRequest),
                   kStatus = ToCode(MsgType::UpgradeStatus), kStart = ToCode(MsgType::UpgradeStart);

    // 0-3 get the right file and size, 4 a size one too big, 5 a missing file.
    for (size_t i = 0; i < 6; ++i) {
        auto block =
            BuildUpgradeRequestPayload(i == 5 ? "missing.bin" : file, i == 4 ? kSize + 1 : kSize);
        ASSERT_TRUE(
            tool.SendCommand(MsgType::UpgradeRequest, before->devices[i].mac, block.ToVector()));
    }
    auto first = collect(12, 40s, {kRequest, kStatus});
    for (size_t i = 0; i < 6; ++i) {
        auto& d = first[before->devices[i].mac];
        EXPECT_EQ(d.count(kRequest) ? d[kRequest] : 0, -1) << "an empty reply, device " << i;
        EXPECT_EQ(d.count(kStatus) ? d[kStatus] : -1, i < 4 ? 0 : 1) << "device " << i;
    }
    // UpgradeStart for the waiting ones; each answers, then reports.
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(tool.SendCommand(MsgType::UpgradeStart, before->devices[i].mac));
    }
    auto second = collect(8, 20s, {kStart, kStatus});
    for (size_t i = 0; i < 4; ++i) {
        auto& d = second[before->devices[i].mac];
        EXPECT_EQ(d.count(kStart) ? d[kStart] : 0, -1) << "device " << i;
        EXPECT_EQ(d.count(kStatus) ? d[kStatus] : -1, i < 3 ? 2 : 1) << "device " << i;
    }

    // The upgraded ones reboot and come back with their new version.
    SimDump after;
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(100ms)) {
        auto d = lab.Dump(&err);
        ASSERT_TRUE(d) << err;
        after = *d;
        if (after.devices[0].state == "running" && after.devices[1].state == "running" &&
            after.devices[2].state == "running") {
            break;
        }
    }
    tool.Drain();
    ASSERT_TRUE(tool.Search());
    std::map<std::string, std::string> announced;
    for (const Datagram& g : tool.Collect(kPortAnnounce, 6, 5s)) {
        announced[g.mac()] = AnnounceBlock(g.payload(), g.payload_size()).version();
    }
    const std::string log = ReadAll(lab.LogPath());
    const char* version[] = {"V3.4.5", "V9.9.9", "V3.4.5"};
    const char* result[] = {
        "ok", "ok", "ok", "ok", "size-mismatch", "failed: TFTP: File Not Found"};
    for (size_t i = 0; i < 6; ++i) {
        const auto& d = after.devices[i];
        EXPECT_EQ(announced[d.mac], i < 3 ? version[i] : before->devices[i].version) << i;
        EXPECT_EQ(d.reboots, i < 3 ? 1u : 0u) << i;
        // One log line per fetch, byte counts included.
        const std::string line =
            "fetch dev=" + std::to_string(i) + " mac=" + d.mac + " file=\"" +
            (i == 5 ? "missing.bin" : file) +
            "\" from=198.18.0.1:69 bytes=" + std::to_string(i == 5 ? 0 : kSize) +
            " expected=" + std::to_string(i == 4 ? kSize + 1 : kSize) + " result=" + result[i] +
            "\n";
        EXPECT_NE(log.find(line), std::string::npos) << line << "log:\n" << log;
    }

    server.Stop();
    lab.Down();
    for (const char* name : {"probe.txt", file.c_str()}) std::remove((dir + "/" + name).c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace kestrix
