#pragma once
// The simulator's sockets: one receive socket per port for the whole fleet
// (search broadcasts on 9786, the command group on 9787), and a sender thread
// that puts every answer on the wire from its device's own address through
// IP_PKTINFO, so the receive loop never waits for a full send queue.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <queue>

#include "tools/devsim/simulator.h"

namespace kestrix::devsim {

// One line per datagram, to a file or stderr; shared by the receive loop and
// the sender thread.
class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    bool Open(const std::string& path, std::string& err);  // "-" is stderr
    bool enabled() const { return file_ != nullptr; }
    void Rx(int64_t ms, uint16_t port, const Ipv4Bytes& from, uint16_t fromPort,
            const uint8_t* data, size_t size, const RxVerdict& v);
    void Tx(int64_t ms, const Outgoing& o, const char* what, int err = 0);
    void Note(int64_t ms, const std::string& text);

private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
    bool owned_ = false;
};

int64_t NowMs();  // steady clock

// Interface indexes to join the command group on: the named ones, or every
// up, multicast-capable, non-loopback interface with an IPv4 address.
bool ResolveInterfaces(const std::vector<std::string>& names, std::vector<int>& indexes,
                       std::vector<std::string>& used, std::string& err);

// A non-blocking UDP socket on 0.0.0.0:port, broadcast on, big buffers,
// allowed to send from any address (IP_TRANSPARENT, so a device moved by
// SetAddress answers from its new address), joined to the command group on
// `joinIndexes`.
int OpenFleetSocket(uint16_t port, const std::vector<int>& joinIndexes, std::string& err);

class Sender {
public:
    Sender(int searchFd, int commandFd, Trace& trace, int txRate);
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // Takes the datagrams out of `batch` (lost ones are only traced).
    void Submit(std::vector<Outgoing>& batch);
    // Stops the thread; datagrams still waiting for their delay are dropped.
    void Stop();
    uint64_t sent() const;
    uint64_t errors() const;

private:
    struct Later {
        bool operator()(const Outgoing& a, const Outgoing& b) const { return a.due_ms > b.due_ms; }
    };
    void Run(std::stop_token stop);
    void SendBatch(std::vector<Outgoing>& batch);

    int searchFd_;
    int commandFd_;
    Trace& trace_;
    int txRate_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<Outgoing> ready_;
    std::priority_queue<Outgoing, std::vector<Outgoing>, Later> delayed_;
    uint64_t submits_ = 0;
    uint64_t sent_ = 0;
    uint64_t errors_ = 0;
    std::jthread thread_;
};

}  // namespace kestrix::devsim
