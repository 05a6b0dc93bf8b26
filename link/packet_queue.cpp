#include "link/packet_queue.h"

#include <algorithm>
#include <cstring>

namespace kestrix {

void QueuedDatagram::Expand(ReceivedPacket& out) const {
    out.sender_addr = sender_addr;
    out.sender_port = sender_port;
    const size_t n = std::min(bytes.size(), out.area.size());
    out.size = static_cast<uint16_t>(n);
    if (n > 0) std::memcpy(out.area.data(), bytes.data(), n);
    std::memset(out.area.data() + n, 0, out.area.size() - n);
}

bool PacketQueue::Push(const ReceivedPacket& packet) {
    const size_t size = std::min<size_t>(packet.size, packet.area.size());
    const size_t cost = size + QueuedDatagram::kBookkeeping;
    {
        std::lock_guard lock(mutex_);
        if (heldPackets_ >= limit_ || heldBytes_ + cost > budget_) {
            ++dropped_;
            return false;
        }
        heldPackets_ += 1;
        heldBytes_ += cost;
        ++queued_;
    }
    // The copy is made outside the lock, so the processor's take is never
    // held up by an allocation.
    QueuedDatagram d;
    d.sender_addr = packet.sender_addr;
    d.sender_port = packet.sender_port;
    d.bytes.assign(packet.area.begin(), packet.area.begin() + static_cast<std::ptrdiff_t>(size));
    bool wake;
    {
        std::lock_guard lock(mutex_);
        // Only the empty-to-non-empty step needs a wake-up: a processor that
        // is awake takes everything that is queued when it next looks.
        wake = packets_.empty();
        packets_.push_back(std::move(d));
    }
    if (wake) ready_.notify_one();
    return true;
}

bool PacketQueue::WaitAndTakeAll(std::stop_token stop, std::deque<QueuedDatagram>& out) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait(lock, stop, [this] { return !paused_ && !packets_.empty(); })) return false;
    out.swap(packets_);
    packets_.clear();
    return true;
}

void PacketQueue::Release(size_t packets, size_t bytes) {
    std::lock_guard lock(mutex_);
    heldPackets_ -= std::min(packets, heldPackets_);
    heldBytes_ -= std::min(bytes, heldBytes_);
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

void PacketQueue::SetByteBudget(size_t bytes) {
    std::lock_guard lock(mutex_);
    budget_ = bytes;
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
    return heldPackets_;
}

size_t PacketQueue::bytesHeld() const {
    std::lock_guard lock(mutex_);
    return heldBytes_;
}

}  // namespace kestrix
