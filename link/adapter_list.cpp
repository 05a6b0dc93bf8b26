#include "link/adapter_list.h"

#include <algorithm>
#include <unordered_set>

namespace kestrix {

namespace {

constexpr const char* kNoAddress = "0.0.0.0";

bool Usable(const std::string& text) {
    return !text.empty() && text != kNoAddress;
}

}  // namespace

std::vector<AdapterRecord> UsableAdapters(std::vector<AdapterRecord> records,
                                          const std::vector<std::string>& allowList) {
    std::vector<AdapterRecord> out;
    for (auto& record : records) {
        if (record.entries.empty() || record.entries.front().address == kNoAddress) continue;
        if (!allowList.empty() &&
            std::find(allowList.begin(), allowList.end(), record.name) == allowList.end())
            continue;
        out.push_back(std::move(record));
    }
    return out;
}

void RebuildAdapterList(std::deque<AdapterAddress>& list,
                        const std::vector<AdapterRecord>& records) {
    std::unordered_set<std::string> present;
    for (const auto& record : records)
        for (const auto& entry : record.entries) present.insert(entry.address);

    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const AdapterAddress& a) { return !present.count(a.address); }),
               list.end());

    // Appends are checked against the list as it stood after the removal:
    // an address held by two adapters is listed once per adapter.
    std::unordered_set<std::string> kept;
    for (const auto& a : list) kept.insert(a.address);
    for (const auto& record : records)
        for (const auto& entry : record.entries)
            if (!kept.count(entry.address)) list.push_back(entry);
}

bool AdapterReaches(const AdapterAddress& entry, const std::string& target) {
    if (!Usable(entry.address) || !Usable(entry.mask) || !Usable(target)) return false;
    Ipv4Bytes address = IpTextToBytes(entry.address);
    Ipv4Bytes mask = IpTextToBytes(entry.mask);
    Ipv4Bytes device = IpTextToBytes(target);
    for (size_t i = 0; i < 4; ++i)
        if ((address[i] & mask[i]) != (device[i] & mask[i])) return false;
    return true;
}

std::string DirectedBroadcast(const AdapterAddress& entry) {
    if (!Usable(entry.address) || !Usable(entry.mask)) return {};
    Ipv4Bytes address = IpTextToBytes(entry.address);
    Ipv4Bytes mask = IpTextToBytes(entry.mask);
    Ipv4Bytes broadcast;
    for (size_t i = 0; i < 4; ++i)
        broadcast[i] = static_cast<uint8_t>(address[i] | static_cast<uint8_t>(~mask[i]));
    return IpBytesToText(broadcast);
}

void BuildSearchTargets(const std::vector<AdapterRecord>& adapters,
                        std::vector<SearchTarget>& searchTargets,
                        std::vector<ArpTarget>& arpTargets) {
    searchTargets.clear();
    arpTargets.clear();
    for (const auto& adapter : adapters) {
        for (const auto& entry : adapter.entries) {
            std::string broadcast = DirectedBroadcast(entry);
            if (broadcast.empty()) continue;
            bool seen =
                std::any_of(searchTargets.begin(), searchTargets.end(), [&](const SearchTarget& t) {
                    return t.broadcast == broadcast && t.adapterMac == adapter.mac;
                });
            if (seen) continue;
            searchTargets.push_back({broadcast, adapter.mac, entry.address});
            arpTargets.push_back({entry.address, adapter.mac, adapter.name, adapter.hasMac});
        }
    }
}

}  // namespace kestrix
