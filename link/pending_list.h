#pragma once
// Commands awaiting their reply, oldest first. Kept by DeviceLink under its
// pending mutex; this class itself does no locking.
//
// A reply removes the oldest command with the same target, type and MAC.
// That lookup is indexed because every device of a large fleet has its
// DeviceInfo request pending at once after a search.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrix {

struct PendingCommand {
    int retriesLeft = 0;
    std::string target;  // device address text the command was sent to
    uint16_t type = 0;
    std::vector<uint8_t> payload;
    std::string mac;  // lower-case text
};

class PendingList {
public:
    size_t size() const { return commands_.size(); }

    void Register(PendingCommand command);

    // Removes the oldest command matching all three; false when none did.
    bool Acknowledge(const std::string& target, uint16_t type, const std::string& mac);

    // One retransmission pass: a command with no retries left is removed;
    // every other has one retry taken and is handed to `resend` in list
    // order. When `stopped` turns true the pass ends there, leaving the
    // commands not yet reached as they were.
    template <class F, class S>
    void RetransmitPass(F&& resend, S&& stopped) {
        for (auto it = commands_.begin(); it != commands_.end();) {
            if (stopped()) return;
            if (it->retriesLeft <= 0) {
                it = Erase(it);
                continue;
            }
            --it->retriesLeft;
            resend(static_cast<const PendingCommand&>(*it));
            ++it;
        }
    }

    std::vector<PendingCommand> Snapshot() const { return {commands_.begin(), commands_.end()}; }
    void Clear();

private:
    using Iter = std::list<PendingCommand>::iterator;
    static std::string KeyOf(const std::string& target, uint16_t type, const std::string& mac);
    Iter Erase(Iter it);

    std::list<PendingCommand> commands_;
    // Per key, the commands in registration order.
    std::unordered_map<std::string, std::deque<Iter>> byKey_;
};

}  // namespace kestrix
