// The shared device actions: what each worker sends, to whom, in which
// order, and the batch address numbering.

#include <chrono>
#include <cstdio>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fleet/address_batch.h"
#include "fleet/device_workers.h"
#include "fleet/neighbour_texts.h"
#include "fleet/search_cycle.h"
#include "fleet/selection.h"

namespace kestrix {
namespace {

// Records every call, in order, as the link would receive them.
class RecordingSink : public CommandSink {
public:
    struct Call {
        std::string what;  // "send" or "note"
        std::string target;
        MsgType type = MsgType::Announce;
        std::vector<uint8_t> payload;
        std::string mac;
        bool retry = false;
        std::string newIp;
    };

    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override {
        Call c{"send", target, type, {}, mac, registerRetry, {}};
        if (payload != nullptr) c.payload.assign(payload, payload + length);
        calls.push_back(std::move(c));
        return unreachable.count(target) == 0;
    }
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp) override {
        calls.push_back({"note", currentIp, MsgType::Announce, {}, mac, false, newIp});
    }
    std::vector<Call> Sends() const {
        std::vector<Call> out;
        for (const auto& c : calls)
            if (c.what == "send") out.push_back(c);
        return out;
    }

    std::vector<Call> calls;
    std::set<std::string> unreachable;
};

SelectedDevice Dev(int n, uint16_t type = 5) {
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:00:00:00:00:%02x", n);
    return {"192.168.1." + std::to_string(n), mac, type};
}

ap_info_stu Record(const std::string& mac, uint16_t type, uint8_t workMode, uint8_t bridge = 0,
                   uint8_t pxsync = 0) {
    ap_info_stu r;
    r.set_mac(mac);
    r.set_ap_type(type);
    DeviceInfoBlock info;
    info.set_work_mode(workMode);
    AddressBlock a;
    a.set_ip({10, 0, 0, 7});
    info.set_address(a);
    ExtensionBlock e;
    e.set_bridge_transparent(bridge);
    e.set_tdmaEn(pxsync);
    info.set_extension(e);
    r.set_info(info);
    return r;
}

// ---- Batch addresses ------------------------------------------------------------

TEST(BatchAddresses, SkipsNetworkAndBroadcastEndingsAcrossAThirdOctetBoundary) {
    EXPECT_EQ(BatchAddresses("192.168.1.253", "192.168.2.10", 3),
              (std::vector<std::string>{"192.168.1.253", "192.168.1.254", "192.168.2.1"}));
    // Across the second octet too: .255 and the following .0 are both skipped.
    EXPECT_EQ(BatchAddresses("10.0.255.254", "10.1.0.9", 2),
              (std::vector<std::string>{"10.0.255.254", "10.1.0.1"}));
}

TEST(BatchAddresses, StopsWhenTheRangeRunsOut) {
    EXPECT_EQ(BatchAddresses("10.0.0.10", "10.0.0.11", 3),
              (std::vector<std::string>{"10.0.0.10", "10.0.0.11"}));
    // A range made only of endings that are skipped gives nothing.
    EXPECT_TRUE(BatchAddresses("10.0.0.255", "10.0.1.0", 2).empty());
    // The top of the address space ends the walk instead of wrapping to 0.0.0.0.
    EXPECT_EQ(BatchAddresses("255.255.255.252", "255.255.255.255", 5),
              (std::vector<std::string>{"255.255.255.252", "255.255.255.253", "255.255.255.254"}));
}

TEST(BatchAddresses, OneDeviceGetsTheBeginAddressWhateverTheEnd) {
    EXPECT_EQ(BatchAddresses("192.168.1.20", "", 1), (std::vector<std::string>{"192.168.1.20"}));
    EXPECT_EQ(BatchAddresses("192.168.1.20", "192.168.1.5", 1),
              (std::vector<std::string>{"192.168.1.20"}));
    EXPECT_TRUE(BatchAddresses("192.168.1.20", "192.168.1.30", 0).empty());
}

TEST(BatchAddresses, AnEndBelowTheBeginGivesNothingToSeveralDevices) {
    EXPECT_TRUE(BatchAddresses("192.168.1.30", "192.168.1.20", 2).empty());
}

TEST(BatchAddressBlock, CarriesFixedModeTheRangeSettingsAndApplyNow) {
    AddressRange range{"10.1.2.3", "10.1.2.9", "255.255.0.0", "10.1.0.1", "8.8.8.8", ""};
    const AddressBlock b = MakeBatchAddressBlock(range, "10.1.2.5");
    EXPECT_EQ(b.ip_mode(), 1);
    EXPECT_EQ(IpBytesToText(b.ip()), "10.1.2.5");
    EXPECT_EQ(IpBytesToText(b.ip_mask()), "255.255.0.0");
    EXPECT_EQ(IpBytesToText(b.ip_gateway()), "10.1.0.1");
    EXPECT_EQ(IpBytesToText(b.ip_dns1()), "8.8.8.8");
    EXPECT_EQ(IpBytesToText(b.ip_dns2()), "0.0.0.0");  // none
    EXPECT_EQ(b.apply(), 1);
}

TEST(BatchAddressWorker, NotesEachNewAddressBeforeItsCommandInSelectionOrder) {
    RecordingSink sink;
    AddressRange range{"192.168.1.254", "192.168.2.3", "255.255.0.0", "", "", ""};
    const std::vector<SelectedDevice> selection = {Dev(7), Dev(3), Dev(9)};
    const auto sent = RunBatchAddressWorker(sink, selection, range);

    ASSERT_EQ(sink.calls.size(), 6u);
    const std::vector<std::string> want = {"192.168.1.254", "192.168.2.1", "192.168.2.2"};
    for (size_t i = 0; i < 3; ++i) {
        const auto& note = sink.calls[2 * i];
        const auto& send = sink.calls[2 * i + 1];
        EXPECT_EQ(note.what, "note");
        EXPECT_EQ(note.mac, selection[i].mac);
        EXPECT_EQ(note.target, selection[i].ip);
        EXPECT_EQ(note.newIp, want[i]);
        EXPECT_EQ(send.what, "send");
        EXPECT_EQ(send.type, MsgType::SetAddress);
        // The command goes to where the device is now, not where it will be.
        EXPECT_EQ(send.target, selection[i].ip);
        EXPECT_EQ(send.mac, selection[i].mac);
        EXPECT_TRUE(send.retry);
        ASSERT_EQ(send.payload.size(), AddressBlock::kSize);
        EXPECT_EQ(IpBytesToText(AddressBlock(send.payload.data()).ip()), want[i]);
        EXPECT_EQ(sent[i].newIp, want[i]);
        EXPECT_TRUE(sent[i].sent);
    }
}

TEST(BatchAddressWorker, DevicesBeyondTheRangeAndUnreachableOnesAreReported) {
    RecordingSink sink;
    sink.unreachable.insert(Dev(2).ip);
    AddressRange range{"10.0.0.10", "10.0.0.11", "255.255.255.0", "", "", ""};
    const auto sent = RunBatchAddressWorker(sink, {Dev(1), Dev(2), Dev(3)}, range);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_TRUE(sent[0].sent);
    EXPECT_FALSE(sent[1].sent);  // no adapter reaches it
    EXPECT_EQ(sent[1].newIp, "10.0.0.11");
    EXPECT_FALSE(sent[2].sent);  // the range ran out: told nothing
    EXPECT_TRUE(sent[2].newIp.empty());
    EXPECT_EQ(sink.Sends().size(), 2u);
}

TEST(BatchAddressWorker, AStoppedWorkerSendsNothingMore) {
    RecordingSink sink;
    std::stop_source stop;
    stop.request_stop();
    AddressRange range{"10.0.0.10", "10.0.0.20", "255.255.255.0", "", "", ""};
    EXPECT_TRUE(RunBatchAddressWorker(sink, {Dev(1), Dev(2)}, range, stop.get_token()).empty());
    EXPECT_TRUE(sink.calls.empty());
}

// ---- Rename ------------------------------------------------------------------------

TEST(Rename, SameOrEmptyTextSendsNothing) {
    EXPECT_EQ(DecideRename("Roof", "Roof", 5).kind, RenameDecision::Kind::kUnchanged);
    EXPECT_EQ(DecideRename("", "Roof", 5).kind, RenameDecision::Kind::kEmpty);
}

TEST(Rename, TheDeviceTypeChoosesTheCharacterSet) {
    const RenameDecision strict = DecideRename("Roof east", "Roof", 17);
    EXPECT_EQ(strict.kind, RenameDecision::Kind::kRejected);
    EXPECT_EQ(strict.rule.key,
              "Device name maximum allowed 32 bytes, only support combination of Chinese, "
              "lowercase letters, 0-9 numbers");
    const RenameDecision open = DecideRename("Roof east", "Roof", 5);
    EXPECT_EQ(open.kind, RenameDecision::Kind::kSend);
    EXPECT_EQ(open.name, "Roof east");
}

TEST(Rename, TenChineseCharactersGoOutAsThirtyUtf8BytesElevenAreRefused) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += "\xE4\xB8\xAD";  // U+4E2D
    const RenameDecision d = DecideRename(ten, "x", 5);
    ASSERT_EQ(d.kind, RenameDecision::Kind::kSend);
    RecordingSink sink;
    const SentCommand c = SendRename(sink, Dev(4), d.name);
    EXPECT_TRUE(c.sent);
    ASSERT_EQ(sink.calls.size(), 1u);
    const auto& call = sink.calls[0];
    EXPECT_EQ(call.type, MsgType::SetName);
    EXPECT_EQ(call.target, Dev(4).ip);
    ASSERT_EQ(call.payload.size(), NameBlock::kSize);
    EXPECT_EQ(call.payload[32], 30);
    EXPECT_EQ(std::string(call.payload.begin(), call.payload.begin() + 30), ten);

