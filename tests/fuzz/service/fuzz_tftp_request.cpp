// Arbitrary bytes as a request datagram: parsing, option negotiation, the
// name check and the OACK built from the result must never crash, and what
// is accepted must be within the protocol's ranges.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "service/file_confine.h"
#include "service/tftp_options.h"
#include "service/tftp_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrix::tftp;
    auto parsed = ParseRequest(std::span(data, size));
    if (!parsed.request) {
        (void)BuildError(parsed.error.code, parsed.error.message);
        return 0;
    }
    (void)IsPlainFileName(parsed.request->filename);
    auto options = NegotiateOptions(*parsed.request, size);
    if (options.block_size < kMinBlockSize || options.block_size > kMaxBlockSize ||
        options.window_size < 1 || options.window_size > kMaxWindowBlocks ||
        static_cast<uint64_t>(options.window_size) * options.block_size >
            std::max<uint64_t>(kMaxWindowBytes, options.block_size)) {
        std::abort();
    }
    auto oack = BuildOack(options.accepted);
    if (oack.size() < 2) std::abort();
    return 0;
}
