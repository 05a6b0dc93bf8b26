#pragma once
// Helpers shared by the link tests: an adapter source the test controls,
// the datagrams a device sends, and a listener that hears what the link
// sends over loopback (inside the test's private network namespace).

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "link/adapters.h"
#include "link/wire/wire_format.h"

namespace kestrix::testing {

class FakeAdapterSource : public AdapterSource {
public:
    explicit FakeAdapterSource(std::vector<AdapterRecord> records = {})
        : records_(std::move(records)) {}
    std::vector<AdapterRecord> Enumerate() override {
        std::lock_guard lock(mutex_);
        ++calls_;
        return records_;
    }
    void Set(std::vector<AdapterRecord> records) {
        std::lock_guard lock(mutex_);
        records_ = std::move(records);
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<AdapterRecord> records_;
    int calls_ = 0;
};

inline AdapterRecord Adapter(const std::string& name, const std::string& mac,
                             std::vector<AdapterAddress> entries) {
    AdapterRecord r;
    r.name = name;
    r.description = name;
    r.mac = MacTextToBytes(mac);
    r.entries = std::move(entries);
    return r;
}

// The loopback "adapter" every socket test sends through.
inline AdapterRecord LoopbackAdapter() {
    return Adapter("lo", "02:00:00:00:00:01", {{"127.0.0.1", "255.0.0.0", ""}});
}

inline uint32_t Addr(const std::string& text) {
    in_addr a{};
    inet_pton(AF_INET, text.c_str(), &a);
    return a.s_addr;
}

// Device-side datagrams.
inline std::vector<uint8_t> DeviceMessage(MsgType type, const std::string& mac,
                                          const std::vector<uint8_t>& payload,
                                          uint16_t deviceType = 0) {
    return BuildMessage(ToCode(type), MacTextToBytes(mac), payload.data(), payload.size(), false,
                        deviceType);
}

inline std::vector<uint8_t> AnnouncePayload(const std::string& version, const std::string& name,
                                            const std::string& ssid, uint32_t uptime,
                                            uint8_t channel) {
    AnnounceBlock b;
    b.set_version(version);
    b.set_work_mode(2);
    b.set_mode_btn_status(1);
    b.set_up_time(uptime);
    b.set_ap_name(name);
    b.set_ssid(ssid);
    b.set_channel(channel);
    b.set_bridge_transparent(1);
    b.set_pxsync(1);
    return b.ToVector();
}

// A 756-byte device information payload whose address block says `ip`.
inline DeviceInfoBlock InfoFor(const std::string& ip, const std::string& name, uint32_t uptime) {
    DeviceInfoBlock info;
    // Distinct bytes everywhere, so a record that is shifted or cut shows.
    for (size_t i = 0; i < info.size(); ++i) info.data()[i] = static_cast<uint8_t>(i * 7 + 3);
    info.set_up_time(uptime);
    AddressBlock address = info.address();
    address.set_ip(IpTextToBytes(ip));
    info.set_address(address);
    info.set_ap_name(name);
    info.set_version("V1.2.3");
    WirelessBlock wireless = info.wireless();
    wireless.set_ssid("ssid-" + name);
    info.set_wireless(wireless);
    BridgeBlock bridge = info.bridge();
    bridge.set_bridge_ssid("peer");
    info.set_bridge(bridge);
    return info;
}

inline std::vector<uint8_t> HeartbeatPayload(const std::string& version, uint32_t uptime) {
    HeartbeatBlock b;
    b.set_version(version);
    b.set_up_time(uptime);
    return b.ToVector();
}

struct Heard {
    std::vector<uint8_t> bytes;
    std::string from;
    uint16_t fromPort = 0;
    MessageHeader header() const { return MessageHeader(bytes.data(), bytes.size()); }
};

// A UDP socket on 0.0.0.0:port (address reuse on, like the link's own
// sockets) that, for the command port, also joins the link's multicast
// group on loopback: it hears what a device on this machine would hear.
class Listener {
public:
    explicit Listener(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        int buffer = 8 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (port == kPortHeartbeat) {
            ip_mreq m{};
            inet_pton(AF_INET, kMulticastGroup, &m.imr_multiaddr);
            inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
            ok_ = ok_ && ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
        }
    }
    ~Listener() {
        if (fd_ >= 0) ::close(fd_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    bool ok() const { return ok_; }

    // The next datagram, waiting at most `waitMs` for it.
    std::optional<Heard> Next(int waitMs = 2000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return std::nullopt;
        std::vector<uint8_t> buf(2048);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return std::nullopt;
        buf.resize(static_cast<size_t>(n));
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return Heard{std::move(buf), text, ntohs(from.sin_port)};
    }

    // Everything that arrives until the socket stays quiet for `quietMs`.
    std::vector<Heard> Drain(int quietMs = 150) {
        std::vector<Heard> all;
        while (auto h = Next(quietMs)) all.push_back(std::move(*h));
        return all;
    }

    // Sends from this socket (its port is the listener's port).
    bool SendTo(const std::string& ip, uint16_t port, const std::vector<uint8_t>& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(bytes.size());
    }

private:
    int fd_ = -1;
    bool ok_ = false;
};

// Runs `body` on a thread of its own in a fresh network namespace with
// loopback up. A namespace belongs to a thread, so the sockets `body` opens
// and the commands it starts see only that namespace, while the rest of the
// test process stays where it was. False when no namespace can be made.
inline bool InOwnNetworkNamespace(const std::function<void()>& body) {
    bool entered = false;
    std::thread t([&] {
        if (::unshare(CLONE_NEWNET) != 0) return;
        if (std::system("ip link set lo up") != 0) return;
        entered = true;
        body();
    });
    t.join();
    return entered;
}

// Polls `done` until it holds or `waitMs` pass; returns its last value.
// Used to wait for threads to catch up, never to judge speed.
inline bool WaitFor(const std::function<bool()>& done, int waitMs = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kestrix::testing
