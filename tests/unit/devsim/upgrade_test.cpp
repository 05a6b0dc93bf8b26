// The devices' firmware upgrade, driven with a test clock and a fake fetcher
// in place of TFTP.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/devsim/json_writer.h"
#include "tools/devsim/sim_options.h"
#include "tools/devsim/simulator.h"

namespace kestrix::devsim {
namespace {

const Ipv4Bytes kTool{198, 18, 0, 1};

class FakeFetcher : public Fetcher {
public:
    void Start(const FetchRequest& request) override { started.push_back(request); }
    void Cancel(uint64_t id) override { cancelled.push_back(id); }
    std::vector<FetchRequest> started;
    std::vector<uint64_t> cancelled;
};

class UpgradeTest : public ::testing::Test {
protected:
    void Make(int devices, std::vector<std::string> settings = {}, bool withFetcher = true) {
        FleetConfig config;
        config.devices = devices;
        config.seed = 3;
        config.settings = std::move(settings);
        std::string err;
        ASSERT_TRUE(BuildFleet(config, specs_, err)) << err;
        sim_ = std::make_unique<Simulator>(specs_, timing_, GlobalFaults{}, 5, now_);
        if (withFetcher) sim_->SetFetcher(&fetcher_);
    }
    std::vector<Outgoing> Command(size_t device, MsgType type,
                                  const std::vector<uint8_t>& payload = {}) {
        auto bytes = BuildMessage(ToCode(type), sim_->device(device).mac, payload.data(),
                                  payload.size(), true);
        std::vector<Outgoing> out;
        RxVerdict v = sim_->OnDatagram(kPortHeartbeat, kTool, kPortHeartbeat, bytes.data(),
                                       bytes.size(), now_, out);
        verdict_ = v.reason;
        return out;
    }
    std::vector<Outgoing> Request(size_t device, const std::string& file, uint32_t size) {
        return Command(device, MsgType::UpgradeRequest,
                       BuildUpgradeRequestPayload(file, size).ToVector());
    }
    std::vector<Outgoing> Deliver(const FetchRequest& r, uint64_t bytes, bool complete,
                                  bool overflow = false, std::string error = "") {
        FetchResult result{r.id, r.device, bytes, complete, overflow, std::move(error)};
        std::vector<Outgoing> out;
        sim_->OnFetchDone(result, now_, out);
        return out;
    }
    std::vector<Outgoing> Advance(int64_t ms) {
        now_ += ms;
        std::vector<Outgoing> out;
        sim_->Advance(now_, out);
        return out;
    }
    // Exactly one datagram: the device's reply or report of `type`, to the
    // tool's reply port; returns its payload.
    std::vector<uint8_t> Only(const std::vector<Outgoing>& out, size_t device, MsgType type) {
        EXPECT_EQ(out.size(), 1u);
        if (out.size() != 1) return {};
        const Outgoing& o = out[0];
        MessageHeader h(o.bytes.data());
        EXPECT_EQ(h.type(), ToCode(type));
        EXPECT_EQ(h.mac(), sim_->device(device).mac);
        EXPECT_EQ(o.src, sim_->AnswerAddress(device));
        EXPECT_EQ(o.src_port, kPortHeartbeat);
        EXPECT_EQ(o.dst, kTool);
        EXPECT_EQ(o.dst_port, kPortReply);
        return {o.bytes.begin() + kHeaderSize, o.bytes.end()};
    }
    int Status(const std::vector<Outgoing>& out, size_t device) {
        auto p = Only(out, device, MsgType::UpgradeStatus);
        EXPECT_EQ(p.size(), 1u);
        return p.size() == 1 ? p[0] : -1;
    }
    // Request, fetch the whole file, UpgradeStart: the device is upgrading.
    void UpToStart(size_t device, const std::string& file, uint32_t size) {
        Only(Request(device, file, size), device, MsgType::UpgradeRequest);
        ASSERT_FALSE(fetcher_.started.empty());
        ASSERT_EQ(Status(Deliver(fetcher_.started.back(), size, true), device), kUpgradeReady);
        EXPECT_TRUE(
            Only(Command(device, MsgType::UpgradeStart), device, MsgType::UpgradeStart).empty());
    }

