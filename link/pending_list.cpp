#include "link/pending_list.h"

#include <algorithm>

namespace kestrix {

std::string PendingList::KeyOf(const std::string& target, uint16_t type, const std::string& mac) {
    // Length-prefixed, so no text can make two different triples collide.
    std::string key = std::to_string(type);
    key.push_back(':');
    key.append(std::to_string(target.size())).push_back(':');
    key.append(target);
    key.append(mac);
    return key;
}

void PendingList::Register(PendingCommand command) {
    std::string key = KeyOf(command.target, command.type, command.mac);
    commands_.push_back(std::move(command));
    byKey_[key].push_back(std::prev(commands_.end()));
}

bool PendingList::Acknowledge(const std::string& target, uint16_t type, const std::string& mac) {
    auto found = byKey_.find(KeyOf(target, type, mac));
    if (found == byKey_.end()) return false;
    Iter oldest = found->second.front();
    found->second.pop_front();
    if (found->second.empty()) byKey_.erase(found);
    commands_.erase(oldest);
    return true;
}

PendingList::Iter PendingList::Erase(Iter it) {
    auto found = byKey_.find(KeyOf(it->target, it->type, it->mac));
    if (found != byKey_.end()) {
        auto& iters = found->second;
        auto pos = std::find(iters.begin(), iters.end(), it);
        if (pos != iters.end()) iters.erase(pos);
        if (iters.empty()) byKey_.erase(found);
    }
    return commands_.erase(it);
}

void PendingList::Clear() {
    commands_.clear();
    byKey_.clear();
}

}  // namespace kestrix
