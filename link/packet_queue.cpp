#include "link/packet_queue.h"

namespace kestrix {

bool PacketQueue::Push(const ReceivedPacket& packet) {
    bool wake;
    {
        std::lock_guard lock(mutex_);
        if (packets_.size() >= limit_) {
            ++dropped_;
            return false;
        }
        // Only the empty-to-non-empty step needs a wake-up: a processor that
        // is awake takes everything that is queued when it next looks.
        wake = packets_.empty();
        packets_.push_back(packet);
        ++queued_;
    }
    if (wake) ready_.notify_one();
    return true;
}

bool PacketQueue::WaitAndTakeAll(std::stop_token stop, std::deque<ReceivedPacket>& out) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait(lock, stop, [this] { return !paused_ && !packets_.empty(); })) return false;
    out.swap(packets_);
    packets_.clear();
    return true;
}

void PacketQueue::Wake() {
    // Taking the lock orders the wake after a waiter's predicate check.
    { std::lock_guard lock(mutex_); }
    ready_.notify_all();
}

void PacketQueue::SetLimit(size_t limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
}

void PacketQueue::SetPaused(bool paused) {
    {
        std::lock_guard lock(mutex_);
        paused_ = paused;
    }
    ready_.notify_all();
}

uint64_t PacketQueue::queued() const {
    std::lock_guard lock(mutex_);
    return queued_;
}

uint64_t PacketQueue::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

size_t PacketQueue::size() const {
    std::lock_guard lock(mutex_);
    return packets_.size();
}

}  // namespace kestrix
