// The simulated fleet's firmware upgrade in the lab: a scripted tool in the
// host namespace sends UpgradeRequest and UpgradeStart as the upgrade dialog
// does, Debian's tftpd-hpa serves the file there, and the devices fetch it
// with libcurl from their own addresses.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/wire_format.h"
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
    const std::string dir = folder;
    chmod(dir.c_str(), 0755);
    const std::string file = "KX268-V3.4.5.bin";
    constexpr uint32_t kSize = 200003;  // 390 full blocks and a short one
    {
        std::mt19937 rng(7);
        std::string image(kSize, '\0');
        for (char& c : image) c = static_cast<char>(rng());
        std::ofstream(dir + "/" + file, std::ios::binary) << image;
        std::ofstream(dir + "/probe.txt") << "probe\n";
    }
    chmod((dir + "/" + file).c_str(), 0644);
    chmod((dir + "/probe.txt").c_str(), 0644);

    Lab lab;
    std::string err;
    ASSERT_TRUE(lab.Up({.devices = 6,
                        .trace = true,
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
    ASSERT_TRUE(before) << err;
    ASSERT_EQ(before->devices.size(), 6u);
    std::vector<std::string> mac;
    for (const auto& d : before->devices) mac.push_back(d.mac);

    Peer tool;
    ASSERT_TRUE(tool.ok()) << tool.error();
    // 0-3 get the right file and size, 4 a size one too big, 5 a missing file.
    for (size_t i = 0; i < 6; ++i) {
        const std::string name = i == 5 ? "missing.bin" : file;
        const uint32_t size = i == 4 ? kSize + 1 : kSize;
        ASSERT_TRUE(tool.SendCommand(MsgType::UpgradeRequest, mac[i],
                                     BuildUpgradeRequestPayload(name, size).ToVector()));
    }
    auto ofType = [](MsgType t) {
        return [t](const Datagram& g) { return g.type() == ToCode(t); };
    };
    auto replies = tool.Collect(kPortReply, 6, 5s, ofType(MsgType::UpgradeRequest));
    EXPECT_EQ(replies.size(), 6u) << "every UpgradeRequest is answered";
    for (const Datagram& g : replies) EXPECT_EQ(g.payload_size(), 0u);

    // The transfer phase: "ready" from those that got the whole file.
    std::map<std::string, int> first;
    for (const Datagram& g : tool.Collect(kPortReply, 6, 40s, ofType(MsgType::UpgradeStatus))) {
        ASSERT_EQ(g.payload_size(), 1u);
        first[g.mac()] = g.payload()[0];
    }
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(first.count(mac[i]) ? first[mac[i]] : -1, i < 4 ? 0 : 1) << "device " << i;
    }

    // UpgradeStart for the waiting ones; each answers, then reports.
    for (size_t i = 0; i < 4; ++i) ASSERT_TRUE(tool.SendCommand(MsgType::UpgradeStart, mac[i]));
    std::map<std::string, int> started, final;
    for (const Datagram& g : tool.Collect(kPortReply, 8, 20s, [](const Datagram& g) {
             return g.type() == ToCode(MsgType::UpgradeStart) ||
                    g.type() == ToCode(MsgType::UpgradeStatus);
         })) {
        if (g.type() == ToCode(MsgType::UpgradeStart)) {
            ++started[g.mac()];
        } else if (g.payload_size() == 1) {
            final[g.mac()] = g.payload()[0];
        }
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(started[mac[i]], 1) << "device " << i;
        EXPECT_EQ(final.count(mac[i]) ? final[mac[i]] : -1, i < 3 ? 2 : 1) << "device " << i;
    }

    // The successful ones reboot and come back with their new version.
    SimDump after;
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(100ms)) {
        auto d = lab.Dump(&err);
        ASSERT_TRUE(d) << err;
        after = *d;
        bool back = true;
        for (size_t i = 0; i < 3; ++i) back &= after.devices[i].state == "running";
        if (back) break;
    }
    tool.Drain();
    ASSERT_TRUE(tool.Search());
    std::map<std::string, std::string> announced;
    for (const Datagram& g : tool.Collect(kPortAnnounce, 6, 5s)) {
        announced[g.mac()] = AnnounceBlock(g.payload(), g.payload_size()).version();
    }
    const char* expected[] = {"V3.4.5", "V9.9.9", "V3.4.5"};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE("device " + std::to_string(i));
        const auto& d = after.devices[i];
        const std::string version = i < 3 ? expected[i] : before->devices[i].version;
        EXPECT_EQ(announced[mac[i]], version);
        EXPECT_EQ(d.reboots, i < 3 ? 1u : 0u);
        // The dump keeps what each fetch got.
        const auto& fetch = d.raw["upgrade"]["fetches"][0];
        EXPECT_EQ(fetch["file"].Str(), i == 5 ? "missing.bin" : file);
        EXPECT_EQ(fetch["from"].Str(), std::string(labkit::kHostAddress) + ":69");
        EXPECT_EQ(fetch["expected"].Int(), static_cast<long long>(i == 4 ? kSize + 1 : kSize));
        EXPECT_EQ(fetch["bytes"].Int(), static_cast<long long>(i == 5 ? 0 : kSize));
        const std::string result = fetch["result"].Str();
        if (i == 5) {
            EXPECT_EQ(result.rfind("failed: ", 0), 0u) << result;
            EXPECT_NE(result.find("Not Found"), std::string::npos) << "the server refused it";
        } else {
            EXPECT_EQ(result, i < 4 ? "ok" : "size-mismatch");
        }
        EXPECT_EQ(d.raw["upgrade"]["last_result"].Str(), i < 3    ? "upgraded"
                                                         : i == 3 ? "upgrade-failed"
                                                                  : result);
    }

    // The log has one line per fetch, byte counts included.
    const std::string log = ReadAll(lab.LogPath());
    for (size_t i = 0; i < 4; ++i) {
        const std::string line = "fetch dev=" + std::to_string(i) + " mac=" + mac[i] + " file=\"" +
                                 file + "\" from=198.18.0.1:69 bytes=" + std::to_string(kSize) +
                                 " expected=" + std::to_string(kSize) + " result=ok";
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nlog:\n" << log;
    }
    size_t notes = 0;
    for (const auto& t : lab.Trace())
        notes += t.kind == "note" && t.text.find(" fetch dev=") != std::string::npos;
    EXPECT_EQ(notes, 6u);

    server.Stop();
    lab.Down();
    std::remove((dir + "/" + file).c_str());
    std::remove((dir + "/probe.txt").c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace kestrix
