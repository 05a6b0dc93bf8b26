// DeviceLink's engine: construction, start-up, the eight threads, the
// receive queues and shutdown. Discovery, commands and adapters live in
// files of their own.

#include "link/device_link.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <utility>

#include "link/device_link_impl.h"

namespace kestrix {

using Impl = DeviceLink::Impl;

static_assert(DeviceLink::kQueueLimit == PacketQueue::kDefaultLimit &&
                  DeviceLink::kQueueByteBudget == PacketQueue::kDefaultByteBudget,
              "the queues start with the limits the link advertises");

Impl::Impl() : adapterSource(MakeSystemAdapterSource()) {}

// ---------------------------------------------------------------------------
// Threads

void Impl::ReceiverLoop(std::stop_token stop, size_t channel) {
    const int fd = sockets[channel + 1].get();
    if (fd < 0) return;
    const uint16_t port = kChannelPorts[channel];
    std::array<uint8_t, kMaxDatagram> buffer;
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC reports a datagram's real size even when it did not fit,
        // so an oversized one is dropped instead of being read cut short.
        ssize_t size = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (stop.stop_requested()) return;
        if (size < 0) {
            // Only a descriptor that is no longer a socket can fail for good;
            // every other error is a datagram that did not arrive.
            if (errno == EBADF || errno == ENOTSOCK) return;
            continue;
        }
        auto packet = AcceptDatagram(buffer.data(), static_cast<size_t>(size), port,
                                     from.sin_addr.s_addr, ntohs(from.sin_port));
        if (packet) queues[channel].Push(*packet);
    }
}

void Impl::ProcessorLoop(std::stop_token stop, size_t channel) {
    PacketQueue& queue = queues[channel];
    std::deque<QueuedDatagram> batch;
    ReceivedPacket packet;
    // The reply processor saves the device information of a batch together:
    // a store commit costs as much as writing the row.
    SaveBatch saves;
    SaveBatch* const batchSaves = channel == kReplyChannel ? &saves : nullptr;
    while (!stop.stop_requested()) {
        batch.clear();
        if (!queue.WaitAndTakeAll(stop, batch)) return;
        // Handled datagrams give their bytes back to the budget as the batch
        // goes, so a long batch does not shut the queue for its whole length.
        constexpr size_t kReleaseEvery = 256;
        size_t handled = 0;
        size_t bytes = 0;
        for (auto& d : batch) {
            if (stop.stop_requested()) break;
            d.Expand(packet);
            Dispatch(channel, packet, batchSaves);
            bytes += d.Cost();
            std::vector<uint8_t>().swap(d.bytes);
            if (++handled == kReleaseEvery) {
                queue.Release(handled, bytes);
                handled = bytes = 0;
                FlushSaves(saves);
            }
        }
        queue.Release(handled, bytes);
        // What was accepted is saved, a stop notwithstanding.
        FlushSaves(saves);
    }
}

void Impl::FlushSaves(SaveBatch& saves) {
    if (saves.empty()) return;
    if (LinkStore* s = Store()) s->SaveDeviceInfos(saves);
    saves.clear();
}

void Impl::Dispatch(size_t channel, const ReceivedPacket& packet, SaveBatch* saves) {
    switch (channel) {
        case kAnnounceChannel:
            HandleAnnounce(packet);
            break;
        case kHeartbeatChannel:
            HandleHeartbeat(packet);
            break;
        default:
            HandleReply(packet, saves);
            break;
    }
}

bool Impl::Sleep(std::stop_token stop, int ms) {
    // An interval of zero or less from the settings file would turn the
    // loop into a spin; one millisecond is the shortest pause taken.
    if (ms < 1) ms = 1;
    std::unique_lock lock(sleepMutex);
    sleepWake.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
    return !stop.stop_requested();
}

void Impl::TickerLoop(std::stop_token stop) {
    while (Sleep(stop, presenceTickMs.load())) AgePresence(stop);
}

