#include "link/presence_list.h"

#include <algorithm>

namespace kestrix {

PresenceList::Node* PresenceList::NodeOf(const PresenceEntry& entry) const {
    auto it = byMac_.find(entry.mac);
    return it == byMac_.end() ? nullptr : it->second;
}

PresenceEntry* PresenceList::FindByMac(const std::string& mac) {
    auto it = byMac_.find(mac);
    return it == byMac_.end() ? nullptr : &it->second->entry;
}

PresenceEntry* PresenceList::FindLastInformedAt(const std::string& ip) {
    auto it = informedByIp_.find(ip);
    if (it == informedByIp_.end() || it->second.empty()) return nullptr;
    Node* last = *std::max_element(it->second.begin(), it->second.end(),
                                   [](const Node* a, const Node* b) { return a->seq < b->seq; });
    return &last->entry;
}

bool PresenceList::InformedElsewhere(const std::string& ip, const std::string& mac) const {
    auto it = informedByIp_.find(ip);
    if (it == informedByIp_.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(),
                       [&](const Node* n) { return n->entry.mac != mac; });
}

PresenceEntry& PresenceList::Append(PresenceEntry entry) {
    auto node = std::make_unique<Node>();
    node->entry = std::move(entry);
    node->seq = nextSeq_++;
    Node* raw = node.get();
    entries_.push_back(std::move(node));
    byMac_[raw->entry.mac] = raw;
    if (raw->entry.state == PresenceState::Informed) IndexInformed(raw);
    return raw->entry;
}

void PresenceList::IndexInformed(Node* node) {
    informedByIp_[node->entry.ip].push_back(node);
}

void PresenceList::UnindexInformed(Node* node) {
    auto it = informedByIp_.find(node->entry.ip);
    if (it == informedByIp_.end()) return;
    auto& nodes = it->second;
    nodes.erase(std::remove(nodes.begin(), nodes.end(), node), nodes.end());
    if (nodes.empty()) informedByIp_.erase(it);
}

void PresenceList::SetIp(PresenceEntry& entry, std::string ip) {
    Node* node = NodeOf(entry);
    bool indexed = node != nullptr && entry.state == PresenceState::Informed;
    if (indexed) UnindexInformed(node);
    entry.ip = std::move(ip);
    if (indexed) IndexInformed(node);
}

void PresenceList::SetState(PresenceEntry& entry, PresenceState state) {
    Node* node = NodeOf(entry);
    if (node == nullptr || entry.state == state) {
        entry.state = state;
        return;
    }
    if (entry.state == PresenceState::Informed) UnindexInformed(node);
    entry.state = state;
    if (state == PresenceState::Informed) IndexInformed(node);
}

std::vector<std::string> PresenceList::RemoveIf(const std::function<bool(PresenceEntry&)>& remove) {
    std::vector<std::string> removed;
    auto keep = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        Node* node = it->get();
        if (remove(node->entry)) {
            if (node->entry.state == PresenceState::Informed) UnindexInformed(node);
            byMac_.erase(node->entry.mac);
            removed.push_back(node->entry.mac);
        } else {
            if (keep != it) *keep = std::move(*it);
            ++keep;
        }
    }
    entries_.erase(keep, entries_.end());
    return removed;
}

void PresenceList::Clear() {
    entries_.clear();
    byMac_.clear();
    informedByIp_.clear();
}

}  // namespace kestrix