    int64_t now_ = 500'000;
    SimTiming timing_;
    FakeFetcher fetcher_;
    std::vector<DeviceSpec> specs_;
    std::unique_ptr<Simulator> sim_;
    std::string verdict_;
};

TEST_F(UpgradeTest, RequestIsAnsweredAtOnceAndTheFileFetchedFromItsSender) {
    timing_.tftp_port = 1069;
    timing_.tftp_block_size = 1428;
    timing_.fetch_timeout_ms = 20000;
    Make(3, {"1 claim=2"});
    EXPECT_TRUE(Only(Request(1, "KX-V2.5.0.bin", 4096), 1, MsgType::UpgradeRequest).empty());
    ASSERT_EQ(fetcher_.started.size(), 1u);
    const FetchRequest& r = fetcher_.started[0];
    EXPECT_EQ(r.device, 1);
    EXPECT_EQ(r.server, kTool);
    EXPECT_EQ(r.local, sim_->AnswerAddress(1))
        << "the fetch leaves from the address it answers from";
    EXPECT_EQ(r.port, 1069);
    EXPECT_EQ(r.block_size, 1428);
    EXPECT_EQ(r.file, "KX-V2.5.0.bin");
    EXPECT_EQ(r.expected, 4096u);
    EXPECT_EQ(r.timeout_ms, 20000);
    EXPECT_EQ(sim_->device(1).upgrade.phase, UpgradePhase::Fetching);
    EXPECT_TRUE(Advance(19999).empty()) << "nothing is reported while the fetch runs";
}

TEST_F(UpgradeTest, FetchOutcomeDecidesTheFirstReport) {
    struct Case {
        const char* name;
        uint32_t announced;
        uint64_t bytes;
        bool complete, overflow;
        const char* error;
        int status;
        const char* result;
    } cases[] = {
        {"whole file", 4096, 4096, true, false, "", kUpgradeReady, "ok"},
        {"shorter than announced", 4096, 4000, true, false, "", kUpgradeFailed, "size-mismatch"},
        {"more than announced", 4096, 4097, false, true, "", kUpgradeFailed, "size-mismatch"},
        {"transfer failed", 4096, 512, false, false, "TFTP: File Not Found", kUpgradeFailed,
         "failed: TFTP: File Not Found"},
        {"nothing announced, nothing sent", 0, 0, true, false, "", kUpgradeFailed, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fetcher_ = {};
        Make(2);
        Request(1, "fw.bin", c.announced);
        ASSERT_EQ(fetcher_.started.size(), 1u);
        EXPECT_EQ(Status(Deliver(fetcher_.started[0], c.bytes, c.complete, c.overflow, c.error), 1),
                  c.status);
        const DeviceUpgrade& u = sim_->device(1).upgrade;
        EXPECT_EQ(u.phase, c.status == kUpgradeReady ? UpgradePhase::Waiting : UpgradePhase::Idle);
        ASSERT_EQ(u.history.size(), 1u);
        EXPECT_EQ(u.history[0].bytes, c.bytes);
        EXPECT_EQ(u.history[0].expected, c.announced);
        EXPECT_EQ(u.history[0].result, c.result);
        auto log = sim_->TakeFetchLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].result, c.result);
        EXPECT_TRUE(sim_->TakeFetchLog().empty());
        EXPECT_EQ(sim_->stats().fetch_failures, c.status == kUpgradeReady ? 0u : 1u);
    }
}

TEST_F(UpgradeTest, StartedUpgradeReportsItsEndThenRebootsIntoTheNewVersion) {
    struct Case {
        const char* name;
        std::vector<std::string> settings;
        int status;
        const char* version;  // after; empty: unchanged
    } cases[] = {
        {"version from the file name", {}, kUpgradeDone, "V2.5.0"},
        {"configured version", {"0 upgrade-version=\"V9 test\""}, kUpgradeDone, "V9 test"},
        {"configured to fail", {"0 upgrade-fail=1"}, kUpgradeFailed, ""},
    };
    timing_.upgrade_ms = 7000;
    timing_.upgrade_reboot_ms = 12000;
    timing_.reboot_ms = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fetcher_ = {};
        Make(2, c.settings);
        const std::string before = sim_->device(0).info.version();
        UpToStart(0, "KX268_V2.5.0_20240501.bin", 1000);
        EXPECT_EQ(sim_->device(0).upgrade.phase, UpgradePhase::Flashing);
        EXPECT_TRUE(Advance(6999).empty());
        EXPECT_EQ(Status(Advance(1), 0), c.status);
        const SimDevice& d = sim_->device(0);
        EXPECT_EQ(d.info.version(), *c.version ? std::string(c.version) : before);
        if (c.status == kUpgradeFailed) {
            EXPECT_EQ(d.run, RunState::Running)
                << "a failed upgrade keeps the old firmware running";
            EXPECT_EQ(Command(0, MsgType::DeviceInfo).size(), 1u);
            EXPECT_EQ(d.upgrade.last_result, "upgrade-failed");
            continue;
        }
        EXPECT_EQ(d.run, RunState::Rebooting);
        Advance(11999);
        EXPECT_TRUE(Command(0, MsgType::DeviceInfo).empty()) << "silent while rebooting";
        Advance(1);
        auto info = Only(Command(0, MsgType::DeviceInfo), 0, MsgType::DeviceInfo);
        ASSERT_EQ(info.size(), DeviceInfoBlock::kSize);
        EXPECT_EQ(DeviceInfoBlock(info.data()).version(), c.version);
        EXPECT_EQ(DeviceInfoBlock(info.data()).up_time(), 0u);
        EXPECT_EQ(d.upgrade.upgrades, 1u);
        EXPECT_EQ(sim_->stats().upgrades, 1u);
        // Factory settings do not take the firmware back.
        Command(0, MsgType::Restore);
        Advance(1000);
        EXPECT_EQ(sim_->device(0).info.version(), c.version);
    }
}

