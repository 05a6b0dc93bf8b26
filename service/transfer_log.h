#pragma once
// One line per transfer (time, peer, file, bytes, result) appended to
// FileServer.log beside the settings file, or written to standard error when
// that folder cannot be written.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrix::tftp {

// A file name as it goes into the log: quoted, with every byte outside
// printable ASCII (and the quote and backslash) written as \xNN.
std::string QuoteForLog(std::string_view text);

class TransferLog {
public:
    // A log that is already larger than this is moved to FileServer.log.1
    // when the server starts, so it cannot grow without end.
    static constexpr long kRotateBytes = 4L << 20;

    explicit TransferLog(const std::string& folder);
    ~TransferLog();
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    void Transfer(std::string_view peer, std::string_view file, uint64_t bytes,
                  std::string_view result);
    void Note(std::string_view text);
    bool ToFile() const { return file_ != nullptr; }

private:
    void Line(const std::string& text);
    FILE* file_ = nullptr;
};

}  // namespace kestrix::tftp
