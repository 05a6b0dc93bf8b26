#pragma once
// Local adapters: the IPv4 addresses and masks that decide through which
// adapter a device is reached and where searches go, and the MAC and name
// used for the ARP frame of each search.

#include <memory>
#include <string>
#include <vector>

#include "link/wire/addr_text.h"

namespace kestrix {

// One IPv4 entry of an adapter: address text, mask text and a third text
// the program does not use.
struct AdapterAddress {
    std::string address;
    std::string mask;
    std::string third;
    bool operator==(const AdapterAddress&) const = default;
};

struct AdapterRecord {
    MacBytes mac{};
    // False for interfaces without a link-layer address (tun, WireGuard):
    // their `mac` is all zero, they are listed without a MAC and no ARP
    // frame is sent through them.
    bool hasMac = true;
    std::string description;
    std::string name;  // interface name, e.g. "eth0"
    std::vector<AdapterAddress> entries;
    bool operator==(const AdapterRecord&) const = default;
};

// What the link needs from the operating system. The real source walks
// getifaddrs (loopback and down interfaces left out); tests inject fakes.
class AdapterSource {
public:
    virtual ~AdapterSource() = default;
    virtual std::vector<AdapterRecord> Enumerate() = 0;
};

std::shared_ptr<AdapterSource> MakeSystemAdapterSource();

// Targets of one search, built from the adapters.
struct SearchTarget {
    std::string broadcast;  // directed broadcast address text
    MacBytes adapterMac{};
    std::string adapterIp;
};
struct ArpTarget {
    std::string adapterIp;
    MacBytes adapterMac{};
    std::string adapterName;
    bool hasMac = true;
};

// The adapter's MAC as listed to the operator: empty when it has none.
inline std::string AdapterMacText(const AdapterRecord& adapter) {
    return adapter.hasMac ? MacBytesToText(adapter.mac) : std::string();
}

}  // namespace kestrix