TEST_F(UpgradeTest, RepeatedAndStrayCommandsStartNothingTwice) {
    timing_.upgrade_ms = 3000;
    Make(2);
    // UpgradeStart for a device that holds no image: answered, nothing more.
    Only(Command(0, MsgType::UpgradeStart), 0, MsgType::UpgradeStart);
    EXPECT_TRUE(Advance(60000).empty());

    // A repeated request during the fetch is answered but fetches nothing new.
    Request(0, "a-V1.0.bin", 100);
    Only(Request(0, "a-V1.0.bin", 100), 0, MsgType::UpgradeRequest);
    EXPECT_EQ(verdict_, "upgrade-busy");
    ASSERT_EQ(fetcher_.started.size(), 1u);
    Status(Deliver(fetcher_.started[0], 100, true), 0);
    // A new request while waiting fetches the new file instead.
    Request(0, "b-V2.0.bin", 200);
    ASSERT_EQ(fetcher_.started.size(), 2u);
    EXPECT_EQ(fetcher_.started[1].file, "b-V2.0.bin");
    EXPECT_TRUE(Deliver(fetcher_.started[0], 100, true).empty()) << "the old fetch is over";
    Status(Deliver(fetcher_.started[1], 200, true), 0);
    // Two starts, one upgrade.
    Command(0, MsgType::UpgradeStart);
    Only(Command(0, MsgType::UpgradeStart), 0, MsgType::UpgradeStart);
    EXPECT_EQ(Status(Advance(3000), 0), kUpgradeDone);
    EXPECT_EQ(sim_->device(0).info.version(), "V2.0");
}

TEST_F(UpgradeTest, FetchesThatEndElsewhereAreIgnored) {
    timing_.fetch_timeout_ms = 5000;
    timing_.reboot_ms = 1000;
    Make(2);
    // The fetcher never answers: the device gives up at the deadline.
    Request(0, "fw.bin", 10);
    FetchRequest first = fetcher_.started.at(0);
    EXPECT_TRUE(Advance(4999).empty());
    EXPECT_EQ(Status(Advance(1), 0), kUpgradeFailed);
    EXPECT_EQ(fetcher_.cancelled, std::vector<uint64_t>{first.id});
    EXPECT_EQ(sim_->device(0).upgrade.last_result, "timeout");
    EXPECT_TRUE(Deliver(first, 10, true).empty()) << "a result after the deadline";

    // A reboot during the fetch abandons it without a report.
    Request(0, "fw.bin", 10);
    FetchRequest second = fetcher_.started.at(1);
    EXPECT_NE(second.id, first.id);
    Command(0, MsgType::Reboot);
    EXPECT_EQ(fetcher_.cancelled.back(), second.id);
    EXPECT_TRUE(Deliver(second, 10, true).empty());
    EXPECT_TRUE(Advance(10000).empty());

    // Results naming another device or none are dropped.
    Request(1, "fw.bin", 10);
    FetchRequest third = fetcher_.started.at(2);
    for (int device : {0, -1, 99}) {
        FetchRequest wrong = third;
        wrong.device = device;
        EXPECT_TRUE(Deliver(wrong, 10, true).empty());
    }
    EXPECT_EQ(Status(Deliver(third, 10, true), 1), kUpgradeReady);
}

TEST_F(UpgradeTest, RequestWithoutNameOrWithoutFetcherFailsAtOnce) {
    Make(1, {}, false);
    auto out = Request(0, "fw.bin", 10);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].bytes[kHeaderSize], kUpgradeFailed);
    EXPECT_EQ(sim_->device(0).upgrade.last_result, "failed: no TFTP client");

    Make(1);
    out = Request(0, "", 10);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(MessageHeader(out[1].bytes.data()).type(), ToCode(MsgType::UpgradeStatus));
    EXPECT_EQ(out[1].bytes[kHeaderSize], kUpgradeFailed);
    EXPECT_TRUE(fetcher_.started.empty());
}

