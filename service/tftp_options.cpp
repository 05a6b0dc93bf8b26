#include "service/tftp_options.h"

#include <algorithm>

namespace kestrix::tftp {

std::optional<uint64_t> ParseOptionNumber(const std::string& text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

TransferOptions NegotiateOptions(const Request& request, uint64_t transfer_size) {
    TransferOptions out;
    std::optional<uint64_t> window_asked;
    for (const auto& [name, value] : request.options) {
        auto number = ParseOptionNumber(value);
        if (!number) continue;
        if (name == "blksize") {
            if (*number < kMinBlockSize) continue;
            // A larger request is answered with the largest size there is.
            out.block_size = static_cast<uint32_t>(std::min<uint64_t>(*number, kMaxBlockSize));
            out.accepted.emplace_back(name, std::to_string(out.block_size));
        } else if (name == "tsize") {
            out.accepted.emplace_back(name, std::to_string(transfer_size));
        } else if (name == "timeout") {
            // The server must honour the timeout exactly or not at all.
            if (*number < kMinTimeoutSeconds || *number > kMaxTimeoutSeconds) continue;
            out.timeout = std::chrono::seconds(*number);
            out.accepted.emplace_back(name, std::to_string(*number));
        } else if (name == "windowsize") {
            if (*number < 1 || *number > 65535) continue;
            window_asked = *number;
            out.accepted.emplace_back(name, "");  // value fixed below, once blksize is known
        }
    }
    if (window_asked) {
        uint64_t fit = std::max<uint64_t>(1, kMaxWindowBytes / out.block_size);
        out.window_size =
            static_cast<uint32_t>(std::min<uint64_t>({*window_asked, kMaxWindowBlocks, fit}));
        for (auto& [name, value] : out.accepted) {
            if (name == "windowsize") value = std::to_string(out.window_size);
        }
    }
    return out;
}

}  // namespace kestrix::tftp
