#include "service/server_loop.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "service/block_source.h"
#include "service/file_confine.h"
#include "service/tftp_options.h"
#include "service/tftp_packet.h"

namespace kestrix::tftp {

namespace {

constexpr uint64_t kListenerTag = 0;
constexpr uint64_t kStopTag = 1;
constexpr size_t kReceiveBytes = 65536;

std::string PeerText(const sockaddr_in& peer) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

bool SamePeer(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

uint64_t PeerKey(const sockaddr_in& peer) {
    return (uint64_t{peer.sin_addr.s_addr} << 16) | peer.sin_port;
}

void SendTo(int fd, const sockaddr_in& peer, std::span<const uint8_t> bytes) {
    // A full send buffer loses the packet like the network would; the
    // retransmission timer covers it.
    while (sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                  reinterpret_cast<const sockaddr*>(&peer), sizeof peer) < 0 &&
           errno == EINTR) {
    }
}

struct Transfer {
    int fd = -1;
    sockaddr_in peer{};
    std::string name;
    std::unique_ptr<Session> session;
};

class Server {
public:
    Server(const LoopSettings& settings, TransferLog& log) : settings_(settings), log_(log) {}
    ~Server() {
        for (auto& [tag, t] : transfers_) close(t.fd);
        if (listener_ >= 0) close(listener_);
        if (dir_fd_ >= 0) close(dir_fd_);
        if (epoll_ >= 0) close(epoll_);
    }

