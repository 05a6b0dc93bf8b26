// The devices' firmware upgrade, driven with a test clock and a fake fetcher
// in place of TFTP.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
    void Make(int devices, std::vector<std::string> settings = {}) {
        FleetConfig config;
        config.devices = devices;
        config.settings = std::move(settings);
        std::string err;
        ASSERT_TRUE(BuildFleet(config, specs_, err)) << err;
        fetcher_ = {};
        sim_ = std::make_unique<Simulator>(specs_, timing_, GlobalFaults{}, 5, now_);
        sim_->SetFetcher(&fetcher_);
    }
    std::vector<Outgoing> Command(size_t device, MsgType type, std::vector<uint8_t> payload = {}) {
        auto bytes = BuildMessage(ToCode(type), sim_->device(device).mac, payload.data(),
                                  payload.size(), true);
        std::vector<Outgoing> out;
        sim_->OnDatagram(kPortHeartbeat, kTool, kPortHeartbeat, bytes.data(), bytes.size(), now_,
                         out);
        return out;
    }
    std::vector<Outgoing> Request(size_t device, const std::string& file, uint32_t size) {
        return Command(device, MsgType::UpgradeRequest,
                       BuildUpgradeRequestPayload(file, size).ToVector());
    }
    std::vector<Outgoing> Deliver(const FetchRequest& r, uint64_t bytes, bool complete,
                                  bool overflow = false, std::string error = "") {
        std::vector<Outgoing> out;
        sim_->OnFetchDone({r.id, r.device, bytes, complete, overflow, std::move(error)}, now_, out);
        return out;
    }
    std::vector<Outgoing> Advance(int64_t ms) {
        now_ += ms;
        std::vector<Outgoing> out;
        sim_->Advance(now_, out);
        return out;
    }
    // Exactly one datagram of `type` from the device to the tool's reply
    // port; its payload.
    std::vector<uint8_t> Only(const std::vector<Outgoing>& out, size_t device, MsgType type) {
        EXPECT_EQ(out.size(), 1u);
        if (out.size() != 1) return {};
        const Outgoing& o = out[0];
        MessageHeader h(o.bytes.data());
        EXPECT_TRUE(h.type() == ToCode(type) && h.mac() == sim_->device(device).mac);
        EXPECT_TRUE(o.src == sim_->AnswerAddress(device) && o.dst == kTool &&
                    o.dst_port == kPortReply);
        return {o.bytes.begin() + kHeaderSize, o.bytes.end()};
    }
    int Status(const std::vector<Outgoing>& out, size_t device) {
        auto p = Only(out, device, MsgType::UpgradeStatus);
        return p.size() == 1 ? p[0] : -1;
    }

    int64_t now_ = 500'000;
    SimTiming timing_;
    FakeFetcher fetcher_;
    std::vector<DeviceSpec> specs_;
    std::unique_ptr<Simulator> sim_;
};

TEST_F(UpgradeTest, RequestFetchesFromItsSenderAndTheOutcomeDecidesTheFirstReport) {
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
    timing_.tftp_port = 1069;
    timing_.tftp_block_size = 1428;
    timing_.fetch_timeout_ms = 20000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Make(3, {"1 claim=2"});
        EXPECT_TRUE(Only(Request(1, "fw.bin", c.announced), 1, MsgType::UpgradeRequest).empty());
        ASSERT_EQ(fetcher_.started.size(), 1u);
        const FetchRequest& r = fetcher_.started[0];
        EXPECT_EQ(r.local, sim_->AnswerAddress(1)) << "it fetches from the address it answers from";
        EXPECT_TRUE(r.device == 1 && r.server == kTool && r.port == 1069 && r.block_size == 1428 &&
                    r.file == "fw.bin" && r.expected == c.announced && r.timeout_ms == 20000);
        EXPECT_TRUE(Advance(19999).empty()) << "nothing is reported while the fetch runs";
        EXPECT_EQ(Status(Deliver(r, c.bytes, c.complete, c.overflow, c.error), 1), c.status);
        // The dump keeps what the log gets, once.
        auto log = sim_->TakeFetchLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_TRUE(log[0].bytes == c.bytes && log[0].expected == c.announced);
        EXPECT_EQ(log[0].result, c.result);
        EXPECT_EQ(sim_->device(1).upgrade.history.at(0).result, c.result);
        EXPECT_TRUE(sim_->TakeFetchLog().empty());
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
        Make(2, c.settings);
        const std::string before = sim_->device(0).info.version();
        Request(0, "KX268_V2.5.0_20240501.bin", 1000);
        ASSERT_EQ(Status(Deliver(fetcher_.started.at(0), 1000, true), 0), kUpgradeReady);
        EXPECT_TRUE(Only(Command(0, MsgType::UpgradeStart), 0, MsgType::UpgradeStart).empty());
        EXPECT_TRUE(Advance(6999).empty());
        EXPECT_EQ(Status(Advance(1), 0), c.status);
        if (c.status == kUpgradeFailed) {
            EXPECT_EQ(sim_->device(0).info.version(), before);
            EXPECT_EQ(Command(0, MsgType::DeviceInfo).size(), 1u) << "the old firmware runs on";
            continue;
        }
        Advance(11999);
        EXPECT_TRUE(Command(0, MsgType::DeviceInfo).empty()) << "silent while rebooting";
        Advance(1);
        auto info = Only(Command(0, MsgType::DeviceInfo), 0, MsgType::DeviceInfo);
        ASSERT_EQ(info.size(), DeviceInfoBlock::kSize);
        EXPECT_EQ(DeviceInfoBlock(info.data()).version(), c.version);
        EXPECT_EQ(DeviceInfoBlock(info.data()).up_time(), 0u);
        // Factory settings do not take the firmware back.
        Command(0, MsgType::Restore);
        Advance(1000);
        EXPECT_EQ(sim_->device(0).info.version(), c.version);
    }
}