TEST(UpgradeVersion, ComesFromTheFileNameUnlessTheNameHasNone) {
    struct Case {
        const char* file;
        const char* version;
    } cases[] = {
        {"KX268_V2.5.0_20240501.bin", "V2.5.0"},
        {"fw-v3.1.bin", "V3.1"},
        {"firmware-2.4.1.BIN", "V2.4.1"},
        {"DEV7.bin", "DEV7"},              // a V inside a word is no version
        {"release 10.bin", "release 10"},  // a lone number is no version either
        {"V4.bin", "V4"},
        {"固件-V1.2.bin", "V1.2"},
        {"a-very-long-firmware-file-name-without-any-version.bin",
         "a-very-long-firmware-file-name-w"},
    };
    for (const Case& c : cases) EXPECT_EQ(VersionFromFileName(c.file), c.version) << c.file;
}

TEST(UpgradeLog, LineNamesTheFetchAndEscapesTheName) {
    FetchRecord r;
    r.device = 4;
    r.mac = {0x02, 0x4b, 0x58, 0, 0, 7};
    r.file = "a\"b\nc.bin";
    r.server = kTool;
    r.port = 69;
    r.bytes = 10;
    r.expected = 12;
    r.result = "size-mismatch";
    EXPECT_EQ(FetchLogLine(r),
              "fetch dev=4 mac=02:4b:58:00:00:07 file=\"a\\x22b\\x0ac.bin\" from=198.18.0.1:69 "
              "bytes=10 expected=12 result=size-mismatch");
}

TEST(UpgradeSettings, TimesPortsAndFaultsAreCheckedWhereverTheyAreSet) {
    SimConfig c;
    std::string err;
    ASSERT_TRUE(ParseCommandLine({"--upgrade-time", "2s", "--upgrade-reboot-time", "500ms",
                                  "--fetch-timeout", "9s", "--tftp-port", "1069", "--tftp-blksize",
                                  "1428", "--fetch-limit", "4", "--upgrade-fail", "1-2"},
                                 c, err))
        << err;
    EXPECT_EQ(c.timing.upgrade_ms, 2000);
    EXPECT_EQ(c.timing.upgrade_reboot_ms, 500);
    EXPECT_EQ(c.timing.fetch_timeout_ms, 9000);
    EXPECT_EQ(c.timing.tftp_port, 1069);
    EXPECT_EQ(c.timing.tftp_block_size, 1428);
    EXPECT_EQ(c.fetch_limit, 4);
    c.fleet.devices = 4;
    std::vector<DeviceSpec> fleet;
    ASSERT_TRUE(BuildFleet(c.fleet, fleet, err)) << err;
    EXPECT_FALSE(fleet[0].faults.upgrade_fail);
    EXPECT_TRUE(fleet[1].faults.upgrade_fail && fleet[2].faults.upgrade_fail);

    for (const char* bad :
         {"--tftp-port=0", "--tftp-port=65536", "--tftp-blksize=7", "--tftp-blksize=65465",
          "--fetch-timeout=0", "--upgrade-time=-1s", "--fetch-limit=0"}) {
        SimConfig d;
        EXPECT_FALSE(ParseCommandLine({bad}, d, err)) << bad;
    }

    // At run time, over the control socket's two commands.
    Simulator sim(fleet, {}, {}, 1, 0);
    ASSERT_TRUE(sim.SetGlobal("upgrade-time", "250ms", err)) << err;
    EXPECT_EQ(sim.timing().upgrade_ms, 250);
    EXPECT_FALSE(sim.SetGlobal("tftp-port", "x", err));
    EXPECT_EQ(sim.timing().tftp_port, 69);
    ASSERT_TRUE(sim.SetDeviceFaults("0 upgrade-fail=1 upgrade-version=V7", err)) << err;
    EXPECT_TRUE(sim.device(0).faults.upgrade_fail);
    EXPECT_EQ(sim.device(0).faults.upgrade_version, "V7");
    EXPECT_FALSE(sim.SetDeviceFaults("3 upgrade-version=" + std::string(33, 'v'), err));
    EXPECT_FALSE(sim.SetDeviceFaults("3 upgrade-fail=2", err));
    EXPECT_TRUE(sim.device(3).faults.upgrade_version.empty());
    // The dump shows the settings and each device's upgrade.
    const std::string dump = sim.DumpJson(0);
    EXPECT_NE(dump.find("\"upgrade_ms\":250"), std::string::npos);
    EXPECT_NE(dump.find("\"upgrade_version\":\"V7\""), std::string::npos);
    EXPECT_NE(dump.find("\"upgrade\":{\"phase\":\"idle\""), std::string::npos);
}

}  // namespace
}  // namespace kestrix::devsim
