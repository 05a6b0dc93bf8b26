#include "service/file_confine.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::tftp {

namespace {

OpenedFile Refuse(ErrorCode code) {
    OpenedFile out;
    out.error = code;
    out.message = std::string(ErrorText(code));
    return out;
}

OpenedFile FromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return Refuse(ErrorCode::kFileNotFound);
        default:
            return Refuse(ErrorCode::kAccessViolation);  // EACCES, ELOOP (a symlink), ...
    }
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0') return false;
    }
    return true;
}

OpenedFile OpenConfined(int dir_fd, std::string_view name) {
    if (!IsPlainFileName(name)) return Refuse(ErrorCode::kAccessViolation);
    std::string path(name);
    // Look before opening, so a device is never opened at all (opening some
    // has side effects); the fstat after the open closes the race with a
    // rename in between.
    struct stat before {};
    if (fstatat(dir_fd, path.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
    if (!S_ISREG(before.st_mode)) return Refuse(ErrorCode::kAccessViolation);
    int fd =
        openat(dir_fd, path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return FromErrno(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return Refuse(ErrorCode::kAccessViolation);
    }
    // O_NONBLOCK only guarded the open against a FIFO swapped in; reads of a
    // regular file ignore it, but leave the descriptor plain anyway.
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    OpenedFile out;
    out.fd = fd;
    out.size = static_cast<uint64_t>(st.st_size);
    return out;
}

}  // namespace kestrix::tftp
