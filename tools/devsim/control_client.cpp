#include "tools/devsim/control_client.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kestrix::devsim {

std::optional<std::string> ControlRequest(const std::string& socketPath, const std::string& command,
                                          std::string& err) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path) {
        err = "control socket path too long: " + socketPath;
        return std::nullopt;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        err = "cannot reach the simulator at " + socketPath + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return std::nullopt;
    }
    std::string line = command + "\n";
    size_t off = 0;
    while (off < line.size()) {
        ssize_t n = write(fd, line.data() + off, line.size() - off);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = "cannot send to the simulator: " + std::string(std::strerror(errno));
            close(fd);
            return std::nullopt;
        }
        off += static_cast<size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    std::string answer;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
}

}  // namespace kestrix::devsim
