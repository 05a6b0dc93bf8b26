#pragma once
// One copy of the program per user session. The lock is an exclusive flock
// on a file named after the program's mutex name, so the kernel releases it
// when the holder ends in any way, crashes included. The CLI takes the same
// lock, because two tools cannot share the device ports.

#include <string>
#include <string_view>

namespace kestrix {

inline constexpr std::string_view kInstanceMutexName = "Lumra_Kestrix";

class SingleInstanceLock {
public:
    enum class Result {
        Acquired,       // we are the only copy; the lock stays until we end
        HeldElsewhere,  // another process holds it
        Unavailable,    // the lock file could not be opened: no proof of another copy
    };

    explicit SingleInstanceLock(std::string_view name = kInstanceMutexName);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Tries once, without waiting.
    Result Acquire();
    bool Held() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // "$XDG_RUNTIME_DIR/kestrix/<name>.lock" when XDG_RUNTIME_DIR names an
    // existing directory (Acquire makes the kestrix folder), else
    // "/tmp/<name>.lock".
    static std::string LockPathFor(std::string_view name);

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace kestrix
