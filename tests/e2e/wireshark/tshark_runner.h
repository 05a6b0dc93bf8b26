#pragma once
// Reads captures back through tshark with the dissector loaded, and writes
// small captures of hand-made datagrams.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrix::dissector_test {

// One row per frame the filter keeps; each cell holds every occurrence of
// its field in the frame, in order.
using Cell = std::vector<std::string>;
using Row = std::vector<Cell>;

struct TsharkResult {
    int status = -1;
    std::vector<Row> rows;
    std::string errors;  // what tshark wrote to stderr
};

// tshark -r capture -Y filter -T fields -e field..., with kestrix.lua loaded
// and no plugins or preferences of the machine (an installed copy of the
// dissector would otherwise be registered twice).
TsharkResult Tshark(const std::string& capture, const std::string& filter,
                    const std::vector<std::string>& fields);
// The full text (-V) of every frame.
std::string TsharkVerbose(const std::string& capture, std::string* errors = nullptr);

// One UDP datagram of a hand-made capture.
struct RawDatagram {
    std::string src, dst;  // dotted IPv4
    uint16_t sport = 0, dport = 0;
    std::vector<uint8_t> bytes;  // the UDP payload
};
// Writes a classic pcap file of raw IPv4 frames.
bool WritePcap(const std::string& path, const std::vector<RawDatagram>& datagrams);

}  // namespace kestrix::dissector_test
