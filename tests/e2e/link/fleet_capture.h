#pragma once
// What reaches the fleet: a raw packet socket in the lab's fleet namespace
// that records every frame arriving there, so a test can compare what the
// link sent byte for byte, as the devices receive it.

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stop_token>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/labkit.h"

namespace kestrix::testing {

struct Frame {
    std::chrono::steady_clock::time_point at;
    std::vector<uint8_t> bytes;  // the whole Ethernet frame

    uint16_t etherType() const { return bytes.size() >= 14 ? (bytes[12] << 8) | bytes[13] : 0; }
    bool IsUdp() const {
        return etherType() == 0x0800 && bytes.size() >= 42 && bytes[23] == IPPROTO_UDP;
    }
    size_t ipHeader() const { return static_cast<size_t>(bytes[14] & 0x0f) * 4; }
    std::string src() const { return IpText(26); }
    std::string dst() const { return IpText(30); }
    uint16_t srcPort() const { return Port(14 + ipHeader()); }
    uint16_t dstPort() const { return Port(14 + ipHeader() + 2); }
    // The UDP payload: what the receiving socket gets.
    std::vector<uint8_t> udp() const {
        size_t start = 14 + ipHeader() + 8;
        if (!IsUdp() || start > bytes.size()) return {};
        size_t length = static_cast<size_t>(Port(14 + ipHeader() + 4));  // header included
        if (length < 8) return {};
        size_t end = std::min(bytes.size(), 14 + ipHeader() + length);
        return {bytes.begin() + static_cast<long>(start), bytes.begin() + static_cast<long>(end)};
    }

private:
    std::string IpText(size_t o) const {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, bytes.data() + o, text, sizeof text);
        return text;
    }
    uint16_t Port(size_t o) const {
        return o + 1 < bytes.size() ? static_cast<uint16_t>((bytes[o] << 8) | bytes[o + 1]) : 0;
    }
};

class FleetCapture {
public:
    FleetCapture() {
        labkit::ScopedNetns fleet(labkit::kFleetNamespace);
        if (!fleet.ok()) {
            error_ = fleet.error();
            return;
        }
        fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
        if (fd_ < 0) {
            error_ = std::string("packet socket: ") + std::strerror(errno);
            return;
        }
        int buffer = 32 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        reader_ = std::jthread([this](std::stop_token stop) { Read(stop); });
    }
    ~FleetCapture() {
        reader_ = {};
        if (fd_ >= 0) ::close(fd_);
    }
    FleetCapture(const FleetCapture&) = delete;
    FleetCapture& operator=(const FleetCapture&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    std::vector<Frame> Frames(const std::function<bool(const Frame&)>& match = {}) const {
        std::lock_guard lock(mutex_);
        std::vector<Frame> out;
        for (const auto& f : frames_)
            if (!match || match(f)) out.push_back(f);
        return out;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        frames_.clear();
    }

private:
    void Read(std::stop_token stop) {
        std::vector<uint8_t> buffer(65536);
        while (!stop.stop_requested()) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            sockaddr_ll from{};
            socklen_t length = sizeof from;
            ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
            // Frames the fleet sends itself are not what the link sent.
            if (n <= 0 || from.sll_pkttype == PACKET_OUTGOING) continue;
            std::lock_guard lock(mutex_);
            frames_.push_back(
                {std::chrono::steady_clock::now(), {buffer.begin(), buffer.begin() + n}});
        }
    }

    int fd_ = -1;
    std::string error_;
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;
    std::jthread reader_;
};

}  // namespace kestrix::testing
