#include "service/tftp_packet.h"

#include <algorithm>
#include <cstring>

namespace kestrix::tftp {

namespace {

uint16_t ReadU16(std::span<const uint8_t> bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

void AppendU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

void AppendText(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Splits the NUL-terminated strings after the opcode. Returns false when the
// last string has no terminator.
bool SplitStrings(std::span<const uint8_t> body, std::vector<std::string_view>& out) {
    const char* p = reinterpret_cast<const char*>(body.data());
    size_t left = body.size();
    while (left > 0) {
        const void* nul = std::memchr(p, 0, left);
        if (!nul) return false;
        size_t len = static_cast<size_t>(static_cast<const char*>(nul) - p);
        out.emplace_back(p, len);
        p += len + 1;
        left -= len + 1;
    }
    return true;
}

ParsedRequest Fail(ErrorCode code, std::string message) {
    ParsedRequest r;
    r.error = {code, std::move(message)};
    return r;
}

}  // namespace

std::optional<Opcode> PeekOpcode(std::span<const uint8_t> datagram) {
    if (datagram.size() < 2) return std::nullopt;
    uint16_t op = ReadU16(datagram);
    if (op < 1 || op > 6) return std::nullopt;
    return static_cast<Opcode>(op);
}

ParsedRequest ParseRequest(std::span<const uint8_t> datagram) {
    auto op = PeekOpcode(datagram);
    if (!op || (*op != Opcode::kRrq && *op != Opcode::kWrq)) {
        return Fail(ErrorCode::kIllegalOperation, "Illegal TFTP operation");
    }
    if (datagram.size() > kMaxRequestBytes) {
        return Fail(ErrorCode::kIllegalOperation, "Request too long");
    }
    std::vector<std::string_view> strings;
    if (!SplitStrings(datagram.subspan(2), strings) || strings.size() < 2) {
        return Fail(ErrorCode::kIllegalOperation, "Malformed request");
    }
    Request req;
    req.opcode = *op;
    if (strings[0].empty()) return Fail(ErrorCode::kIllegalOperation, "Empty file name");
    req.filename = std::string(strings[0]);
    std::string mode = Lower(strings[1]);
    if (mode == "octet") {
        req.mode = Mode::kOctet;
    } else if (mode == "netascii") {
        req.mode = Mode::kNetascii;
    } else {
        return Fail(ErrorCode::kIllegalOperation, "Unsupported transfer mode");
    }
    // Options come in name/value pairs. Some clients pad the request with
    // NULs, which reads as empty names: option parsing stops at the first.
    for (size_t i = 2; i < strings.size(); i += 2) {
        if (strings[i].empty()) break;
        if (i + 1 >= strings.size()) {
            return Fail(ErrorCode::kIllegalOperation, "Option without a value");
        }
        std::string name = Lower(strings[i]);
        bool repeated = std::any_of(req.options.begin(), req.options.end(),
                                    [&](const auto& o) { return o.first == name; });
        if (!repeated) req.options.emplace_back(std::move(name), std::string(strings[i + 1]));
    }
    ParsedRequest out;
    out.request = std::move(req);
    return out;
}

std::optional<uint16_t> ParseAck(std::span<const uint8_t> datagram) {
    if (datagram.size() < 4 || PeekOpcode(datagram) != Opcode::kAck) return std::nullopt;
    return ReadU16(datagram.subspan(2));
}

std::vector<uint8_t> BuildError(ErrorCode code, std::string_view message) {
    std::vector<uint8_t> out;
    out.reserve(5 + message.size());
    AppendU16(out, static_cast<uint16_t>(Opcode::kError));
    AppendU16(out, static_cast<uint16_t>(code));
    if (message.empty()) message = ErrorText(code);
    // A NUL inside the text would end it early on the other side.
    AppendText(out, message.substr(0, std::min(message.find('\0'), size_t{400})));
    return out;
}

std::vector<uint8_t> BuildOack(const std::vector<std::pair<std::string, std::string>>& options) {
    std::vector<uint8_t> out;
    AppendU16(out, static_cast<uint16_t>(Opcode::kOack));
    for (const auto& [name, value] : options) {
        AppendText(out, name);
        AppendText(out, value);
    }
    return out;
}

void WriteDataHeader(std::span<uint8_t> packet, uint16_t block) {
    packet[0] = 0;
    packet[1] = static_cast<uint8_t>(Opcode::kData);
    packet[2] = static_cast<uint8_t>(block >> 8);
    packet[3] = static_cast<uint8_t>(block & 0xFF);
}

std::string_view ErrorText(ErrorCode code) {
    switch (code) {
        case ErrorCode::kFileNotFound:
            return "File not found";
        case ErrorCode::kAccessViolation:
            return "Access violation";
        case ErrorCode::kDiskFull:
            return "Disk full or allocation exceeded";
        case ErrorCode::kIllegalOperation:
            return "Illegal TFTP operation";
        case ErrorCode::kUnknownTransferId:
            return "Unknown transfer ID";
        case ErrorCode::kFileExists:
            return "File already exists";
        case ErrorCode::kNoSuchUser:
            return "No such user";
        case ErrorCode::kOptionRefused:
            return "Option negotiation refused";
        case ErrorCode::kNotDefined:
            break;
    }
    return "Error";
}

}  // namespace kestrix::tftp
