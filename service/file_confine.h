#pragma once
// Opening a requested file so that only regular files directly inside the
// served directory can ever be read: no path separators of either kind, no
// "." or "..", no symlink followed, no device, FIFO, socket or directory.

#include <cstdint>
#include <string>
#include <string_view>

#include "service/tftp_packet.h"

namespace kestrix::tftp {

// True when `name` can only ever mean an entry of the served directory.
bool IsPlainFileName(std::string_view name);

struct OpenedFile {
    int fd = -1;  // owned by the caller when >= 0
    uint64_t size = 0;
    ErrorCode error = ErrorCode::kNotDefined;  // when fd < 0
    std::string message;
};

// Opens `name` read-only relative to the directory descriptor `dir_fd`.
OpenedFile OpenConfined(int dir_fd, std::string_view name);

}  // namespace kestrix::tftp