TEST_F(UpgradeTest, RepeatsStartNothingTwiceAndStaleResultsAreIgnored) {
    timing_.upgrade_ms = 3000;
    timing_.fetch_timeout_ms = 5000;
    Make(2);
    // UpgradeStart without an image is answered and does nothing.
    Only(Command(0, MsgType::UpgradeStart), 0, MsgType::UpgradeStart);
    EXPECT_TRUE(Advance(60000).empty());
    // The fetcher never answers: the device gives up at its deadline.
    Request(0, "a.bin", 10);
    const FetchRequest lost = fetcher_.started.at(0);
    EXPECT_TRUE(Advance(4999).empty());
    EXPECT_EQ(Status(Advance(1), 0), kUpgradeFailed);
    EXPECT_EQ(fetcher_.cancelled, std::vector<uint64_t>{lost.id});
    // A request during a fetch fetches nothing new; one while waiting does.
    Request(0, "a-V1.0.bin", 100);
    Only(Request(0, "a-V1.0.bin", 100), 0, MsgType::UpgradeRequest);
    ASSERT_EQ(fetcher_.started.size(), 2u);
    Status(Deliver(fetcher_.started[1], 100, true), 0);
    Request(0, "b-V2.0.bin", 200);
    ASSERT_EQ(fetcher_.started.size(), 3u);
    // Results of fetches given up, of other devices or of none change nothing.
    for (FetchRequest stale : {lost, fetcher_.started[1]}) {
        EXPECT_TRUE(Deliver(stale, stale.expected, true).empty());
    }
    for (int device : {1, -1, 99}) {
        FetchRequest wrong = fetcher_.started[2];
        wrong.device = device;
        EXPECT_TRUE(Deliver(wrong, 200, true).empty());
    }
    Status(Deliver(fetcher_.started[2], 200, true), 0);
    // Two starts, one upgrade.
    Command(0, MsgType::UpgradeStart);
    Only(Command(0, MsgType::UpgradeStart), 0, MsgType::UpgradeStart);
    EXPECT_EQ(Status(Advance(3000), 0), kUpgradeDone);
    EXPECT_EQ(sim_->device(0).info.version(), "V2.0");
    // A reboot during a fetch abandons it without a report; a request
    // without a name fails without one.
    Request(1, "fw.bin", 10);
    Command(1, MsgType::Reboot);
    EXPECT_EQ(fetcher_.cancelled.back(), fetcher_.started.back().id);
    EXPECT_TRUE(Deliver(fetcher_.started.back(), 10, true).empty());
    Advance(timing_.reboot_ms);
    auto out = Request(1, "", 10);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].bytes[kHeaderSize], kUpgradeFailed);
    EXPECT_EQ(fetcher_.started.size(), 4u);
}

TEST(UpgradeVersion, ComesFromTheFileNameUnlessTheNameHasNone) {
    const char* cases[][2] = {
        {"KX268_V2.5.0_20240501.bin", "V2.5.0"},
        {"firmware-2.4.1.BIN", "V2.4.1"},
        {"DEV7.bin", "DEV7"},              // a V inside a word is no version
        {"release 10.bin", "release 10"},  // nor is a lone number
        {"固件-V1.2.bin", "V1.2"},
        {"a-very-long-firmware-file-name-without-any-version.bin",
         "a-very-long-firmware-file-name-w"},
    };
    for (auto& c : cases) EXPECT_EQ(VersionFromFileName(c[0]), c[1]) << c[0];
}

TEST(UpgradeSettings, BadValuesAreRefusedWhereverTheyAreSet) {
    std::string err;
    for (const char* bad :
         {"--tftp-port=0", "--tftp-port=65536", "--tftp-blksize=7", "--tftp-blksize=65465",
          "--fetch-timeout=0", "--upgrade-time=-1s", "--fetch-limit=0"}) {
        SimConfig c;
        EXPECT_FALSE(ParseCommandLine({bad}, c, err)) << bad;
    }
    std::vector<DeviceSpec> fleet;
    ASSERT_TRUE(BuildFleet(FleetConfig{}, fleet, err)) << err;
    Simulator sim(fleet, {}, {}, 1, 0);
    EXPECT_FALSE(sim.SetGlobal("tftp-port", "x", err));
    EXPECT_EQ(sim.timing().tftp_port, 69);
    EXPECT_FALSE(
        sim.SetDeviceFaults("3 upgrade-fail=1 upgrade-version=" + std::string(33, 'v'), err));
    EXPECT_FALSE(sim.device(3).faults.upgrade_fail) << "a bad line changes nothing";
}

}  // namespace
}  // namespace kestrix::devsim