    EXPECT_EQ(DecideRename(ten + "\xE4\xB8\xAD", "x", 5).kind, RenameDecision::Kind::kRejected);
}

// ---- Switches ----------------------------------------------------------------------

TEST(Switches, NotApplicableDevicesAreLeftOutInOrder) {
    const std::vector<ap_info_stu> records = {
        Record("02:00:00:00:00:01", 10, 1),  // bridging and PX-SYNC both exist
        Record("02:00:00:00:00:02", 4, 1),   // a type without transparent bridging
        Record("02:00:00:00:00:03", 1, 5),   // P2MP mode: no transparent bridging
        Record("02:00:00:00:00:04", 1, 1),   // bridging yes, PX-SYNC no
    };
    const SwitchSelection bridge = SplitBySwitch(SwitchKind::kTransparentBridge, records);
    ASSERT_EQ(bridge.configurable.size(), 2u);
    EXPECT_EQ(bridge.configurable[0].mac(), "02:00:00:00:00:01");
    EXPECT_EQ(bridge.configurable[1].mac(), "02:00:00:00:00:04");
    ASSERT_EQ(bridge.notApplicable.size(), 2u);
    EXPECT_EQ(bridge.notApplicable[0].mac(), "02:00:00:00:00:02");

    const SwitchSelection px = SplitBySwitch(SwitchKind::kPxsync, records);
    ASSERT_EQ(px.configurable.size(), 1u);
    EXPECT_EQ(px.configurable[0].mac(), "02:00:00:00:00:01");
}

