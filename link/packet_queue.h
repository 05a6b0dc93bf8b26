#pragma once
// A receive queue between one receiver thread and one processor thread.
//
// The queue is bounded: a flood of datagrams that the processor cannot keep
// up with would otherwise grow it until the process runs out of memory.
// Packets beyond the limit are dropped and counted, the same fate an
// overfull socket buffer gives them one layer down.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stop_token>

#include "link/wire/wire_format.h"

namespace kestrix {

class PacketQueue {
public:
    static constexpr size_t kDefaultLimit = 65536;

    explicit PacketQueue(size_t limit = kDefaultLimit) : limit_(limit) {}

    // Appends the packet unless the queue already holds its limit; wakes the
    // processor. Returns false when the packet was dropped.
    bool Push(const ReceivedPacket& packet);

    // Waits until packets are queued (and the queue is not paused), then
    // moves all of them to `out` in one locked step so the receiver is never
    // held up by the handlers. Returns false when a stop was requested.
    bool WaitAndTakeAll(std::stop_token stop, std::deque<ReceivedPacket>& out);

    // Wakes a waiting processor so it can notice its stop request.
    void Wake();

    void SetLimit(size_t limit);
    // Test hook: while paused the processor does not take packets, so a test
    // can fill the queue to its limit deterministically.
    void SetPaused(bool paused);

    uint64_t queued() const;
    uint64_t dropped() const;
    size_t size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable_any ready_;
    std::deque<ReceivedPacket> packets_;
    size_t limit_;
    bool paused_ = false;
    uint64_t queued_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace kestrix
