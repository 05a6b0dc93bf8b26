#pragma once
// The bytes of a transfer, read strictly in order: the file as it is (octet
// mode) or converted to netascii (LF -> CR LF, a bare CR -> CR NUL).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kestrix::tftp {

class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Fills `out` as far as the data lasts; returns the bytes written, fewer
    // than out.size() only at the end. nullopt on a read error.
    virtual std::optional<size_t> Read(std::span<uint8_t> out) = 0;
};

// Reads a file descriptor (owned: closed on destruction) from its start.
std::unique_ptr<BlockSource> MakeOctetSource(int fd);
std::unique_ptr<BlockSource> MakeNetasciiSource(int fd);
// Any source over bytes in memory, for tests.
std::unique_ptr<BlockSource> MakeMemorySource(std::vector<uint8_t> bytes, bool netascii);

// The size of a file once converted to netascii (reads it through with
// pread, leaving the offset alone); nullopt on a read error.
std::optional<uint64_t> NetasciiSize(int fd);

// Converts a whole buffer, for tests and for the size count.
std::vector<uint8_t> ToNetascii(std::span<const uint8_t> bytes);

}  // namespace kestrix::tftp