TEST(Switches, StateAndSelectionComeFromTheRecord) {
    const ap_info_stu r = Record("02:00:00:00:00:09", 10, 1, 1, 0);
    EXPECT_EQ(SwitchState(SwitchKind::kTransparentBridge, r), 1);
    EXPECT_EQ(SwitchState(SwitchKind::kPxsync, r), 0);
    const SelectedDevice d = SelectedFromRecord(r);
    EXPECT_EQ(d.ip, "10.0.0.7");
    EXPECT_EQ(d.mac, "02:00:00:00:00:09");
    EXPECT_EQ(d.type, 10);
}

TEST(Switches, EachDeviceGetsTheCommandWithOnlyItsSwitchByteSet) {
    RecordingSink sink;
    const auto sent = RunSwitchWorker(sink, {Dev(1), Dev(2), Dev(3)}, SwitchKind::kPxsync, true);
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(sink.calls.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const auto& call = sink.calls[i];
        EXPECT_EQ(call.type, MsgType::SetPxsync);
        EXPECT_EQ(call.mac, Dev(static_cast<int>(i) + 1).mac);
        ASSERT_EQ(call.payload.size(), ExtensionBlock::kSize);
        std::vector<uint8_t> want(ExtensionBlock::kSize, 0);
        want[1] = 1;  // PX-SYNC; byte 0 (bridging) stays 0 whatever the devices have
        EXPECT_EQ(call.payload, want);
    }

    RecordingSink off;
    RunSwitchWorker(off, {Dev(1)}, SwitchKind::kTransparentBridge, false);
    ASSERT_EQ(off.calls.size(), 1u);
    EXPECT_EQ(off.calls[0].type, MsgType::SetTransparentBridge);
    EXPECT_EQ(off.calls[0].payload, std::vector<uint8_t>(ExtensionBlock::kSize, 0));

    RecordingSink on;
    RunSwitchWorker(on, {Dev(1)}, SwitchKind::kTransparentBridge, true);
    ASSERT_EQ(on.calls.size(), 1u);
    EXPECT_EQ(on.calls[0].payload[0], 1);
    EXPECT_EQ(on.calls[0].payload[1], 0);
}

