#pragma once
// The fixture of the handler tests: a link that is not started, whose only
// adapter is loopback and whose store is in memory. Datagrams are fed to
// its handlers one by one; what it sends can be heard on loopback.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "tests/support/fake_link_store.h"
#include "tests/unit/link/link_test_util.h"

namespace kestrix::testing {

class LoopbackLink : public ::testing::Test {
protected:
    void SetUp() override {
        link_.SetStore(&store_);
        link_.SetAdapterSource(source_);
        std::vector<AdapterRecord> adapters;
        link_.GetLocalAdapters(adapters);
    }

    // One datagram from a device at `from`, as if it arrived on `port`.
    void Feed(uint16_t port, MsgType type, const std::string& mac, const std::string& from,
              const std::vector<uint8_t>& payload, uint16_t deviceType = 5) {
        auto d = DeviceMessage(type, mac, payload, deviceType);
        link_.ProcessDatagram(port, d.data(), d.size(), Addr(from), port);
    }
    std::optional<PresenceEntry> Entry(const std::string& mac) const {
        for (const auto& e : link_.PresenceSnapshot())
            if (e.mac == mac) return e;
        return std::nullopt;
    }

    FakeLinkStore store_;
    std::shared_ptr<FakeAdapterSource> source_ =
        std::make_shared<FakeAdapterSource>(std::vector<AdapterRecord>{LoopbackAdapter()});
    DeviceLink link_;
};

}  // namespace kestrix::testing
