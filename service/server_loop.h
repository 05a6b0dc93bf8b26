#pragma once
// The file server's socket loop: one UDP socket for requests, one per
// transfer (its own port, as the protocol wants), all driven by epoll from
// one thread, with a signal descriptor that ends the loop at once.

#include <cstddef>

#include "service/server_config.h"
#include "service/tftp_session.h"
#include "service/transfer_log.h"

namespace kestrix::tftp {

inline constexpr size_t kDefaultMaxSessions = 64;

struct LoopSettings {
    ServerConfig config;
    size_t max_sessions = kDefaultMaxSessions;
    SessionLimits limits;
};

// Serves until `stop_fd` (a signalfd) becomes readable. Returns the process
// exit status: 0 after a stop, 1 when the directory or the port cannot be had.
int RunServer(const LoopSettings& settings, int stop_fd, TransferLog& log);

}  // namespace kestrix::tftp