void Impl::RetransmitterLoop(std::stop_token stop) {
    while (Sleep(stop, retryIntervalMs.load())) RetransmitPass(stop);
}

void Impl::StopThreads(std::vector<std::chrono::microseconds>* times) {
    bool any = false;
    for (auto& t : threads) {
        if (t.joinable()) {
            t.request_stop();
            any = true;
        }
    }
    if (!any) return;
    // Processors and sleepers wake on their stop requests; receivers blocked
    // in recvfrom wake when their socket is shut down for reading. Sending
    // stays possible: the heartbeat socket still carries the Releases of
    // shutdown.
    for (auto& q : queues) q.Wake();
    for (size_t slot = kAnnounceSlot; slot <= kReplySlot; ++slot)
        if (sockets[slot].valid()) ::shutdown(sockets[slot].get(), SHUT_RD);
    for (auto& t : threads) {
        if (!t.joinable()) continue;
        auto begun = std::chrono::steady_clock::now();
        t.join();
        if (times != nullptr)
            times->push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - begun));
    }
}

// ---------------------------------------------------------------------------
// DeviceLink

DeviceLink& DeviceLink::Instance() {
    // Shut down at process exit but never freed: a page worker that is still
    // running while the process ends finds a closed link (every call does
    // nothing and reports failure) instead of freed memory.
    static DeviceLink* const link = new DeviceLink();
    static const struct Closer {
        ~Closer() { link->Shutdown(); }
    } closer;
    return *link;
}

DeviceLink::DeviceLink() : impl_(std::make_unique<Impl>()) {}

DeviceLink::~DeviceLink() {
    Shutdown();
}

void DeviceLink::SetStore(LinkStore* store) {
    impl_->store.store(store);
}

void DeviceLink::SetAdapterSource(std::shared_ptr<AdapterSource> source) {
    std::lock_guard lock(impl_->adapterQueryMutex);
    impl_->adapterSource = std::move(source);
}

void DeviceLink::SetAdapterAllowList(std::vector<std::string> names) {
    std::lock_guard lock(impl_->adapterQueryMutex);
    impl_->allowList = std::move(names);
}

