// The operating system's adapters, read with getifaddrs.

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "link/adapter_list.h"
#include "link/adapters.h"

namespace kestrix {

namespace {

std::string AddressText(const sockaddr* sa) {
    if (sa == nullptr || sa->sa_family != AF_INET) return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) return {};
    return text;
}

// An IPv4 label such as "eth0:1" belongs to the interface "eth0": that is
// the name the capture library lists and the MAC is found under.
std::string InterfaceName(const char* label) {
    std::string name = label != nullptr ? label : "";
    auto colon = name.find(':');
    if (colon != std::string::npos) name.resize(colon);
    return name;
}

class SystemAdapterSource : public AdapterSource {
public:
    std::vector<AdapterRecord> Enumerate() override {
        ifaddrs* head = nullptr;
        if (::getifaddrs(&head) != 0) return {};
        std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(head, &::freeifaddrs);

        std::vector<AdapterRecord> records;
        auto recordFor = [&](const std::string& name) -> AdapterRecord& {
            auto it = std::find_if(records.begin(), records.end(),
                                   [&](const AdapterRecord& r) { return r.name == name; });
            if (it != records.end()) return *it;
            AdapterRecord record;
            record.name = name;
            record.description = name;
            // Until its link-layer address is seen.
            record.hasMac = false;
            records.push_back(std::move(record));
            return records.back();
        };

        for (ifaddrs* ifa = head; ifa != nullptr; ifa = ifa->ifa_next) {
            if (ifa->ifa_addr == nullptr) continue;
            if ((ifa->ifa_flags & IFF_UP) == 0 || (ifa->ifa_flags & IFF_LOOPBACK) != 0) continue;
            std::string name = InterfaceName(ifa->ifa_name);
            if (ifa->ifa_addr->sa_family == AF_PACKET) {
                const auto* ll = reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr);
                AdapterRecord& record = recordFor(name);
                if (ll->sll_halen == record.mac.size()) {
                    std::memcpy(record.mac.data(), ll->sll_addr, record.mac.size());
                    record.hasMac = true;
                }
            } else if (ifa->ifa_addr->sa_family == AF_INET) {
                AdapterAddress entry;
                entry.address = AddressText(ifa->ifa_addr);
                entry.mask = AddressText(ifa->ifa_netmask);
                // The third text is informative only. The kernel's broadcast
                // field is unreliable here (an address added without "brd"
                // reports itself), so it is derived from address and mask.
                if ((ifa->ifa_flags & IFF_BROADCAST) != 0) entry.third = DirectedBroadcast(entry);
                recordFor(name).entries.push_back(std::move(entry));
            }
        }
        // An interface without an IPv4 address cannot reach any device.
        records.erase(std::remove_if(records.begin(), records.end(),
                                     [](const AdapterRecord& r) { return r.entries.empty(); }),
                      records.end());
        return records;
    }
};

}  // namespace

std::shared_ptr<AdapterSource> MakeSystemAdapterSource() {
    return std::make_shared<SystemAdapterSource>();
}

}  // namespace kestrix
