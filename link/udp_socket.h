#pragma once
// The one routine that opens every UDP socket of the link, and a small owner
// for socket descriptors so that no path can leak one.

#include <cstddef>
#include <cstdint>
#include <utility>

namespace kestrix {

// Owns one descriptor; closes it when replaced or destroyed.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

inline constexpr int kOneMiB = 1048576;
inline constexpr int kTenMiB = 10485760;

// Opens an IPv4 UDP socket into `slot` (closing what the slot held):
// SO_REUSEADDR; SO_BROADCAST when `broadcast`; when `group` is given, joins it
// on `localAddress` (any address when null), turns multicast loopback off and
// sends multicast out of `localAddress` (IP_MULTICAST_IF) so that a group
// datagram leaves through the adapter that was chosen for it even when no
// route covers the group; then the two buffer sizes and the bind. A failing
// call returns false and leaves the socket in the slot, as the caller's slot
// rule expects.
bool OpenUdpSocket(UniqueFd& slot, const char* localAddress, uint16_t port, bool broadcast,
                   int sendBuffer, int receiveBuffer, bool multicast, const char* group);

// Sends one datagram to address:port; true when every byte left.
bool SendDatagram(int fd, const char* address, uint16_t port, const uint8_t* data, size_t size);

// Sends one datagram from `fd` with `sourceAddress` as its source address
// (IP_PKTINFO). A multicast then leaves through the interface that holds
// that address, from the socket's own port, exactly as from a socket bound
// to sourceAddress:port -- but without binding that second socket, which
// would take every unicast datagram to sourceAddress:port away from `fd`'s
// reader while it exists.
bool SendDatagramFrom(int fd, const char* sourceAddress, const char* address, uint16_t port,
                      const uint8_t* data, size_t size);

}  // namespace kestrix
