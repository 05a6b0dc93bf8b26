#pragma once
// The rules that turn the local adapters into the link's adapter address
// list and into search targets. Pure functions, so each rule is tested on
// its own.

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/adapters.h"

namespace kestrix {

// Keeps the adapters the link may use: at least one IPv4 entry whose first
// address is not "0.0.0.0" (an adapter still waiting for its address is left
// out even when it has further entries), and, when the allow-list is not
// empty, only those named in it.
std::vector<AdapterRecord> UsableAdapters(std::vector<AdapterRecord> records,
                                          const std::vector<std::string>& allowList);

// Rebuilds the address list from the adapters just read: addresses found on
// no adapter any more are removed (the others keep their order), then every
// entry whose address the list did not hold after that removal is appended.
// An address that moves to another adapter, or whose mask changes, keeps its
// place and its first-listed mask until it disappears from every adapter.
void RebuildAdapterList(std::deque<AdapterAddress>& list,
                        const std::vector<AdapterRecord>& records);

// True when the entry has an address and a mask and the target lies in its
// subnet, i.e. a multicast through this adapter can reach the target.
bool AdapterReaches(const AdapterAddress& entry, const std::string& target);

// The directed broadcast address (address OR NOT mask) of an entry, or an
// empty text when the entry has no usable address or mask.
std::string DirectedBroadcast(const AdapterAddress& entry);

// One search target per distinct (broadcast address, adapter MAC), in
// adapter and entry order, with the matching ARP target at the same index.
void BuildSearchTargets(const std::vector<AdapterRecord>& adapters,
                        std::vector<SearchTarget>& searchTargets,
                        std::vector<ArpTarget>& arpTargets);

}  // namespace kestrix