bool DeviceLink::Start(int retryCount, int retryIntervalMs) {
    Impl& d = *impl_;
    std::lock_guard lifecycle(d.lifecycleMutex);
    d.shutDown = false;
    d.gate.Open();
    d.retryCount = retryCount;
    d.retryIntervalMs = retryIntervalMs;
    d.failedPort = 0;

    // A second Start replaces the sockets, so the threads reading the old
    // ones end first.
    d.StopThreads(nullptr);
    d.SetCommandSocket(-1);

    // Every receiving port gets a 10 MiB receive buffer. A fleet answers a
    // search all at once, and acknowledged devices then send their
    // heartbeats in step: with 1 MiB on the announce and heartbeat ports,
    // half of a 5 000-device fleet's announcements were dropped by the
    // kernel before the receiver could read them.
    struct Plan {
        size_t slot;
        uint16_t port;
        bool broadcast;
        int sendBuffer;
        int receiveBuffer;
    };
    const Plan plans[] = {{Impl::kSearchSlot, kPortSearch, true, kOneMiB, kOneMiB},
                          {Impl::kAnnounceSlot, kPortAnnounce, false, kOneMiB, kTenMiB},
                          {Impl::kHeartbeatSlot, kPortHeartbeat, false, kOneMiB, kTenMiB},
                          {Impl::kReplySlot, kPortReply, false, kTenMiB, kTenMiB}};
    for (const auto& plan : plans) {
        bool opened;
        {
            std::lock_guard lock(d.searchSocketMutex);
            opened = OpenUdpSocket(d.sockets[plan.slot], nullptr, plan.port, plan.broadcast,
                                   plan.sendBuffer, plan.receiveBuffer, false, nullptr);
        }
        if (!opened) {
            d.failedPort = plan.port;
            return false;
        }
        if (plan.slot == Impl::kHeartbeatSlot) {
            // Commands leave from this socket (see Multicast); the computer
            // must not hear its own multicast, as from the sockets the
            // commands used to be sent from.
            const int fd = d.sockets[plan.slot].get();
            const unsigned char off = 0;
            if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) == 0)
                d.SetCommandSocket(fd);
        }
    }

    // Named, so that top, perf and a debugger tell the eight apart.
    const auto named = [](const char* name, auto body) {
        return std::jthread([name, body](std::stop_token s) {
            ::pthread_setname_np(::pthread_self(), name);
            body(s);
        });
    };
    d.threads[0] = named("kx-announce-rx",
                         [&d](std::stop_token s) { d.ReceiverLoop(s, Impl::kAnnounceChannel); });
    d.threads[1] = named("kx-heartbeat-rx",
                         [&d](std::stop_token s) { d.ReceiverLoop(s, Impl::kHeartbeatChannel); });
    d.threads[2] =
        named("kx-reply-rx", [&d](std::stop_token s) { d.ReceiverLoop(s, Impl::kReplyChannel); });
    d.threads[3] = named("kx-announce",
                         [&d](std::stop_token s) { d.ProcessorLoop(s, Impl::kAnnounceChannel); });
    d.threads[4] = named("kx-heartbeat",
                         [&d](std::stop_token s) { d.ProcessorLoop(s, Impl::kHeartbeatChannel); });
    d.threads[5] =
        named("kx-reply", [&d](std::stop_token s) { d.ProcessorLoop(s, Impl::kReplyChannel); });
    d.threads[6] = named("kx-ticker", [&d](std::stop_token s) { d.TickerLoop(s); });
    d.threads[7] = named("kx-retransmit", [&d](std::stop_token s) { d.RetransmitterLoop(s); });

    std::vector<AdapterRecord> adapters;
    d.GetLocalAdapters(adapters);
    return true;
}

uint16_t DeviceLink::FailedPort() const {
    return impl_->failedPort.load();
}

void DeviceLink::Shutdown() {
    Impl& d = *impl_;
    std::lock_guard lifecycle(d.lifecycleMutex);
    if (d.shutDown) return;
    d.shutDown = true;
    // From here on every call from outside does nothing and returns false.
    d.gate.Close();

    std::vector<std::chrono::microseconds> times;
    d.StopThreads(&times);
    if (!times.empty()) d.stopTimes = std::move(times);
    // Calls that were already inside finish before anything goes away.
    d.gate.WaitEmpty();

    // The threads have ended; the heartbeat socket, no longer read, still
    // sends every Release (the multicast path falls back to temporary
    // sockets when it was never opened).
    d.ReleaseAll();
    d.SetCommandSocket(-1);
    {
        std::lock_guard lock(d.searchSocketMutex);
        for (auto& socket : d.sockets) socket.Reset();
    }

    {
        std::lock_guard lock(d.presenceMutex);
        d.presence.Clear();
    }
    {
        std::lock_guard lock(d.pendingMutex);
        d.pending.Clear();
    }
    {
        std::lock_guard lock(d.adapterListMutex);
        d.adapterList.clear();
    }
}

void DeviceLink::Search() {
    if (Impl::Pass pass{impl_->gate}) impl_->Search();
}
void DeviceLink::ReleaseAnnounced() {
    if (Impl::Pass pass{impl_->gate}) impl_->ReleaseAnnounced();
}
void DeviceLink::DropAnnounced() {
    if (Impl::Pass pass{impl_->gate}) impl_->DropAnnounced();
}
void DeviceLink::ReconcileStore() {
    if (Impl::Pass pass{impl_->gate}) impl_->ReconcileStore();
}
void DeviceLink::RefreshCaptureDevices() {
    if (Impl::Pass pass{impl_->gate}) impl_->RefreshCaptureDevices();
}

