#pragma once
// The devices currently heard on the network, in the order they were first
// heard. Kept by DeviceLink under its presence lock; this class itself does
// no locking.
//
// Lookups by MAC and by the address of an informed device are indexed: a
// fleet of thousands of devices that announce themselves at every search
// would otherwise make each announcement walk the whole list.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrix {

enum class PresenceState : uint8_t {
    Announced = 1,  // an Announce was heard
    Informed = 2,   // its DeviceInfo arrived
};

// Announce and Heartbeat reset the countdown to this; the ticker takes one
// off per pass from informed entries and removes them at zero.
inline constexpr uint8_t kPresenceCountdown = 3;

struct PresenceEntry {
    std::string ip;
    std::string newIp;  // address a pending SetAddress will give it
    std::string mac;    // lower-case text; the key
    uint16_t deviceType = 0;
    PresenceState state = PresenceState::Announced;
    uint8_t countdown = 0;
    uint32_t uptime = 0;
    std::string version;
    uint8_t workMode = 0;
    uint8_t modeBtnStatus = 0;
    std::string name;
    std::string ssid;
    uint8_t channel = 0;
    uint8_t bridgeTransparent = 0;
    uint8_t pxsync = 0;
};

class PresenceList {
public:
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // MACs are unique in the list: an Announce for a known MAC refreshes the
    // existing entry instead of adding one.
    PresenceEntry* FindByMac(const std::string& mac);
    // The last entry (in list order) in state informed at this address.
    PresenceEntry* FindLastInformedAt(const std::string& ip);
    // True when an informed entry with a different MAC holds this address.
    bool InformedElsewhere(const std::string& ip, const std::string& mac) const;

    // Appends; the MAC must not be in the list yet.
    PresenceEntry& Append(PresenceEntry entry);

    // The address and the state feed the index of informed entries, so they
    // change only through these two.
    void SetIp(PresenceEntry& entry, std::string ip);
    void SetState(PresenceEntry& entry, PresenceState state);

    // Removes every entry the predicate selects (list order kept for the
    // others) and returns the MACs removed, in list order.
    std::vector<std::string> RemoveIf(const std::function<bool(PresenceEntry&)>& remove);

    // Visits every entry in list order.
    template <class F>
    void ForEach(F&& visit) {
        for (auto& node : entries_) visit(node->entry);
    }
    template <class F>
    void ForEach(F&& visit) const {
        for (const auto& node : entries_) visit(static_cast<const PresenceEntry&>(node->entry));
    }

    void Clear();

private:
    struct Node {
        PresenceEntry entry;
        uint64_t seq = 0;  // append order, to find the last of several matches
    };
    // The MAC of an entry never changes, so it leads back to its node.
    Node* NodeOf(const PresenceEntry& entry) const;
    void IndexInformed(Node* node);
    void UnindexInformed(Node* node);

    std::vector<std::unique_ptr<Node>> entries_;
    std::unordered_map<std::string, Node*> byMac_;
    std::unordered_map<std::string, std::vector<Node*>> informedByIp_;
    uint64_t nextSeq_ = 0;
};

}  // namespace kestrix
