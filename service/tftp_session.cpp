#include "service/tftp_session.h"

#include <algorithm>
#include <cstring>

namespace kestrix::tftp {

namespace {

// A peer's error text, made safe for one log line.
std::string PrintableText(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t c : bytes) {
        if (c == 0 || out.size() >= 200) break;
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace

const char* ResultName(SessionResult result) {
    switch (result) {
        case SessionResult::kRunning:
            return "running";
        case SessionResult::kComplete:
            return "complete";
        case SessionResult::kTimedOut:
            return "timed out";
        case SessionResult::kPeerError:
            return "peer error";
        case SessionResult::kReadError:
            return "read error";
        case SessionResult::kProtocolError:
            return "protocol error";
    }
    return "?";
}

Session::Session(std::unique_ptr<BlockSource> source, TransferOptions options, SessionLimits limits)
    : source_(std::move(source)),
      options_(std::move(options)),
      limits_(limits),
      interval_(options_.timeout
                    ? std::chrono::duration_cast<std::chrono::milliseconds>(*options_.timeout)
                    : limits.retransmit) {}

void Session::Start(Clock::time_point now, const Send& send) {
    if (!options_.accepted.empty()) {
        oack_ = BuildOack(options_.accepted);
        awaiting_oack_ack_ = true;
    } else if (!FillWindow(send)) {
        return;
    }
    SendCurrent(now, send);
}

bool Session::FillWindow(const Send& send) {
    while (!eof_ && window_.size() < options_.window_size) {
        std::vector<uint8_t> packet;
        if (!spare_.empty()) {
            packet = std::move(spare_.back());
            spare_.pop_back();
        }
        packet.resize(kDataHeaderBytes + options_.block_size);
        auto n = source_->Read(std::span(packet).subspan(kDataHeaderBytes));
        if (!n) {
            auto error = BuildError(ErrorCode::kNotDefined, "Read error");
            send(error);
            Finish(SessionResult::kReadError, "read error");
            return false;
        }
        packet.resize(kDataHeaderBytes + *n);
        WriteDataHeader(packet, static_cast<uint16_t>(next_block_ & 0xFFFF));
        ++next_block_;
        if (*n < options_.block_size) eof_ = true;
        window_.push_back(std::move(packet));
    }
    return true;
}

void Session::SendCurrent(Clock::time_point now, const Send& send) {
    if (awaiting_oack_ack_) {
        send(oack_);
    } else {
        for (const auto& packet : window_) send(packet);
    }
    // A timeout the client named is kept exactly. Otherwise each retry waits
    // twice as long, up to a few seconds: a client that only answers a
    // repeated block from its own timer gets the quiet moment it needs.
    auto wait = interval_;
    if (!options_.timeout) {
        auto cap = std::max(interval_, kMaxBackoff);
        for (int i = 0; i < retries_ && wait < cap; ++i) wait *= 2;
        wait = std::min(wait, cap);
    }
    deadline_ = now + wait;
}

void Session::OnDatagram(std::span<const uint8_t> datagram, Clock::time_point now,
                         const Send& send) {
    if (Done()) return;
    auto op = PeekOpcode(datagram);
    if (op == Opcode::kError) {
        std::string text = datagram.size() > 4 ? PrintableText(datagram.subspan(4)) : "";
        Finish(SessionResult::kPeerError, text);
        return;
    }
    auto ack = ParseAck(datagram);
    if (!ack) {
        send(BuildError(ErrorCode::kIllegalOperation, "Illegal TFTP operation"));
        Finish(SessionResult::kProtocolError, "unexpected packet");
        return;
    }
    if (awaiting_oack_ack_) {
        if (*ack != 0) return;  // stray; the OACK is sent again on time-out
        awaiting_oack_ack_ = false;
        oack_.clear();
    } else {
        // Which block of the window this acknowledges, counted past the last
        // one acknowledged; 0 is a duplicate and anything beyond the window
        // an old or bogus ACK. Neither is answered: answering duplicates
        // would double every later packet (the sorcerer's apprentice).
        uint16_t step = static_cast<uint16_t>(*ack - static_cast<uint16_t>(acked_ & 0xFFFF));
        if (step == 0 || step > window_.size()) return;
        for (uint16_t i = 0; i < step; ++i) {
            bytes_acked_ += window_.front().size() - kDataHeaderBytes;
            spare_.push_back(std::move(window_.front()));
            window_.pop_front();
        }
        acked_ += step;
        if (eof_ && window_.empty()) {
            deadline_ = Clock::time_point::max();
            Finish(SessionResult::kComplete, "");
            return;
        }
    }
    retries_ = 0;
    if (!FillWindow(send)) return;
    SendCurrent(now, send);
}

void Session::OnTimer(Clock::time_point now, const Send& send) {
    if (Done() || now < deadline_) return;
    if (++retries_ > limits_.max_retries) {
        send(BuildError(ErrorCode::kNotDefined, "Timed out"));
        Finish(SessionResult::kTimedOut,
               "no answer after " + std::to_string(limits_.max_retries) + " retransmissions");
        return;
    }
    SendCurrent(now, send);
}

void Session::Resend(Clock::time_point now, const Send& send) {
    if (!Done()) SendCurrent(now, send);
}

void Session::Finish(SessionResult result, std::string detail) {
    result_ = result;
    detail_ = std::move(detail);
    deadline_ = Clock::time_point::max();
    window_.clear();
    spare_.clear();
}

}  // namespace kestrix::tftp
