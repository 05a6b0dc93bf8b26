#pragma once
// Option negotiation for read requests: block size, transfer size, timeout
// and window size. Options outside their ranges, unknown options and
// malformed values are left out of the answer, so the client falls back to
// the plain protocol for them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/tftp_packet.h"

namespace kestrix::tftp {

inline constexpr uint32_t kDefaultBlockSize = 512;
inline constexpr uint32_t kMinBlockSize = 8;
inline constexpr uint32_t kMaxBlockSize = 65464;
inline constexpr uint32_t kMinTimeoutSeconds = 1;
inline constexpr uint32_t kMaxTimeoutSeconds = 255;
// A window is kept in memory for retransmission, and it arrives at the
// client in one burst: more than a common socket receive buffer holds would
// be dropped there and sent again every time. The server answers with a
// smaller window than asked for when the blocks would exceed this.
inline constexpr uint32_t kMaxWindowBlocks = 64;
inline constexpr uint32_t kMaxWindowBytes = 128u << 10;

struct TransferOptions {
    uint32_t block_size = kDefaultBlockSize;
    uint32_t window_size = 1;
    // Set when the client named its retransmission timeout.
    std::optional<std::chrono::seconds> timeout;
    // The options to confirm in an OACK, in the client's order; empty means
    // no OACK is sent and DATA 1 follows the request at once.
    std::vector<std::pair<std::string, std::string>> accepted;
};

// Decimal digits only, no sign, no blanks, no overflow past 2^63.
std::optional<uint64_t> ParseOptionNumber(const std::string& text);

// Negotiates the options of a read request. `transfer_size` is the number of
// bytes that will be sent (after netascii conversion), used for tsize.
TransferOptions NegotiateOptions(const Request& request, uint64_t transfer_size);

}  // namespace kestrix::tftp
