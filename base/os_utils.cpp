#include "base/os_utils.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "base/profile.h"
#include "base/text_utils.h"
#include "kestrix_version.h"

// The version stamp FileVersionText finds in our executables. The leading
// and trailing 0x01 bytes fence it so that a scan cannot mistake a piece of
// some other string for it.
extern "C" {
__attribute__((used)) const char kestrix_file_version_stamp[] =
    "\x01KXVER:" KESTRIX_VERSION_TEXT "\x01";
}

namespace kestrix {

namespace {

constexpr std::string_view kStampPrefix = "\x01KXVER:";
// No executable of ours comes near this; a bigger file is not ours.
constexpr off_t kMaxScannedFileBytes = off_t{512} << 20;

std::string ReadLink(const std::string& path) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        if (buffer.size() >= (size_t{1} << 16)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool IsDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// "a.b.c.d" followed by the closing fence; returns the dotted text.
std::optional<std::string> ParseStampedVersion(std::string_view rest) {
    size_t end = rest.find('\x01');
    if (end == std::string_view::npos || end > 64) return std::nullopt;
    std::string_view text = rest.substr(0, end);
    int parts = 0;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (!IsDigits(part) || part.size() > 5) return std::nullopt;
        ++parts;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (parts != 4) return std::nullopt;
    return std::string(text);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string FileNameOf(std::string_view path) {
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsZombieOrGone(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return true;
    // The command name in parentheses may hold anything, so the state is
    // the first field after the LAST ')'.
    size_t paren = line.rfind(')');
    if (paren == std::string::npos || paren + 2 >= line.size()) return true;
    char state = line[paren + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

std::vector<std::string> SplitParameters(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    bool inWord = false;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) out.push_back(current);
            current.clear();
            inWord = false;
        } else {
            current += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(current);
    return out;
}

// In the child after fork: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(const std::string& dir, char* const* argv, int errorPipe) {
    int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        if (devNull > STDERR_FILENO) ::close(devNull);
    }
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
        // Starting in the wrong folder would make the program read the
        // wrong settings: report it as a failed start.
        int err = errno;
        (void)!::write(errorPipe, &err, sizeof err);
        ::_exit(127);
    }
    ::execv(argv[0], argv);
    int err = errno;
    (void)!::write(errorPipe, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

COperateSystemInfo::COperateSystemInfo() = default;

std::string COperateSystemInfo::ProgramFolder() {
    std::string exe = ReadLink("/proc/self/exe");
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return exe.substr(0, slash + 1);
}

const std::string& COperateSystemInfo::ProgramFolderCached() {
    static const std::string folder = ProgramFolder();
    return folder;
}

std::string COperateSystemInfo::FileVersionText(const std::string& path) {
    if (path.empty()) return {};
    if (SameFile(path, "/proc/self/exe")) return KESTRIX_VERSION_TEXT;

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxScannedFileBytes) {
        ::close(fd);
        return {};
    }
    // Read in chunks, keeping the tail of the previous chunk so that a stamp
    // split across two reads is still found.
    constexpr size_t kChunk = 1 << 20;
    constexpr size_t kKeep = 96;
    std::string window;
    std::vector<char> chunk(kChunk);
    std::string result;
    for (;;) {
        ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        window.append(chunk.data(), static_cast<size_t>(n));
        size_t pos = 0;
        while ((pos = window.find(kStampPrefix, pos)) != std::string::npos) {
            auto version =
                ParseStampedVersion(std::string_view(window).substr(pos + kStampPrefix.size()));
            if (version) {
                result = *version;
                break;
            }
            ++pos;
        }
        if (!result.empty()) break;
        if (window.size() > kKeep) window.erase(0, window.size() - kKeep);
    }
    ::close(fd);
    return result;
}

bool COperateSystemInfo::RunProgram(const std::string& path, const std::string& parameters,
                                    bool wait) {
    if (path.empty()) return false;
    std::vector<std::string> words = SplitParameters(parameters);
    std::vector<std::string> args;
    args.push_back(path);
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    // The exec result comes back through a close-on-exec pipe: EOF means the
    // exec succeeded, an errno value means it did not.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;

    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        if (wait) ExecChild(dir, argv.data(), pipeFds[1]);
        // Not waited for: start it from a grandchild that init adopts, so
        // that it never lingers as our zombie after it ends.
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild < 0) {
            int err = errno;
            (void)!::write(pipeFds[1], &err, sizeof err);
            ::_exit(127);
        }
        if (grandchild == 0) ExecChild(dir, argv.data(), pipeFds[1]);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int err = 0;
    ssize_t got;
    do {
        got = ::read(pipeFds[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    bool started = got == 0;

    if (!wait || !started) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return started;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

std::string ProcessExecutableName(pid_t pid) {
    if (pid <= 0) return {};
    const std::string base = "/proc/" + std::to_string(pid);
    std::string exe = ReadLink(base + "/exe");
    if (!exe.empty()) {
        constexpr std::string_view kDeleted = " (deleted)";
        if (exe.size() > kDeleted.size() &&
            exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
            exe.resize(exe.size() - kDeleted.size());
        }
        return FileNameOf(exe);
    }
    // Another user's process without the right to read its exe link: fall
    // back to the program named on its command line.
    std::ifstream in(base + "/cmdline", std::ios::binary);
    std::string first;
    if (!std::getline(in, first, '\0') || first.empty()) return {};
    return FileNameOf(first);
}

std::optional<pid_t> COperateSystemInfo::FindProcessByName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    DIR* dir = ::opendir("/proc");
    if (!dir) return std::nullopt;
    const pid_t self = ::getpid();
    std::optional<pid_t> found;
    while (struct dirent* entry = ::readdir(dir)) {
        if (!IsDigits(entry->d_name)) continue;
        char* end = nullptr;
        long value = std::strtol(entry->d_name, &end, 10);
        if (value <= 0 || value > 0x3fffffff) continue;
        pid_t pid = static_cast<pid_t>(value);
        // Never ourselves: ending the caller is never what is meant.
        if (pid == self) continue;
        if (ProcessExecutableName(pid) != name) continue;
        if (IsZombieOrGone(pid)) continue;
        found = pid;
        break;
    }
    ::closedir(dir);
    return found;
}

void COperateSystemInfo::TerminateProcessesByName(std::string_view name) {
    TerminateProcessesByName(name, [](pid_t pid, int sig) { return ::kill(pid, sig); });
}

int COperateSystemInfo::TerminateProcessesByName(std::string_view name, const KillFunction& kill,
                                                 int graceMs) {
    int signalled = 0;
    std::optional<pid_t> lastKilled;
    for (;;) {
        std::optional<pid_t> pid = FindProcessByName(name);
        if (!pid) return signalled;
        if (lastKilled && *pid == *lastKilled) {
            // Signalled but still there: give it a moment to go, and stop
            // if it will not, rather than loop on it for ever.
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
            while (!IsZombieOrGone(*pid) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (!IsZombieOrGone(*pid)) return signalled;
            continue;
        }
        if (kill(*pid, SIGKILL) != 0) return signalled;
        ++signalled;
        lastKilled = pid;
    }
}

}  // namespace kestrix
