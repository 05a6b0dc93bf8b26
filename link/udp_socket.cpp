#include "link/udp_socket.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kestrix {

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

bool ParseAddress(const char* text, in_addr& out) {
    if (text == nullptr || *text == '\0') {
        out.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return ::inet_pton(AF_INET, text, &out) == 1;
}

bool SetInt(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// The kernel caps SO_SNDBUF/SO_RCVBUF at net.core.[rw]mem_max, far below the
// 10 MiB the reply port needs to absorb a fleet answering at once. When the
// process may exceed the cap (CAP_NET_ADMIN, which the tool asks for), the
// FORCE variant gets the full size; otherwise the plain option still gets as
// much as the system allows. A refusal is remembered so unprivileged runs do
// not pay a failing call on every temporary socket.
bool SetBuffer(int fd, int forceName, int plainName, int size) {
    static std::atomic<bool> forceRefused{false};
    if (!forceRefused.load(std::memory_order_relaxed)) {
        if (SetInt(fd, SOL_SOCKET, forceName, size)) return true;
        if (errno == EPERM) forceRefused.store(true, std::memory_order_relaxed);
    }
    return SetInt(fd, SOL_SOCKET, plainName, size);
}

}  // namespace

bool OpenUdpSocket(UniqueFd& slot, const char* localAddress, uint16_t port, bool broadcast,
                   int sendBuffer, int receiveBuffer, bool multicast, const char* group) {
    slot.Reset();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return false;
    slot.Reset(fd);

    in_addr local{};
    if (!ParseAddress(localAddress, local)) return false;
    if (!SetInt(fd, SOL_SOCKET, SO_REUSEADDR, 1)) return false;
    if (broadcast && !SetInt(fd, SOL_SOCKET, SO_BROADCAST, 1)) return false;
    if (multicast && group != nullptr) {
        ip_mreq membership{};
        if (::inet_pton(AF_INET, group, &membership.imr_multiaddr) != 1) return false;
        membership.imr_interface = local;
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0)
            return false;
        if (!SetInt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, 0)) return false;
        if (local.s_addr != htonl(INADDR_ANY) &&
            ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) != 0)
            return false;
    }
    if (!SetBuffer(fd, SO_SNDBUFFORCE, SO_SNDBUF, sendBuffer)) return false;
    if (!SetBuffer(fd, SO_RCVBUFFORCE, SO_RCVBUF, receiveBuffer)) return false;

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr = local;
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool SendDatagram(int fd, const char* address, uint16_t port, const uint8_t* data, size_t size) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (fd < 0 || ::inet_pton(AF_INET, address, &to.sin_addr) != 1) return false;
    ssize_t sent;
    do {
        sent = ::sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 && static_cast<size_t>(sent) == size;
}

bool SendDatagramFrom(int fd, const char* sourceAddress, const char* address, uint16_t port,
                      const uint8_t* data, size_t size) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    in_pktinfo info{};
    if (fd < 0 || sourceAddress == nullptr || address == nullptr ||
        ::inet_pton(AF_INET, address, &to.sin_addr) != 1 ||
        ::inet_pton(AF_INET, sourceAddress, &info.ipi_spec_dst) != 1)
        return false;
    // No interface index: the route lookup then takes the interface that
    // owns the source address, for multicast and broadcast alike.
    info.ipi_ifindex = 0;

    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec iov{const_cast<uint8_t*>(data), size};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    std::memcpy(CMSG_DATA(c), &info, sizeof info);

    ssize_t sent;
    do {
        sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 && static_cast<size_t>(sent) == size;
}

}  // namespace kestrix
