#include "tools/devsim/net_io.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "link/wire/byte_io.h"

namespace kestrix::devsim {

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------
// Trace

Trace::~Trace() {
    if (owned_ && file_ != nullptr) std::fclose(file_);
}

bool Trace::Open(const std::string& path, std::string& err) {
    if (path.empty()) return true;
    if (path == "-") {
        file_ = stderr;
        return true;
    }
    file_ = std::fopen(path.c_str(), "a");
    if (file_ == nullptr) {
        err = "cannot open the trace file '" + path + "': " + std::strerror(errno);
        return false;
    }
    owned_ = true;
    // Line-buffered, so a test reading the file sees every finished line.
    std::setvbuf(file_, nullptr, _IOLBF, 1 << 16);
    return true;
}

namespace {

std::string Endpoint(const Ipv4Bytes& ip, uint16_t port) {
    return IpBytesToText(ip) + ":" + std::to_string(port);
}

}  // namespace

void Trace::Rx(int64_t ms, uint16_t port, const Ipv4Bytes& from, uint16_t fromPort,
               const uint8_t* data, size_t size, const RxVerdict& v) {
    if (file_ == nullptr) return;
    std::string type = "-", mac = "-";
    if (size >= kHeaderSize) {
        type = std::to_string(LoadU16(data + 4));
        mac = MacBytesToText(data + 8);
    }
    std::lock_guard lock(mutex_);
    std::fprintf(
        file_, "%lld rx port=%u from=%s size=%zu type=%s mac=%s dev=%d what=%s%s%s answers=%d\n",
        static_cast<long long>(ms), port, Endpoint(from, fromPort).c_str(), size, type.c_str(),
        mac.c_str(), v.device, v.what, *v.reason ? " reason=" : "", v.reason, v.answers);
}

void Trace::Tx(int64_t ms, const Outgoing& o, const char* what, int err) {
    if (file_ == nullptr) return;
    const uint8_t* b = o.bytes.data();
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%lld %s from=%s to=%s size=%zu type=%u mac=%s dev=%d%s%s%s\n",
                 static_cast<long long>(ms), what, Endpoint(o.src, o.src_port).c_str(),
                 Endpoint(o.dst, o.dst_port).c_str(), o.bytes.size(),
                 o.bytes.size() >= kHeaderSize ? LoadU16(b + 4) : 0u,
                 o.bytes.size() >= kHeaderSize ? MacBytesToText(b + 8).c_str() : "-", o.device,
                 o.duplicate ? " dup=1" : "", err != 0 ? " error=" : "",
                 err != 0 ? std::strerror(err) : "");
}

void Trace::Note(int64_t ms, const std::string& text) {
    if (file_ == nullptr) return;
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%lld note %s\n", static_cast<long long>(ms), text.c_str());
}

// ---------------------------------------------------------------------------
// Sockets

bool ResolveInterfaces(const std::vector<std::string>& names, std::vector<int>& indexes,
                       std::vector<std::string>& used, std::string& err) {
    indexes.clear();
    used.clear();
    if (!names.empty()) {
        for (const std::string& name : names) {
            unsigned index = if_nametoindex(name.c_str());
            if (index == 0) {
                err = "no interface named '" + name + "'";
                return false;
            }
            indexes.push_back(static_cast<int>(index));
            used.push_back(name);
        }
        return true;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        err = std::string("cannot list the interfaces: ") + std::strerror(errno);
        return false;
    }
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
        if ((a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP) ||
            !(a->ifa_flags & IFF_MULTICAST)) {
            continue;
        }
        if (std::find(used.begin(), used.end(), a->ifa_name) != used.end()) continue;
        unsigned index = if_nametoindex(a->ifa_name);
        if (index == 0) continue;
        indexes.push_back(static_cast<int>(index));
        used.emplace_back(a->ifa_name);
    }
    freeifaddrs(list);
    return true;
}

int OpenFleetSocket(uint16_t port, const std::vector<int>& joinIndexes, std::string& err) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        err = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    auto fail = [&](const char* what) {
        err = std::string(what) + " on port " + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    };
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("SO_REUSEADDR");
    if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return fail("SO_BROADCAST");
    // Without these a device moved outside the lab's addresses could not
    // answer; they need CAP_NET_ADMIN, which the lab has.
    (void)setsockopt(fd, SOL_IP, IP_TRANSPARENT, &on, sizeof on);
    (void)setsockopt(fd, SOL_IP, IP_FREEBIND, &on, sizeof on);
    // A search wakes the whole fleet at once: big buffers absorb the bursts.
    int rcv = 16 << 20, snd = 8 << 20;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcv, sizeof rcv) != 0) {
        (void)setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
    }
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &snd, sizeof snd) != 0) {
        (void)setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &snd, sizeof snd);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return fail("bind");
    for (int index : joinIndexes) {
        ip_mreqn m{};
        inet_pton(AF_INET, kMulticastGroup, &m.imr_multiaddr);
        m.imr_ifindex = index;
        if (setsockopt(fd, SOL_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
            return fail("joining the command group");
        }
    }
    unsigned char loop = 0;
    (void)setsockopt(fd, SOL_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    return fd;
}

// ---------------------------------------------------------------------------
// Sender

Sender::Sender(int searchFd, int commandFd, Trace& trace, int txRate)
    : searchFd_(searchFd), commandFd_(commandFd), trace_(trace), txRate_(txRate) {
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

Sender::~Sender() {
    Stop();
}

void Sender::Stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }
}

