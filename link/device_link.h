#pragma once
// DeviceLink: the one object through which the program talks to devices.
//
// This header is the contract the front ends (desktop application, CLI) and
// the pages code against. The implementation may add private members and
// test hooks, but the operations below keep their names and meanings.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/adapters.h"
#include "link/link_store.h"
#include "link/pending_list.h"
#include "link/presence_list.h"
#include "link/wire/wire_format.h"

namespace kestrix {

class DeviceLink {
public:
    // The process-wide link, built on first use, shut down at process exit.
    static DeviceLink& Instance();

    // Tests build their own links.
    DeviceLink();
    ~DeviceLink();  // Shutdown()
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Wiring done by the application before Start.
    void SetStore(LinkStore* store);
    void SetAdapterSource(std::shared_ptr<AdapterSource> source);
    // Interface names the link may use; empty means every adapter.
    void SetAdapterAllowList(std::vector<std::string> names);

    // Opens the four sockets, starts the eight threads, reads the adapters.
    bool Start(int retryCount, int retryIntervalMs);
    // The port whose socket could not be opened by the last Start (0 when
    // none failed), so the application can tell the operator.
    uint16_t FailedPort() const;
    // Stops the threads, closes the sockets and sends Release to every
    // device still tracked. Idempotent; also run by the destructor. Once it
    // has begun, every operation below does nothing (SendToDevice returns
    // false, the lists come back empty); calls already under way finish
    // first.
    void Shutdown();

    // Discovery (the status page's cycle is RefreshCaptureDevices,
    // ReleaseAnnounced, DropAnnounced, ReconcileStore, Search).
    void Search();
    void ReleaseAnnounced();
    void DropAnnounced();
    void ReconcileStore();
    void RefreshCaptureDevices();
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter, int limit);

    // Commands.
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry);
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp);
    bool IsScanComplete() const;

    // Adapters.
    void GetLocalAdapters(std::vector<AdapterRecord>& out);
    bool SendArpAnnouncement(const ArpTarget& target);

    // ---- Limits, counters and test hooks (the application needs none) ----

    // Each receive queue holds at most this many packets and this many bytes
    // (the bytes that arrived plus a little bookkeeping each, counted until
    // the packet is handled); a flood beyond either is dropped and counted.
    // The presence list and the pending-command list hold at most this many
    // entries each.
    static constexpr size_t kQueueLimit = 65536;
    static constexpr size_t kQueueByteBudget = size_t{16} << 20;
    static constexpr size_t kPresenceLimit = 65536;
    static constexpr size_t kPendingLimit = 65536;
    static constexpr int kPresenceTickMs = 10000;

    struct Counters {
        // Index 0 announce (9785), 1 heartbeat (9787), 2 reply (9788).
        uint64_t queued[3] = {};
        uint64_t dropped[3] = {};      // refused because the queue held its limit or budget
        uint64_t presenceRefused = 0;  // new devices not recorded: list full
        uint64_t pendingRefused = 0;   // commands not registered: list full
    };
    Counters GetCounters() const;

    // Before Start: the queue limits and the presence ticker's interval.
    void SetQueueLimit(size_t packets);
    void SetQueueByteBudget(size_t bytes);
    void SetPresenceTickMs(int ms);
    // While paused the processors leave their queues alone.
    void PauseProcessors(bool paused);

    // Runs one datagram through acceptance and the handler of the port it
    // arrived on, on the calling thread, as a processor would.
    void ProcessDatagram(uint16_t localPort, const uint8_t* data, size_t size, uint32_t senderAddr,
                         uint16_t senderPort);
    // Runs inside ReleaseAnnounced between listing the announced devices and
    // sending the first Release (before Start; tests of that window).
    void SetReleaseListedHook(std::function<void()> hook);

    // One pass of the presence ticker and of the retransmitter.
    void AgePresence();
    void RetransmitPending();

    std::vector<PresenceEntry> PresenceSnapshot() const;
    std::vector<PendingCommand> PendingSnapshot() const;
    // How long the last Shutdown waited for each of the eight threads, in
    // the order they are started; empty before a Shutdown of a started link.
    std::vector<std::chrono::microseconds> LastStopTimes() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrix
