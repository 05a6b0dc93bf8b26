#pragma once
// Device status codes. Replies and discovery write them into the store; the
// field texts give each its display text.

#include <cstdint>

namespace kestrix {

enum DeviceStatus : uint32_t {
    kStatusOffline = 0,
    kStatusOnline = 1,
    kStatusBridgeSuccess = 2,
    kStatusBridgeFail = 3,
    kStatusRestarting = 4,
    kStatusReseting = 5,
    kStatusUpgradeWait = 6,
    kStatusUpgrading = 7,
    kStatusUpgradeSuccess = 8,
    kStatusUpgradeFail = 9,
    kStatusAnnouncedOnly = 10,  // a record made from an announced-only device; no text
};

}  // namespace kestrix