// ---- Reboot and restore --------------------------------------------------------------

TEST(Reboot, AccessPointsWithBridgedStationsGoFirstThenThePauseThenTheRest) {
    RecordingSink sink;
    std::vector<std::string> log;
    auto bridged = [](const std::string& mac) { return mac == Dev(2).mac || mac == Dev(4).mac; };
    auto pause = [&](std::chrono::milliseconds d, std::stop_token) {
        log.push_back("pause " + std::to_string(d.count()) + " after " +
                      std::to_string(sink.calls.size()));
    };
    const auto sent = RunRebootWorker(sink, {Dev(1), Dev(2), Dev(3), Dev(4)}, MsgType::Restore,
                                      bridged, {}, pause);
    ASSERT_EQ(sink.calls.size(), 4u);
    const std::vector<std::string> order = {Dev(2).mac, Dev(4).mac, Dev(1).mac, Dev(3).mac};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sink.calls[i].mac, order[i]);
        EXPECT_EQ(sink.calls[i].type, MsgType::Restore);
        EXPECT_TRUE(sink.calls[i].payload.empty());
        EXPECT_TRUE(sink.calls[i].retry);
        EXPECT_EQ(sent[i].device.mac, order[i]);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"pause 200 after 2"}));
}

TEST(Reboot, WithNoBridgedStationTheCommandComesAfterThePause) {
    RecordingSink sink;
    std::vector<std::string> log;
    auto pause = [&](std::chrono::milliseconds, std::stop_token) {
        log.push_back("pause with " + std::to_string(sink.calls.size()) + " sent");
    };
    RunRebootWorker(
        sink, {Dev(5)}, MsgType::Reboot, [](const std::string&) { return false; }, {}, pause);
    EXPECT_EQ(log, (std::vector<std::string>{"pause with 0 sent"}));
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_EQ(sink.calls[0].type, MsgType::Reboot);
}

