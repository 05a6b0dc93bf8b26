#pragma once
// One read transfer as a state machine without sockets or clocks of its own:
// the caller feeds it the datagrams of the peer and the current time, and it
// hands back the datagrams to send. Blocks of the current window stay in
// memory for retransmission; block numbers roll over from 65535 to 0.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "service/block_source.h"
#include "service/tftp_options.h"

namespace kestrix::tftp {

using Clock = std::chrono::steady_clock;

// The longest wait between two sends of the same packet when the client
// named no timeout.
inline constexpr std::chrono::milliseconds kMaxBackoff{3000};

struct SessionLimits {
    // Used when the client did not name a timeout of its own.
    std::chrono::milliseconds retransmit{1000};
    // Sends of the same packet after the first before the session gives up.
    int max_retries = 5;
};

enum class SessionResult { kRunning, kComplete, kTimedOut, kPeerError, kReadError, kProtocolError };

const char* ResultName(SessionResult result);

class Session {
public:
    using Send = std::function<void(std::span<const uint8_t>)>;

    Session(std::unique_ptr<BlockSource> source, TransferOptions options, SessionLimits limits);

    // Sends the OACK, or the first window when no option was accepted.
    void Start(Clock::time_point now, const Send& send);
    // A datagram from the peer of this transfer.
    void OnDatagram(std::span<const uint8_t> datagram, Clock::time_point now, const Send& send);
    // Call when now >= Deadline(): retransmits or gives up.
    void OnTimer(Clock::time_point now, const Send& send);
    // Sends the current packets again at once: the peer repeated its
    // request before it saw our first answer.
    void Resend(Clock::time_point now, const Send& send);
    // True once the peer acknowledged anything of this transfer.
    bool Progressed() const { return !awaiting_oack_ack_ && acked_ > 0; }

    Clock::time_point Deadline() const { return deadline_; }
    bool Done() const { return result_ != SessionResult::kRunning; }
    SessionResult Result() const { return result_; }
    // Data bytes the peer acknowledged.
    uint64_t BytesAcked() const { return bytes_acked_; }
    // The peer's error text, or what went wrong.
    const std::string& Detail() const { return detail_; }
    const TransferOptions& Options() const { return options_; }

private:
    bool FillWindow(const Send& send);
    void SendCurrent(Clock::time_point now, const Send& send);
    void Finish(SessionResult result, std::string detail);

    std::unique_ptr<BlockSource> source_;
    TransferOptions options_;
    SessionLimits limits_;
    std::chrono::milliseconds interval_;
    bool awaiting_oack_ack_ = false;
    std::vector<uint8_t> oack_;
    // DATA packets of blocks acked_ + 1 ... acked_ + window_.size().
    std::deque<std::vector<uint8_t>> window_;
    std::vector<std::vector<uint8_t>> spare_;  // buffers to reuse
    uint64_t acked_ = 0;                       // index of the last acknowledged block
    uint64_t next_block_ = 1;                  // index of the next block to read
    bool eof_ = false;                         // the last (short) block has been read
    uint64_t bytes_acked_ = 0;
    int retries_ = 0;
    Clock::time_point deadline_ = Clock::time_point::max();
    SessionResult result_ = SessionResult::kRunning;
    std::string detail_;
};

}  // namespace kestrix::tftp
