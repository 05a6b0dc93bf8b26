#pragma once
// DeviceLink's inside, shared by the files that implement its parts (engine,
// discovery, commands, adapters). Not for use outside link/.
//
// Locks, and the only orders in which two are ever held together:
//   pending mutex -> adapter-list lock   (a retransmission pass resends; a
//                                         command is sent and registered
//                                         in one step)
//   presence lock -> adapter-list lock   (ReleaseAnnounced sends each Release
//                                         under the presence lock, so a
//                                         device cannot become informed
//                                         between the check and the send)
// The queue locks live inside PacketQueue and are never held with another.
// No store call is made while any of these is held.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "link/adapters.h"
#include "link/device_link.h"
#include "link/link_store.h"
#include "link/packet_queue.h"
#include "link/pending_list.h"
#include "link/presence_list.h"
#include "link/udp_socket.h"
#include "link/wire/wire_format.h"

namespace kestrix {

struct DeviceLink::Impl {
    // Receive channels: queue index, and the socket slot is index + 1.
    enum Channel : size_t { kAnnounceChannel = 0, kHeartbeatChannel = 1, kReplyChannel = 2 };
    enum Slot : size_t { kSearchSlot = 0, kAnnounceSlot = 1, kHeartbeatSlot = 2, kReplySlot = 3 };
    static constexpr std::array<uint16_t, 3> kChannelPorts = {kPortAnnounce, kPortHeartbeat,
                                                              kPortReply};
    static constexpr size_t kThreadCount = 8;

    Impl();

    // ---- engine (device_link.cpp)
    void ReceiverLoop(std::stop_token stop, size_t channel);
    void ProcessorLoop(std::stop_token stop, size_t channel);
    void TickerLoop(std::stop_token stop);
    void RetransmitterLoop(std::stop_token stop);
    // Sleeps for `ms` or until a stop is requested; false on a stop.
    bool Sleep(std::stop_token stop, int ms);
    void StopThreads(std::vector<std::chrono::microseconds>* times);
    // `saves`, when given, collects the device information to be saved
    // (the reply processor saves a batch in one go); without it every record
    // is saved at once.
    using SaveBatch = std::vector<ap_info_stu>;
    void Dispatch(size_t channel, const ReceivedPacket& packet, SaveBatch* saves = nullptr);
    void FlushSaves(SaveBatch& saves);
    LinkStore* Store() const { return store.load(std::memory_order_acquire); }

    // ---- discovery (discovery.cpp)
    void Search();
    void HandleAnnounce(const ReceivedPacket& packet);
    void HandleHeartbeat(const ReceivedPacket& packet);
    void HandleDeviceInfo(const ReceivedPacket& packet, SaveBatch* saves);
    // A stop request ends the store deletes early (the ticker at shutdown).
    void AgePresence(std::stop_token stop = {});
    void ReleaseAnnounced();
    void DropAnnounced();
    void ReconcileStore();
    void ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter, int limit);
    // Release to every presence entry, whatever its state (shutdown).
    void ReleaseAll();

    // ---- commands (commands.cpp)
    bool SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                      size_t length, const std::string& mac, bool registerRetry);
    // Sends one built message through every adapter whose subnet holds the
    // target; the result of the last transmission, false when none matched.
    bool Multicast(const std::string& target, uint16_t typeCode,
                   const std::vector<uint8_t>& message);
    void HandleReply(const ReceivedPacket& packet, SaveBatch* saves);
    void RetransmitPass(std::stop_token stop = {});
    void NoteNewAddress(const std::string& mac, const std::string& currentIp,
                        const std::string& newIp);

    // ---- adapters (adapters.cpp)
    void GetLocalAdapters(std::vector<AdapterRecord>& out);
    void RefreshCaptureDevices();
    bool SendArpAnnouncement(const ArpTarget& target);

    // Receive queues, one per receiver/processor pair.
    std::array<PacketQueue, 3> queues;

    mutable std::mutex presenceMutex;
    PresenceList presence;
    std::atomic<uint64_t> presenceRefused{0};

    // The adapter source and allow-list are read under the adapter-query lock.
    std::mutex adapterQueryMutex;
    std::shared_ptr<AdapterSource> adapterSource;
    std::vector<std::string> allowList;

    mutable std::mutex adapterListMutex;
    std::deque<AdapterAddress> adapterList;

    mutable std::mutex pendingMutex;
    PendingList pending;
    std::atomic<uint64_t> pendingRefused{0};

    std::atomic<LinkStore*> store{nullptr};

    // search 9786, announce 9785, heartbeat 9787, reply 9788. The search
    // socket is also written by Search, so its use and its closing share a
    // lock.
    std::array<UniqueFd, 4> sockets;
    std::mutex searchSocketMutex;
    // The heartbeat socket's descriptor while it may send commands, else -1.
    // Read and changed only under the adapter-list lock, so no send is
    // under way when the socket is replaced or closed.
    int commandSocket = -1;
    void SetCommandSocket(int fd) {
        std::lock_guard lock(adapterListMutex);
        commandSocket = fd;
    }

    // Every operation called from outside the link's threads passes this
    // gate. Shutdown closes it first (later calls do nothing and report
    // failure) and waits for the calls already inside before it closes the
    // sockets and empties the lists.
    class Gate {
    public:
        bool Enter() {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            ++inside_;
            return true;
        }
        void Leave() {
            std::lock_guard lock(mutex_);
            if (--inside_ == 0) left_.notify_all();
        }
        void Close() {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        void WaitEmpty() {
            std::unique_lock lock(mutex_);
            left_.wait(lock, [this] { return inside_ == 0; });
        }
        void Open() {
            std::lock_guard lock(mutex_);
            closed_ = false;
        }

    private:
        std::mutex mutex_;
        std::condition_variable left_;
        int inside_ = 0;
        bool closed_ = false;
    };
    Gate gate;
    // Holds the gate for one call; false (and nothing held) once closed.
    class Pass {
    public:
        explicit Pass(Gate& g) : gate_(g), entered_(g.Enter()) {}
        ~Pass() {
            if (entered_) gate_.Leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return entered_; }

    private:
        Gate& gate_;
        bool entered_;
    };

    // Test hook: runs in ReleaseAnnounced after the announced devices were
    // listed and before the first Release goes out.
    std::function<void()> releaseListedHook;

    std::array<std::jthread, kThreadCount> threads;
    std::mutex sleepMutex;
    std::condition_variable_any sleepWake;

    std::atomic<int> retryCount{3};
    std::atomic<int> retryIntervalMs{2000};
    std::atomic<int> presenceTickMs{DeviceLink::kPresenceTickMs};
    std::atomic<bool> scanComplete{false};
    std::atomic<uint16_t> failedPort{0};

    // Replaced by the search cycle's refresh, read by the searches.
    std::mutex captureMutex;
    std::vector<std::string> captureDevices;

    // Start and Shutdown.
    mutable std::mutex lifecycleMutex;
    bool shutDown = false;
    std::vector<std::chrono::microseconds> stopTimes;
};

}  // namespace kestrix
