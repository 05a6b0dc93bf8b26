// A capture of a lab session read back through the dissector: a scripted
// tool sends every message type to the simulated fleet, dumpcap records the
// host side of the lab, and what tshark decodes must equal what the
// simulator's state dump says the devices hold.

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "link/wire/wire_format.h"
#include "tests/e2e/wireshark/tshark_runner.h"
#include "tests/support/labkit.h"
#include "tests/support/temp_files.h"

namespace kestrix {
namespace {

using namespace std::chrono_literals;
using dissector_test::Tshark;
using labkit::Datagram;
using labkit::Lab;
using labkit::Peer;
using labkit::SimDevice;
using labkit::SimDump;

// dumpcap on the host end of the lab's veth pair, for the life of the object.
class Capture {
public:
    explicit Capture(const std::string& path) : path_(path) {
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 2);
            execlp("ip", "ip", "netns", "exec", labkit::kHostNamespace, KX_DUMPCAP_PATH, "-q", "-i",
                   "kxlab-h", "-w", path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Capture() { Stop(); }
    // True once dumpcap has opened the interface and written the file's
    // header (generous bound: this waits for dumpcap, it does not time it).
    bool WaitReady() {
        for (int i = 0; i < 200; ++i) {
            struct stat st {};
            if (::stat(path_.c_str(), &st) == 0 && st.st_size > 0) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

constexpr const char* kTftpd = "/usr/sbin/in.tftpd";

// Debian's in.tftpd in the lab's host namespace, serving `dir`, so that a
// device's upgrade gets as far as its status reports.
class TftpServer {
public:
    ~TftpServer() { Stop(); }
    bool Start(const std::string& dir) {
        pid_ = fork();
        if (pid_ == 0) {
            if (!labkit::EnterNetns(labkit::kHostNamespace)) _exit(126);
            const std::string address = std::string(labkit::kHostAddress) + ":69";
            execl(kTftpd, "in.tftpd", "-L", "-s", dir.c_str(), "-a", address.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        const std::string url = std::string("tftp://") + labkit::kHostAddress + "/probe.txt";
        for (int tries = 0; tries < 100; ++tries) {
            if (labkit::RunCommand({"ip", "netns", "exec", labkit::kHostNamespace, "curl", "-sf",
                                    "-o", "/dev/null", url}) == 0) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
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

class DissectorLab : public ::testing::Test {
protected:
    static void TearDownTestSuite() { Lab().Down(); }

    std::optional<Datagram> Ask(const SimDevice& d, MsgType type,
                                const std::vector<uint8_t>& payload = {}) {
        EXPECT_TRUE(peer_->SendCommand(type, d.mac, payload));
        auto got = peer_->Collect(kPortReply, 1, 5s, [&](const Datagram& g) {
            return g.mac() == d.mac && g.type() == ToCode(type);
        });
        if (got.empty()) return std::nullopt;
        return got[0];
    }
    SimDump Dump() {
        std::string err;
        auto d = lab_.Dump(&err);
        EXPECT_TRUE(d) << err;
        return d ? *d : SimDump{};
    }

    Lab lab_;
    std::unique_ptr<Peer> peer_;
    kestrix::testing::TempDir dir_;
};

TEST_F(DissectorLab, CaptureOfASessionDecodesEveryTypeAndEqualsTheDump) {
    if (access(kTftpd, X_OK) != 0) GTEST_SKIP() << kTftpd << " is missing (scripts/bootstrap)";
    constexpr int kDevices = 8;
    // The firmware folder, readable by the server's unprivileged user.
    char folder[] = "/tmp/kx-dissector-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string firmware(4096, 'f');
    std::ofstream(std::string(folder) + "/fw-V2.0.1.bin", std::ios::binary) << firmware;
    std::ofstream(std::string(folder) + "/probe.txt") << "probe\n";
    chmod(folder, 0755);
    for (const char* f : {"/fw-V2.0.1.bin", "/probe.txt"}) {
        chmod((std::string(folder) + f).c_str(), 0644);
    }
    std::string err;
    ASSERT_TRUE(lab_.Up({.devices = kDevices,
                         .sim_args = {"--seed", "11", "--heartbeat", "300ms", "--reboot-time", "1s",
                                      "--upgrade-time", "300ms", "--set",
                                      "0 name=\"北门基站\" ssid=\"园区无线-东\"", "--set",
                                      "2 neighbours=5", "--set", "3-7 mode=1"}},
                        &err))
        << err;
    std::string pcap = dir_.File("session.pcapng");
    Capture capture(pcap);
    ASSERT_TRUE(capture.WaitReady()) << "dumpcap did not start";
    peer_ = std::make_unique<Peer>();
    ASSERT_TRUE(peer_->ok()) << peer_->error();
    TftpServer tftp;
    ASSERT_TRUE(tftp.Start(folder)) << "in.tftpd did not serve the probe file";

    // Search, acknowledge, ask every device for its information.
    ASSERT_TRUE(peer_->Search());
    ASSERT_EQ(peer_->Collect(kPortAnnounce, kDevices, 5s).size(), size_t{kDevices});
    SimDump before = Dump();
    ASSERT_EQ(before.devices.size(), size_t{kDevices});
    for (const SimDevice& d : before.devices) {
        ASSERT_TRUE(peer_->SendCommand(MsgType::Announce, d.mac));
        ASSERT_TRUE(Ask(d, MsgType::DeviceInfo)) << d.mac;
    }
    ASSERT_FALSE(peer_->Collect(kPortHeartbeat, 1, 5s).empty());

    const auto& dev = before.devices;
    // The commands, one or more devices each.
    WirelessBlock w = dev[1].info.wireless();
    w.set_ssid("测试-SSID");
    w.set_channel(w.channel() == 6 ? 11 : 6);
    ASSERT_TRUE(Ask(dev[1], MsgType::SetWireless, BuildSetWirelessPayload(w, dev[1].type, 1)));
    ASSERT_TRUE(Ask(dev[1], MsgType::SetName, BuildNamePayload("Roof east 东").ToVector()));
    AddressBlock a = dev[3].info.address();
    a.set_ip_dns1({198, 18, 0, 53});
    a.set_apply(1);
    ASSERT_TRUE(Ask(dev[3], MsgType::SetAddress, a.ToVector()));
    RebootScheduleBlock rs;
    rs.set_restart_en(1);
    rs.set_restart_time(300);
    ASSERT_TRUE(Ask(dev[3], MsgType::SetTimedReboot, rs.ToVector()));
    ASSERT_TRUE(
        Ask(dev[3], MsgType::SetTransparentBridge, BuildTransparentBridgePayload(1).ToVector()));
    ASSERT_TRUE(Ask(dev[3], MsgType::SetPxsync, BuildPxsyncPayload(1).ToVector()));
    ASSERT_TRUE(Ask(dev[2], MsgType::ScanNeighbours));
    SimDump atScan = Dump();
    BridgeBlock b;
    b.set_bridge_work_mode(2);
    b.set_bridge_mac(MacTextToBytes(dev[4].mac));
    b.set_bridge_ssid(dev[4].ssid);
    ASSERT_TRUE(Ask(dev[5], MsgType::SetBridge, BuildSetBridgePayload(b, dev[5].info.address())));
    ASSERT_TRUE(Ask(dev[1], MsgType::UpgradeRequest,
                    BuildUpgradeRequestPayload("fw-V2.0.1.bin", 4096).ToVector()));
    // Fetched: it waits (status 0); started: it reports success (2).
    auto isStatus = [&](const Datagram& g) {
        return g.mac() == dev[1].mac && g.type() == ToCode(MsgType::UpgradeStatus);
    };
    ASSERT_EQ(peer_->Collect(kPortReply, 1, 15s, isStatus).size(), 1u);
    ASSERT_TRUE(peer_->SendCommand(MsgType::UpgradeStart, dev[1].mac));
    ASSERT_EQ(peer_->Collect(kPortReply, 1, 15s, isStatus).size(), 1u);
    // A size that does not match what it fetched: status 1.
    ASSERT_TRUE(Ask(dev[0], MsgType::UpgradeRequest,
                    BuildUpgradeRequestPayload("fw-V2.0.1.bin", 4000).ToVector()));
    ASSERT_EQ(peer_
                  ->Collect(kPortReply, 1, 15s,
                            [&](const Datagram& g) {
                                return g.mac() == dev[0].mac &&
                                       g.type() == ToCode(MsgType::UpgradeStatus);
                            })
                  .size(),
              1u);
    tftp.Stop();
    ASSERT_TRUE(peer_->SendCommand(MsgType::Unused14, dev[0].mac));
    VlanBlock v;
    v.set_vlan_en(1);
    v.set_vlan_id(77);
    ASSERT_TRUE(Ask(dev[4], MsgType::SetVlan,
                    BuildSetVlanPayload(v, dev[4].info.extension(), dev[4].type)));
    ASSERT_TRUE(Ask(dev[6], MsgType::Reboot));
    ASSERT_TRUE(Ask(dev[7], MsgType::Restore));
    // A heartbeat's acknowledgement, as the tool sends one for each.
    auto beat = peer_->Collect(kPortHeartbeat, 1, 5s);
    ASSERT_EQ(beat.size(), 1u);
    ASSERT_TRUE(peer_->SendCommand(MsgType::Heartbeat, beat[0].mac()));
    ASSERT_TRUE(peer_->SendCommand(MsgType::Release, dev[0].mac));
    ASSERT_TRUE(peer_->Search());
    peer_->Collect(kPortAnnounce, kDevices, 2s);
    SimDump after = Dump();
    capture.Stop();

    // Every type is named, in both directions where both exist.
    auto all = Tshark(pcap, "kestrix", {"kestrix.type", "kestrix.type_name", "kestrix.direction"});
    ASSERT_EQ(all.status, 0) << all.errors;
    const std::map<int, std::string> names = {
        {1, "Announce"},      {2, "DeviceInfo"},      {3, "SetAddress"},
        {4, "SetWireless"},   {5, "SetTimedReboot"},  {6, "ScanNeighbours"},
        {7, "SetBridge"},     {8, "SetName"},         {9, "Reboot"},
        {10, "Restore"},      {11, "UpgradeRequest"}, {12, "UpgradeStatus"},
        {13, "SetVlan"},      {14, "Unused"},         {15, "Heartbeat"},
        {16, "UpgradeStart"}, {17, "Release"},        {18, "SetTransparentBridge"},
        {19, "SetPxsync"}};
    std::map<int, std::string> seen;
    std::set<std::pair<int, std::string>> directions;
    for (const auto& row : all.rows) {
        ASSERT_EQ(row[0].size(), 1u);
        int code = std::stoi(row[0][0]);
        seen[code] = row[1].at(0);
        directions.insert({code, row[2].at(0)});
    }
    EXPECT_EQ(seen, names);
    for (int code : {1, 2, 4, 6, 7, 9, 10, 13, 15}) {
        EXPECT_TRUE(directions.count({code, "tool to device"})) << code;
        EXPECT_TRUE(directions.count({code, "device to tool"})) << code;
    }
    EXPECT_TRUE(directions.count({12, "device to tool"}));

    // The information replies, field by field against the dump taken then.
    auto infos = Tshark(
        pcap, "kestrix.type == 2 && kestrix.direction == \"device to tool\"",
        {"kestrix.mac", "kestrix.info.work_mode", "kestrix.address.ip", "kestrix.address.ip_mask",
         "kestrix.address.ip_gateway", "kestrix.name.ap_name", "kestrix.info.version",
         "kestrix.wireless.ssid", "kestrix.wireless.channel", "kestrix.wireless.bandwidth",
         "kestrix.security.secure_mode", "kestrix.bridge.bridge_mac", "kestrix.bridge.bridge_ssid",
         "kestrix.vlan.vlan_id", "kestrix.extension.bridge_transparent", "kestrix.extension.tdmaEn",
         "kestrix.device_type", "kestrix.info.up_time"});
    ASSERT_EQ(infos.status, 0) << infos.errors;
    ASSERT_EQ(infos.rows.size(), size_t{kDevices});
    for (const auto& r : infos.rows) {
        const SimDevice* d = before.ByMac(r[0].at(0));
        ASSERT_NE(d, nullptr) << r[0].at(0);
        SCOPED_TRACE(d->mac);
        const auto& j = d->raw;
        AddressBlock addr = d->info.address();
        EXPECT_EQ(r[1].at(0), std::to_string(d->work_mode));
        EXPECT_EQ(r[2].at(0), d->ip);
        EXPECT_EQ(r[3].at(0), IpBytesToText(addr.ip_mask()));
        EXPECT_EQ(r[4].at(0), IpBytesToText(addr.ip_gateway()));
        EXPECT_EQ(r[5].at(0), d->name);
        EXPECT_EQ(r[6].at(0), d->version);
        EXPECT_EQ(r[7].at(0), d->ssid);
        EXPECT_EQ(r[8].at(0), std::to_string(d->channel));
        EXPECT_EQ(r[9].at(0), std::to_string(j["bandwidth"].Int()));
        ASSERT_EQ(r[10].size(), 2u) << "wireless and bridge security";
        EXPECT_EQ(r[10][0], std::to_string(d->secure_mode));
        EXPECT_EQ(r[11].at(0), d->bridge_mac.empty() ? "00:00:00:00:00:00" : d->bridge_mac);
        EXPECT_EQ(r[12].empty() ? "" : r[12][0], d->bridge_ssid);
        EXPECT_EQ(r[13].at(0), std::to_string(j["vlan_id"].Int()));
        EXPECT_EQ(r[14].at(0), std::to_string(d->bridge_transparent));
        EXPECT_EQ(r[15].at(0), std::to_string(d->pxsync));
        EXPECT_EQ(r[16].at(0), std::to_string(d->type));
        long long up = std::stoll(r[17].at(0));
        EXPECT_GE(up, d->up_time);
        EXPECT_LE(up, d->up_time + 5);
    }
    EXPECT_EQ(before.devices[0].name, "北门基站");

    // The SetWireless as sent is what the device holds afterwards.
    auto setw = Tshark(pcap, "kestrix.type == 4 && kestrix.direction == \"tool to device\"",
                       {"kestrix.mac", "kestrix.wireless.ssid", "kestrix.wireless.channel",
                        "kestrix.wireless.bandwidth", "kestrix.security.secure_mode",
                        "kestrix.extension.wl_dfs", "kestrix.wireless.ssid_len"});
    ASSERT_EQ(setw.status, 0) << setw.errors;
    ASSERT_EQ(setw.rows.size(), 1u);
    const SimDevice* changed = after.ByMac(setw.rows[0][0].at(0));
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(setw.rows[0][1].at(0), changed->ssid);
    EXPECT_EQ(setw.rows[0][1].at(0), "测试-SSID");
    EXPECT_EQ(setw.rows[0][6].at(0), std::to_string(std::string("测试-SSID").size()));
    EXPECT_EQ(setw.rows[0][2].at(0), std::to_string(changed->channel));
    EXPECT_EQ(setw.rows[0][3].at(0), std::to_string(changed->raw["bandwidth"].Int()));
    EXPECT_EQ(setw.rows[0][4].at(0), std::to_string(changed->secure_mode));
    EXPECT_EQ(setw.rows[0][5].empty(), !WirelessTakesExtension(changed->type));

    // The neighbour report: every entry an access point of the fleet with
    // its own SSID, channel and bandwidth, as many as the device hears.
    auto scan = Tshark(
        pcap, "kestrix.type == 6 && kestrix.direction == \"device to tool\"",
        {"kestrix.mac", "kestrix.scan.icount", "kestrix.neighbour.mac", "kestrix.neighbour.ssid",
         "kestrix.neighbour.channel", "kestrix.neighbour.bandwidth", "kestrix.neighbour.signal"});
    ASSERT_EQ(scan.status, 0) << scan.errors;
    ASSERT_EQ(scan.rows.size(), 1u);
    const auto& s = scan.rows[0];
    EXPECT_EQ(s[0].at(0), dev[2].mac);
    ASSERT_EQ(s[2].size(), 5u);
    EXPECT_EQ(s[1].at(0), "5");
    ASSERT_EQ(s[3].size(), 5u);
    for (size_t i = 0; i < s[2].size(); ++i) {
        const SimDevice* ap = atScan.ByMac(s[2][i]);
        ASSERT_NE(ap, nullptr) << s[2][i];
        EXPECT_EQ(ap->work_mode, 1);
        EXPECT_EQ(s[3][i], ap->ssid);
        EXPECT_EQ(s[4].at(i), std::to_string(ap->channel));
        EXPECT_EQ(s[5].at(i), std::to_string(ap->raw["bandwidth"].Int()));
        EXPECT_LT(std::stoi(s[6].at(i)), 0);
    }

    // Result bytes and what they mean.
    auto results =
        Tshark(pcap, "kestrix.result", {"kestrix.type", "kestrix.result", "kestrix.result.status"});
    ASSERT_EQ(results.status, 0) << results.errors;
    std::multiset<std::pair<std::string, std::string>> statuses;
    for (const auto& r : results.rows) statuses.insert({r[0].at(0) + "/" + r[1].at(0), r[2].at(0)});
    EXPECT_EQ(statuses,
              (std::multiset<std::pair<std::string, std::string>>{{"7/0", "Bridge success"},
                                                                  {"9/0", "Restarting"},
                                                                  {"10/0", "Reseting"},
                                                                  {"12/0", "Upgrade wait"},
                                                                  {"12/2", "Upgrade success"},
                                                                  {"12/1", "Upgrade fail"},
                                                                  {"13/0", "Restarting"}}));
    std::filesystem::remove_all(folder);

    // Nothing malformed anywhere, no dissector error, no short payload.
    // (Only on the management ports: the TFTP client's error packet when it
    // gives up a transfer of the wrong size trips Wireshark's TFTP dissector.)
    auto bad = Tshark(pcap,
                      "(_ws.malformed && udp.port >= 9785 && udp.port <= 9788) || kestrix.short || "
                      "kestrix.length_mismatch",
                      {"frame.number"});
    ASSERT_EQ(bad.status, 0) << bad.errors;
    EXPECT_TRUE(bad.rows.empty()) << bad.rows.size() << " frames, first " << bad.rows[0][0][0];
    std::string errors;
    std::string text = dissector_test::TsharkVerbose(pcap, &errors);
    EXPECT_EQ(text.find("Lua Error"), std::string::npos);
    EXPECT_EQ(errors.find("Lua"), std::string::npos) << errors;
    if (HasFailure()) {
        std::string kept = "/tmp/kx-dissector-failed.pcapng";
        std::filesystem::copy_file(pcap, kept, std::filesystem::copy_options::overwrite_existing);
        ADD_FAILURE() << "the capture is kept in " << kept;
    }
}

}  // namespace
}  // namespace kestrix