void DeviceLink::ListAnnounced(std::vector<ap_info_stu>& out, const std::string& filter,
                               int limit) {
    out.clear();
    if (Impl::Pass pass{impl_->gate}) impl_->ListAnnounced(out, filter, limit);
}

bool DeviceLink::SendToDevice(const std::string& target, MsgType type, const uint8_t* payload,
                              size_t length, const std::string& mac, bool registerRetry) {
    // A worker still sending while the link shuts down is told no.
    Impl::Pass pass{impl_->gate};
    if (!pass) return false;
    return impl_->SendToDevice(target, type, payload, length, mac, registerRetry);
}

void DeviceLink::NoteNewAddress(const std::string& mac, const std::string& currentIp,
                                const std::string& newIp) {
    if (Impl::Pass pass{impl_->gate}) impl_->NoteNewAddress(mac, currentIp, newIp);
}

bool DeviceLink::IsScanComplete() const {
    return impl_->scanComplete.load();
}

void DeviceLink::GetLocalAdapters(std::vector<AdapterRecord>& out) {
    out.clear();
    if (Impl::Pass pass{impl_->gate}) impl_->GetLocalAdapters(out);
}

bool DeviceLink::SendArpAnnouncement(const ArpTarget& target) {
    Impl::Pass pass{impl_->gate};
    return pass && impl_->SendArpAnnouncement(target);
}

// ---------------------------------------------------------------------------
// Limits, counters and test hooks

DeviceLink::Counters DeviceLink::GetCounters() const {
    Counters c;
    for (size_t i = 0; i < impl_->queues.size(); ++i) {
        c.queued[i] = impl_->queues[i].queued();
        c.dropped[i] = impl_->queues[i].dropped();
    }
    c.presenceRefused = impl_->presenceRefused.load();
    c.pendingRefused = impl_->pendingRefused.load();
    return c;
}

void DeviceLink::SetQueueLimit(size_t packets) {
    for (auto& q : impl_->queues) q.SetLimit(packets);
}

void DeviceLink::SetQueueByteBudget(size_t bytes) {
    for (auto& q : impl_->queues) q.SetByteBudget(bytes);
}

void DeviceLink::SetPresenceTickMs(int ms) {
    impl_->presenceTickMs = ms;
}

void DeviceLink::PauseProcessors(bool paused) {
    for (auto& q : impl_->queues) q.SetPaused(paused);
}

void DeviceLink::ProcessDatagram(uint16_t localPort, const uint8_t* data, size_t size,
                                 uint32_t senderAddr, uint16_t senderPort) {
    auto packet = AcceptDatagram(data, size, localPort, senderAddr, senderPort);
    if (!packet) return;
    for (size_t channel = 0; channel < Impl::kChannelPorts.size(); ++channel)
        if (Impl::kChannelPorts[channel] == localPort) impl_->Dispatch(channel, *packet);
}

void DeviceLink::SetReleaseListedHook(std::function<void()> hook) {
    impl_->releaseListedHook = std::move(hook);
}

void DeviceLink::AgePresence() {
    impl_->AgePresence();
}
void DeviceLink::RetransmitPending() {
    impl_->RetransmitPass();
}

std::vector<PresenceEntry> DeviceLink::PresenceSnapshot() const {
    std::vector<PresenceEntry> out;
    std::lock_guard lock(impl_->presenceMutex);
    impl_->presence.ForEach([&](const PresenceEntry& e) { out.push_back(e); });
    return out;
}

std::vector<PendingCommand> DeviceLink::PendingSnapshot() const {
    std::lock_guard lock(impl_->pendingMutex);
    return impl_->pending.Snapshot();
}

std::vector<std::chrono::microseconds> DeviceLink::LastStopTimes() const {
    std::lock_guard lifecycle(impl_->lifecycleMutex);
    return impl_->stopTimes;
}

}  // namespace kestrix