uint64_t Sender::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

uint64_t Sender::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

void Sender::Submit(std::vector<Outgoing>& batch) {
    if (batch.empty()) return;
    int64_t now = NowMs();
    {
        std::lock_guard lock(mutex_);
        for (Outgoing& o : batch) {
            if (o.lost) {
                trace_.Tx(now, o, "lost");
            } else if (o.due_ms > now) {
                delayed_.push(std::move(o));
            } else {
                ready_.push_back(std::move(o));
            }
        }
        ++submits_;
    }
    batch.clear();
    wake_.notify_one();
}

void Sender::Run(std::stop_token stop) {
    std::vector<Outgoing> batch;
    auto nextSlot = std::chrono::steady_clock::now();
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(mutex_);
            while (!stop.stop_requested()) {
                int64_t now = NowMs();
                while (!delayed_.empty() && delayed_.top().due_ms <= now) {
                    ready_.push_back(delayed_.top());
                    delayed_.pop();
                }
                if (!ready_.empty()) break;
                // Any submission may bring work that is due sooner: wake on it.
                const uint64_t seen = submits_;
                auto submitted = [this, seen] { return submits_ != seen; };
                if (delayed_.empty()) {
                    wake_.wait(lock, stop, submitted);
                } else {
                    wake_.wait_for(lock, stop,
                                   std::chrono::milliseconds(delayed_.top().due_ms - now),
                                   submitted);
                }
            }
            if (stop.stop_requested()) return;
            size_t take = std::min<size_t>(ready_.size(), 64);
            for (size_t i = 0; i < take; ++i) {
                batch.push_back(std::move(ready_.front()));
                ready_.pop_front();
            }
        }
        if (txRate_ > 0) {
            std::this_thread::sleep_until(nextSlot);
            nextSlot = std::max(nextSlot, std::chrono::steady_clock::now()) +
                       std::chrono::microseconds(1000000LL * static_cast<long long>(batch.size()) /
                                                 txRate_);
        }
        SendBatch(batch);
        batch.clear();
    }
}

void Sender::SendBatch(std::vector<Outgoing>& batch) {
    // Consecutive datagrams from the same socket go out in one sendmmsg.
    constexpr size_t kMax = 64;
    mmsghdr msgs[kMax];
    iovec iovs[kMax];
    sockaddr_in dsts[kMax];
    alignas(cmsghdr) char controls[kMax][CMSG_SPACE(sizeof(in_pktinfo))];
    uint64_t sent = 0, errors = 0;
    size_t i = 0;
    while (i < batch.size()) {
        const int fd = batch[i].src_port == kPortSearch ? searchFd_ : commandFd_;
        size_t n = 0;
        while (i + n < batch.size() && n < kMax &&
               (batch[i + n].src_port == kPortSearch ? searchFd_ : commandFd_) == fd) {
            Outgoing& o = batch[i + n];
            std::memset(&msgs[n], 0, sizeof msgs[n]);
            std::memset(&dsts[n], 0, sizeof dsts[n]);
            dsts[n].sin_family = AF_INET;
            dsts[n].sin_port = htons(o.dst_port);
            std::memcpy(&dsts[n].sin_addr, o.dst.data(), 4);
            iovs[n].iov_base = o.bytes.data();
            iovs[n].iov_len = o.bytes.size();
            std::memset(controls[n], 0, sizeof controls[n]);
            msghdr& h = msgs[n].msg_hdr;
            h.msg_name = &dsts[n];
            h.msg_namelen = sizeof dsts[n];
            h.msg_iov = &iovs[n];
            h.msg_iovlen = 1;
            h.msg_control = controls[n];
            h.msg_controllen = sizeof controls[n];
            cmsghdr* c = CMSG_FIRSTHDR(&h);
            c->cmsg_level = SOL_IP;
            c->cmsg_type = IP_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            std::memcpy(&info.ipi_spec_dst, o.src.data(), 4);
            std::memcpy(CMSG_DATA(c), &info, sizeof info);
            ++n;
        }
        size_t done = 0;
        int waits = 0;
        while (done < n) {
            int r = sendmmsg(fd, msgs + done, static_cast<unsigned>(n - done), 0);
            if (r > 0) {
                int64_t now = trace_.enabled() ? NowMs() : 0;
                for (int k = 0; k < r; ++k)
                    trace_.Tx(now, batch[i + done + static_cast<size_t>(k)], "tx");
                done += static_cast<size_t>(r);
                sent += static_cast<uint64_t>(r);
                continue;
            }
            int e = errno;
            if ((e == EAGAIN || e == EWOULDBLOCK || e == ENOBUFS) && waits < 100) {
                // The send buffer is full: wait for room rather than drop.
                pollfd p{fd, POLLOUT, 0};
                (void)poll(&p, 1, 20);
                ++waits;
                continue;
            }
            if (e == EINTR) continue;
            trace_.Tx(NowMs(), batch[i + done], "error", e);
            ++errors;
            ++done;
        }
        i += n;
    }
    std::lock_guard lock(mutex_);
    sent_ += sent;
    errors_ += errors;
}

}  // namespace kestrix::devsim