TEST(Reboot, AStopDuringThePauseLeavesTheSecondPassUnsent) {
    RecordingSink sink;
    std::stop_source stop;
    auto pause = [&](std::chrono::milliseconds, std::stop_token) { stop.request_stop(); };
    auto bridged = [](const std::string& mac) { return mac == Dev(1).mac; };
    const auto sent =
        RunRebootWorker(sink, {Dev(1), Dev(2)}, MsgType::Reboot, bridged, stop.get_token(), pause);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].device.mac, Dev(1).mac);
}

TEST(Reboot, TheDefaultPauseEndsAtAStopRequest) {
    // An hour-long sleep must end when another thread asks it to stop; if it
    // did not, this test would never finish.
    std::stop_source stop;
    std::thread asker([&] { stop.request_stop(); });
    InterruptibleSleep(std::chrono::hours(1), stop.get_token());
    asker.join();
    SUCCEED();
}

// ---- Search cycle ------------------------------------------------------------------------

struct FakeLink {
    std::vector<std::string> calls;
    void RefreshCaptureDevices() { calls.push_back("capture"); }
    void ReleaseAnnounced() { calls.push_back("release"); }
    void DropAnnounced() { calls.push_back("drop"); }
    void ReconcileStore() { calls.push_back("reconcile"); }
    void Search() { calls.push_back("search"); }
};

TEST(SearchCycle, RunsTheFiveStepsInTheStatusPagesOrder) {
    FakeLink link;
    StartSearchCycle(link);
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{"capture", "release", "drop", "reconcile", "search"}));
}

TEST(SearchSchedule, RepeatsAtEveryStepBeforeTheEnd) {
    SearchSchedule s(9000, 3000);
    std::vector<int64_t> at;
    for (int64_t t = 0; t <= 9500; t += 100)
        if (s.TakeDue(t)) at.push_back(t);
    EXPECT_EQ(at, (std::vector<int64_t>{3000, 6000}));
    EXPECT_FALSE(s.Finished(8999));
    EXPECT_TRUE(s.Finished(9000));

    // The status page's own 30 seconds: searches at 3, 6, ..., 27.
    SearchSchedule page(kStatusSearchMs, kSearchIntervalMs);
    int count = 0;
    for (int64_t t = 0; t <= 30000; t += 1000) count += page.TakeDue(t) ? 1 : 0;
    EXPECT_EQ(count, 9);
}

TEST(SearchSchedule, ALateCallerGetsOneSearchNotABurst) {
    SearchSchedule s(30000, 3000);
    EXPECT_EQ(s.NextEventMs(), 3000);
    EXPECT_TRUE(s.TakeDue(10500));  // 3, 6 and 9 were missed
    EXPECT_FALSE(s.TakeDue(10600));
    EXPECT_EQ(s.NextEventMs(), 12000);
    EXPECT_TRUE(s.TakeDue(12000));
}

TEST(SearchSchedule, ASearchShorterThanOneStepIsTheCycleAlone) {
    SearchSchedule s(2000, 3000);
    EXPECT_FALSE(s.TakeDue(1999));
    EXPECT_EQ(s.NextEventMs(), 2000);
    SearchSchedule none(0, 3000);
    EXPECT_TRUE(none.Finished(0));
    EXPECT_FALSE(none.TakeDue(0));
}

// ---- Scan texts -------------------------------------------------------------------------

TEST(NeighbourTexts, TheScanSecurityCodesAndTheCatchAll) {
    EXPECT_EQ(NeighbourSecurityText(0), "None");
    EXPECT_EQ(NeighbourSecurityText(1), "WEP");
    EXPECT_EQ(NeighbourSecurityText(4), "WPA2-PSK/AES");
    EXPECT_EQ(NeighbourSecurityText(6), "WPA2-PSK/TKIP&AES");
    EXPECT_EQ(NeighbourSecurityText(9), "WPA/WPA2-PSK/TKIP&AES");
    EXPECT_EQ(NeighbourSecurityText(10), "WPA-PSK/TKIP&AES");
    EXPECT_EQ(NeighbourSecurityText(255), "WPA-PSK/TKIP&AES");
}

}  // namespace
}  // namespace kestrix