    int Run(int stop_fd) {
        dir_fd_ = open(settings_.config.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd_ < 0) {
            log_.Note("cannot open directory " + QuoteForLog(settings_.config.directory) + ": " +
                      std::strerror(errno));
            return 1;
        }
        if (!OpenListener()) return 1;
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0 || !Watch(listener_, kListenerTag) || !Watch(stop_fd, kStopTag)) {
            log_.Note(std::string("epoll: ") + std::strerror(errno));
            return 1;
        }
        log_.Note("serving " + QuoteForLog(settings_.config.directory) + " on UDP port " +
                  std::to_string(settings_.config.port));
        buffer_.resize(kReceiveBytes);
        epoll_event events[64];
        for (;;) {
            int n = epoll_wait(epoll_, events, 64, WaitMilliseconds());
            if (n < 0 && errno != EINTR) {
                log_.Note(std::string("epoll_wait: ") + std::strerror(errno));
                break;
            }
            for (int i = 0; i < n; ++i) {
                uint64_t tag = events[i].data.u64;
                if (tag == kStopTag) {
                    Stop();
                    return 0;
                }
                if (tag == kListenerTag) {
                    ReadRequests();
                } else {
                    ReadTransfer(tag);
                }
            }
            RunTimers();
            Reap();
        }
        Stop();
        return 1;
    }

private:
    bool Watch(int fd, uint64_t tag) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = tag;
        return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) == 0;
    }

    bool OpenListener() {
        listener_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        int on = 1;
        if (listener_ < 0 || setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            setsockopt(listener_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
            log_.Note(std::string("socket: ") + std::strerror(errno));
            return false;
        }
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        addr.sin_port = htons(settings_.config.port);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            int err = errno;
            std::string hint = err == EACCES ? " (port below 1024 needs CAP_NET_BIND_SERVICE)" : "";
            log_.Note("cannot bind UDP port " + std::to_string(settings_.config.port) + ": " +
                      std::strerror(err) + hint);
            return false;
        }
        return true;
    }

    int WaitMilliseconds() const {
        auto next = Clock::time_point::max();
        for (const auto& [tag, t] : transfers_) next = std::min(next, t.session->Deadline());
        if (next == Clock::time_point::max()) return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    }

    void ReadRequests() {
        for (;;) {
            sockaddr_in peer{};
            iovec iov{buffer_.data(), buffer_.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
            msghdr msg{};
            msg.msg_name = &peer;
            msg.msg_namelen = sizeof peer;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            ssize_t n = recvmsg(listener_, &msg, MSG_DONTWAIT);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;  // EAGAIN, or an ICMP error reported on the socket
            }
            if (msg.msg_namelen < sizeof peer || peer.sin_family != AF_INET) continue;
            in_addr local{};
            local.s_addr = htonl(INADDR_ANY);
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    local = info.ipi_addr;
                }
            }
            auto bytes = std::span<const uint8_t>(buffer_.data(), static_cast<size_t>(n));
            if (msg.msg_flags & MSG_TRUNC) bytes = std::span(buffer_.data(), buffer_.size());
            HandleRequest(bytes, peer, local);
        }
    }

    void Refuse(const sockaddr_in& peer, const std::string& name, ErrorCode code,
                const std::string& message, const std::string& why) {
        log_.Transfer(PeerText(peer), name, 0, "refused: " + why);
        SendTo(listener_, peer, BuildError(code, message));
    }

    void HandleRequest(std::span<const uint8_t> bytes, const sockaddr_in& peer, in_addr local) {
        auto parsed = ParseRequest(bytes);
        if (!parsed.request) {
            // Stray ACKs or DATA at the request port are not worth an answer
            // to a spoofed source; malformed requests are.
            auto op = PeekOpcode(bytes);
            if (op == Opcode::kRrq || op == Opcode::kWrq) {
                Refuse(peer, "", parsed.error.code, parsed.error.message, parsed.error.message);
            }
            return;
        }
        const Request& req = *parsed.request;
        if (req.opcode == Opcode::kWrq) {
            Refuse(peer, req.filename, ErrorCode::kAccessViolation,
                   "Access violation: this server only sends files", "write request");
            return;
        }
        if (auto it = by_peer_.find(PeerKey(peer)); it != by_peer_.end()) {
            // The same client port asking again: its first answer was lost.
            Transfer& t = transfers_.at(it->second);
            if (!t.session->Progressed() && t.name == req.filename) {
                t.session->Resend(Clock::now(), Sender(t));
            }
            return;
        }
        if (transfers_.size() >= settings_.max_sessions) {
            Refuse(peer, req.filename, ErrorCode::kNotDefined,
                   "Server busy: too many transfers, try again later", "too many transfers");
            return;
        }
        OpenedFile file = OpenConfined(dir_fd_, req.filename);
        if (file.fd < 0) {
            Refuse(peer, req.filename, file.error, file.message, file.message);
            return;
        }
        bool netascii = req.mode == Mode::kNetascii;
        uint64_t size = file.size;
        if (netascii) {
            bool wants_size = std::any_of(req.options.begin(), req.options.end(),
                                          [](const auto& o) { return o.first == "tsize"; });
            if (wants_size) {
                auto converted = NetasciiSize(file.fd);
                if (!converted) {
                    close(file.fd);
                    Refuse(peer, req.filename, ErrorCode::kAccessViolation, "Access violation",
                           "read error");
                    return;
                }
                size = *converted;
            }
        }
        TransferOptions options = NegotiateOptions(req, size);
        auto source = netascii ? MakeNetasciiSource(file.fd) : MakeOctetSource(file.fd);

        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr = local;  // answer from the address the client asked
        addr.sin_port = 0;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            if (fd >= 0) close(fd);
            Refuse(peer, req.filename, ErrorCode::kNotDefined, "Server error", "no socket");
            return;
        }
        int sndbuf = 4 << 20;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
        uint64_t tag = next_tag_++;
        if (!Watch(fd, tag)) {
            close(fd);
            Refuse(peer, req.filename, ErrorCode::kNotDefined, "Server error", "epoll");
            return;
        }
        Transfer& t = transfers_[tag];
        t.fd = fd;
        t.peer = peer;
        t.name = req.filename;
        t.session =
            std::make_unique<Session>(std::move(source), std::move(options), settings_.limits);
        by_peer_[PeerKey(peer)] = tag;
        t.session->Start(Clock::now(), Sender(t));
    }

    Session::Send Sender(const Transfer& t) {
        int fd = t.fd;
        sockaddr_in peer = t.peer;
        return [fd, peer](std::span<const uint8_t> bytes) { SendTo(fd, peer, bytes); };
    }

    void ReadTransfer(uint64_t tag) {
        auto it = transfers_.find(tag);
        if (it == transfers_.end()) return;
        Transfer& t = it->second;
        auto send = Sender(t);
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(t.fd, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == ECONNREFUSED) continue;  // an ICMP error for an earlier send
                return;
            }
            auto bytes = std::span<const uint8_t>(buffer_.data(), static_cast<size_t>(n));
            if (len < sizeof from || !SamePeer(from, t.peer)) {
                SendTo(t.fd, from,
                       BuildError(ErrorCode::kUnknownTransferId, "Unknown transfer ID"));
                continue;
            }
            t.session->OnDatagram(bytes, Clock::now(), send);
            if (t.session->Done()) return;
        }
    }

    void RunTimers() {
        auto now = Clock::now();
        for (auto& [tag, t] : transfers_) {
            if (t.session->Deadline() <= now) t.session->OnTimer(now, Sender(t));
        }
    }

    void Reap() {
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            Transfer& t = it->second;
            if (!t.session->Done()) {
                ++it;
                continue;
            }
            Log(t,
                t.session->Result() == SessionResult::kComplete
                    ? std::string("ok")
                    : std::string(ResultName(t.session->Result())) +
                          (t.session->Detail().empty() ? ""
                                                       : ": " + QuoteForLog(t.session->Detail())));
            Close(t);
            it = transfers_.erase(it);
        }
    }

    void Log(const Transfer& t, const std::string& result) {
        const auto& o = t.session->Options();
        std::string opts = " blksize=" + std::to_string(o.block_size) +
                           " windowsize=" + std::to_string(o.window_size);
        log_.Transfer(PeerText(t.peer), t.name, t.session->BytesAcked(), result + opts);
    }

    void Close(Transfer& t) {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, t.fd, nullptr);
        close(t.fd);
        by_peer_.erase(PeerKey(t.peer));
    }

    void Stop() {
        for (auto& [tag, t] : transfers_) {
            if (!t.session->Done()) {
                SendTo(t.fd, t.peer, BuildError(ErrorCode::kNotDefined, "Server shutting down"));
                Log(t, "aborted: server stopped");
            } else {
                Log(t, t.session->Result() == SessionResult::kComplete ? "ok" : "failed");
            }
            Close(t);
        }
        transfers_.clear();
        log_.Note("stopped");
    }

    const LoopSettings& settings_;
    TransferLog& log_;
    int dir_fd_ = -1;
    int listener_ = -1;
    int epoll_ = -1;
    uint64_t next_tag_ = 2;
    std::map<uint64_t, Transfer> transfers_;
    std::map<uint64_t, uint64_t> by_peer_;
    std::vector<uint8_t> buffer_;
};

}  // namespace

int RunServer(const LoopSettings& settings, int stop_fd, TransferLog& log) {
    Server server(settings, log);
    return server.Run(stop_fd);
}

}  // namespace kestrix::tftp
