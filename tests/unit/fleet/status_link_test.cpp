// What the status page asks of the link and the store: the information
// request that follows a rename or a switch, and the application's link and
// store behind the page, which may be missing and must not invent records.

#include "fleet/status_link.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fleet/device_workers.h"
#include "fleet/search_cycle.h"
#include "tests/support/device_records.h"

namespace kestrix {
namespace {

class LastSend : public CommandSink {
public:
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry) override {
        ++sends;
        this->target = target;
        this->type = type;
        this->length = payload == nullptr ? 0 : length;
        this->mac = mac;
        retry = registerRetry;
        return true;
    }
    void NoteNewAddress(const std::string&, const std::string&, const std::string&) override {
        ++notes;
    }
    int sends = 0, notes = 0;
    std::string target, mac;
    MsgType type = MsgType::Announce;
    size_t length = 99;
    bool retry = false;
};

TEST(RequestDeviceInfo, AsksTheDeviceItselfAndIsRetransmitted) {
    LastSend sink;
    const SelectedDevice device{"10.0.0.7", "02:00:00:00:00:07", 10};
    const SentCommand c = RequestDeviceInfo(sink, device);
    EXPECT_TRUE(c.sent);
    EXPECT_EQ(c.type, MsgType::DeviceInfo);
    EXPECT_EQ(sink.sends, 1);
    EXPECT_EQ(sink.type, MsgType::DeviceInfo);
    EXPECT_EQ(sink.target, device.ip);
    EXPECT_EQ(sink.mac, device.mac);
    EXPECT_EQ(sink.length, 0u);
    EXPECT_TRUE(sink.retry);
    EXPECT_EQ(sink.notes, 0);
}

TEST(AppStatusLink, WithoutLinkOrStoreNothingGoesOutAndNothingIsFound) {
    AppStatusLink link(nullptr, nullptr);
    const uint8_t byte = 1;
    EXPECT_FALSE(
        link.SendToDevice("10.0.0.1", MsgType::SetName, &byte, 1, "02:00:00:00:00:01", true));
    link.NoteNewAddress("02:00:00:00:00:01", "10.0.0.1", "10.0.0.2");
    StartSearchCycle(link);
    ap_info_stu record;
    EXPECT_FALSE(link.GetDeviceByMac("02:00:00:00:00:01", record));
}

TEST(AppStatusLink, FindsOnlyADeviceTheStoreHolds) {
    testing::ScratchStore store;
    testing::DeviceFields f = testing::NthDevice(4);
    f.type = 10;
    f.bridgeTransparent = 1;
    ASSERT_TRUE(store.Add(f));
    ASSERT_TRUE(store.Add(testing::NthDevice(5)));
    AppStatusLink link(nullptr, &store.Store());

    ap_info_stu record;
    ASSERT_TRUE(link.GetDeviceByMac(f.mac, record));
    EXPECT_EQ(record.mac(), f.mac);
    EXPECT_EQ(record.ap_type(), 10);
    EXPECT_EQ(IpBytesToText(record.info().address().ip()), f.ip);
    EXPECT_EQ(SwitchState(SwitchKind::kTransparentBridge, record), 1);

    // The store's own look-up answers "ran" for a device it does not hold
    // (and gives its first row for an empty MAC): neither is a device here.
    EXPECT_FALSE(link.GetDeviceByMac("02:00:00:00:0f:0f", record));
    EXPECT_EQ(record.ap_type(), 0);
    EXPECT_FALSE(link.GetDeviceByMac("", record));
}

}  // namespace
}  // namespace kestrix
