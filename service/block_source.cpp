#include "service/block_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kestrix::tftp {

namespace {

// Raw bytes of a descriptor or of memory.
class RawReader {
public:
    explicit RawReader(int fd) : fd_(fd) {}
    explicit RawReader(std::vector<uint8_t> bytes) : memory_(std::move(bytes)) {}
    ~RawReader() {
        if (fd_ >= 0) close(fd_);
    }
    RawReader(const RawReader&) = delete;
    RawReader& operator=(const RawReader&) = delete;

    std::optional<size_t> Read(std::span<uint8_t> out) {
        if (fd_ < 0) {
            size_t n = std::min(out.size(), memory_.size() - pos_);
            // An empty file's vector may hold no buffer at all.
            if (n > 0) std::memcpy(out.data(), memory_.data() + pos_, n);
            pos_ += n;
            return n;
        }
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = read(fd_, out.data() + done, out.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

private:
    int fd_ = -1;
    std::vector<uint8_t> memory_;
    size_t pos_ = 0;
};

class OctetSource : public BlockSource {
public:
    explicit OctetSource(std::unique_ptr<RawReader> raw) : raw_(std::move(raw)) {}
    std::optional<size_t> Read(std::span<uint8_t> out) override { return raw_->Read(out); }

private:
    std::unique_ptr<RawReader> raw_;
};

class NetasciiSource : public BlockSource {
public:
    explicit NetasciiSource(std::unique_ptr<RawReader> raw) : raw_(std::move(raw)) {}

    std::optional<size_t> Read(std::span<uint8_t> out) override {
        size_t done = 0;
        while (done < out.size()) {
            // The second byte of a pair that did not fit the last block.
            if (carry_) {
                out[done++] = *carry_;
                carry_.reset();
                continue;
            }
            if (in_pos_ == in_len_) {
                auto n = raw_->Read(in_);
                if (!n) return std::nullopt;
                if (*n == 0) break;
                in_pos_ = 0;
                in_len_ = *n;
            }
            uint8_t c = in_[in_pos_++];
            if (c == '\n') {
                out[done++] = '\r';
                carry_ = '\n';
            } else if (c == '\r') {
                out[done++] = '\r';
                carry_ = '\0';
            } else {
                out[done++] = c;
            }
        }
        return done;
    }

private:
    std::unique_ptr<RawReader> raw_;
    uint8_t in_[16384];
    size_t in_pos_ = 0, in_len_ = 0;
    std::optional<uint8_t> carry_;
};

}  // namespace

std::unique_ptr<BlockSource> MakeOctetSource(int fd) {
    return std::make_unique<OctetSource>(std::make_unique<RawReader>(fd));
}

std::unique_ptr<BlockSource> MakeNetasciiSource(int fd) {
    return std::make_unique<NetasciiSource>(std::make_unique<RawReader>(fd));
}

std::unique_ptr<BlockSource> MakeMemorySource(std::vector<uint8_t> bytes, bool netascii) {
    auto raw = std::make_unique<RawReader>(std::move(bytes));
    if (netascii) return std::make_unique<NetasciiSource>(std::move(raw));
    return std::make_unique<OctetSource>(std::move(raw));
}

std::optional<uint64_t> NetasciiSize(int fd) {
    uint8_t buf[65536];
    uint64_t size = 0;
    off_t offset = 0;
    for (;;) {
        ssize_t n = pread(fd, buf, sizeof buf, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return size;
        offset += n;
        size += static_cast<uint64_t>(n);
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n' || buf[i] == '\r') ++size;
        }
    }
}

std::vector<uint8_t> ToNetascii(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (uint8_t c : bytes) {
        if (c == '\n') {
            out.push_back('\r');
            out.push_back('\n');
        } else if (c == '\r') {
            out.push_back('\r');
            out.push_back('\0');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace kestrix::tftp
