#pragma once
// TFTP packets: reading the requests and acknowledgements that come in, and
// building the DATA, OACK and ERROR packets that go out. Nothing here touches
// a socket, so every byte a peer can send is checked in one testable place.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrix::tftp {

enum class Opcode : uint16_t { kRrq = 1, kWrq = 2, kData = 3, kAck = 4, kError = 5, kOack = 6 };

enum class ErrorCode : uint16_t {
    kNotDefined = 0,
    kFileNotFound = 1,
    kAccessViolation = 2,
    kDiskFull = 3,
    kIllegalOperation = 4,
    kUnknownTransferId = 5,
    kFileExists = 6,
    kNoSuchUser = 7,
    kOptionRefused = 8,
};

enum class Mode { kOctet, kNetascii };

// Requests longer than this are not read: a name of a few hundred bytes and
// a handful of options fit many times over.
inline constexpr size_t kMaxRequestBytes = 4096;
inline constexpr size_t kDataHeaderBytes = 4;

struct Request {
    Opcode opcode = Opcode::kRrq;
    std::string filename;
    Mode mode = Mode::kOctet;
    // Option names lower-cased, values as sent, in the order sent; a name
    // repeated later is dropped.
    std::vector<std::pair<std::string, std::string>> options;
};

// Why a request was not read, and what the peer is told.
struct RequestError {
    ErrorCode code = ErrorCode::kIllegalOperation;
    std::string message;
};

struct ParsedRequest {
    std::optional<Request> request;
    RequestError error;  // meaningful when request is empty
};

// Reads a RRQ or WRQ datagram. Anything else, a missing terminator, an empty
// name, or a mode other than octet/netascii gives an error to send back.
ParsedRequest ParseRequest(std::span<const uint8_t> datagram);

// The opcode of a datagram, when it has one.
std::optional<Opcode> PeekOpcode(std::span<const uint8_t> datagram);
// The block number of an ACK datagram (exactly 4 bytes are required; some
// clients pad, so longer ones are accepted and the rest ignored).
std::optional<uint16_t> ParseAck(std::span<const uint8_t> datagram);

std::vector<uint8_t> BuildError(ErrorCode code, std::string_view message);
std::vector<uint8_t> BuildOack(const std::vector<std::pair<std::string, std::string>>& options);
// Writes the DATA header for `block` into the first four bytes of `packet`.
void WriteDataHeader(std::span<uint8_t> packet, uint16_t block);

// The standard text for an error code, used when there is nothing better.
std::string_view ErrorText(ErrorCode code);

}  // namespace kestrix::tftp
