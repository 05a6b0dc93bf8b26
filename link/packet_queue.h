#pragma once
// A receive queue between one receiver thread and one processor thread.
//
// The queue is bounded twice: by a number of datagrams and by a byte budget.
// Each queued datagram keeps only the bytes that arrived, and its bytes stay
// charged to the budget until the processor has handled it, so one queue
// never holds more than its budget however its processor is doing -- a flood
// from any host on the segment costs a bounded few megabytes. Datagrams
// beyond either bound are dropped and counted, the same fate an overfull
// socket buffer gives them one layer down.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>
#include <vector>

#include "link/wire/wire_format.h"

namespace kestrix {

// A datagram as it waits in a queue: the sender and the bytes that arrived.
struct QueuedDatagram {
    uint32_t sender_addr = 0;  // network byte order
    uint16_t sender_port = 0;  // host byte order
    std::vector<uint8_t> bytes;

    // What the budget is charged for it: its bytes and its bookkeeping.
    size_t Cost() const { return bytes.size() + kBookkeeping; }
    // The packet the handlers read: the bytes in a zeroed full-size area.
    void Expand(ReceivedPacket& out) const;

    static constexpr size_t kBookkeeping = 64;
};

class PacketQueue {
public:
    static constexpr size_t kDefaultLimit = 65536;
    static constexpr size_t kDefaultByteBudget = size_t{16} << 20;

    explicit PacketQueue(size_t limit = kDefaultLimit, size_t byteBudget = kDefaultByteBudget)
        : limit_(limit), budget_(byteBudget) {}

    // Queues the bytes that arrived unless that would pass the limit or the
    // budget; wakes the processor. Returns false when the packet was dropped.
    bool Push(const ReceivedPacket& packet);

    // Waits until packets are queued (and the queue is not paused), then
    // moves all of them to `out` in one locked step so the receiver is never
    // held up by the handlers. They stay charged until Release. Returns false
    // when a stop was requested.
    bool WaitAndTakeAll(std::stop_token stop, std::deque<QueuedDatagram>& out);
    // The processor has handled `packets` datagrams costing `bytes`.
    void Release(size_t packets, size_t bytes);

    // Wakes a waiting processor so it can notice its stop request.
    void Wake();

    void SetLimit(size_t limit);
    void SetByteBudget(size_t bytes);
    // Test hook: while paused the processor does not take packets, so a test
    // can fill the queue to its limit deterministically.
    void SetPaused(bool paused);

    uint64_t queued() const;
    uint64_t dropped() const;
    // Datagrams and bytes held: queued or taken and not yet released.
    size_t size() const;
    size_t bytesHeld() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable_any ready_;
    std::deque<QueuedDatagram> packets_;
    size_t limit_;
    size_t budget_;
    size_t heldPackets_ = 0;
    size_t heldBytes_ = 0;
    bool paused_ = false;
    uint64_t queued_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace kestrix
