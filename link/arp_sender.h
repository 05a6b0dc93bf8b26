#pragma once
// The raw ARP request frame sent once per adapter at every search, and the
// packet-capture calls that put it on the wire.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/adapters.h"

namespace kestrix {

inline constexpr size_t kArpFrameSize = 60;
using ArpFrame = std::array<uint8_t, kArpFrameSize>;

// A broadcast ARP request from the adapter for its own address (sender and
// target IPv4 are the same), padded with zeros to the minimum Ethernet frame.
ArpFrame BuildArpFrame(const MacBytes& adapterMac, const std::string& adapterIp);

// The names of the capture devices the capture library lists now, in its
// order; empty when it lists none or fails.
std::vector<std::string> ListCaptureDevices();

// The capture device for an adapter: the one whose name is the adapter's
// name; when none is, the first whose name contains it. Null when no name
// matches (or the adapter has no name).
const std::string* CaptureDeviceFor(const std::vector<std::string>& captureDevices,
                                    const std::string& adapterName);

// Sends the frame for `target` through its capture device. False when the
// adapter has no link-layer address, no device matches, the device cannot be
// opened (for example without CAP_NET_RAW) or the send fails.
bool SendArpFrame(const std::vector<std::string>& captureDevices, const ArpTarget& target);

}  // namespace kestrix
