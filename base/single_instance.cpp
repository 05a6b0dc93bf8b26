#include "base/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/user_paths.h"

namespace kestrix {

namespace {

int OpenLockFile(const std::string& path) {
    // Open an existing file without O_CREAT first: in a sticky, world-writable
    // /tmp the kernel may refuse O_CREAT on another user's file even when it
    // is readable. A read-only descriptor is enough for flock. O_NOFOLLOW
    // keeps a planted symbolic link from redirecting us.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
        // Someone created it between our two calls: open theirs.
    }
    return -1;
}

}  // namespace

SingleInstanceLock::SingleInstanceLock(std::string_view name) : path_(LockPathFor(name)) {}

SingleInstanceLock::~SingleInstanceLock() {
    // The file stays: removing it could let a third copy lock a fresh file
    // while a second still holds the old one.
    if (fd_ >= 0) ::close(fd_);
}

std::string SingleInstanceLock::LockPathFor(std::string_view name) {
    std::string dir = "/tmp";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat st {};
        if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) dir = runtime;
    }
    if (dir.back() != '/') dir += '/';
    // In the user's runtime folder the lock sits in kestrix/, beside an
    // installed copy's scratch database.
    if (dir != "/tmp/") dir += "kestrix/";
    return dir + std::string(name) + ".lock";
}

SingleInstanceLock::Result SingleInstanceLock::Acquire() {
    if (fd_ >= 0) return Result::Acquired;
    // The kestrix folder of the runtime folder may not exist yet; /tmp does.
    if (const std::string parent = path_.substr(0, path_.rfind('/') + 1); parent != "/tmp/")
        EnsureUserFolder(parent);
    // Close-on-exec: programs we start (the file server) must not inherit
    // the lock and keep it after we end.
    int fd = OpenLockFile(path_);
    if (fd < 0) return Result::Unavailable;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

}  // namespace kestrix
