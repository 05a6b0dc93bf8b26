// FileServer: the read-only TFTP server the upgrade page starts so devices
// can fetch a firmware file. It reads FileServer.ini beside itself (or the
// file given with --config) and serves the files directly inside
// [SERVER] Directory until it gets SIGTERM or SIGINT.

#include <climits>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/signalfd.h>
#include <unistd.h>

#include "service/server_config.h"
#include "service/server_loop.h"
#include "service/tftp_options.h"
#include "service/transfer_log.h"

namespace {

using namespace kestrix::tftp;

constexpr const char* kUsage =
    "usage: FileServer [--config FILE]\n"
    "Serves the files directly inside [SERVER] Directory of FileServer.ini (beside\n"
    "this program unless --config names another file) over TFTP, read-only, on\n"
    "UDP port [SERVER] Port (default 69). Stops on SIGTERM or SIGINT.\n"
    "Test options: --max-sessions N, --retransmit-ms N, --retries N\n";

std::string OwnFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    return FolderOf(path);
}

bool ReadCount(const char* text, uint64_t low, uint64_t high, uint64_t* out) {
    auto number = ParseOptionNumber(text);
    if (!number || *number < low || *number > high) return false;
    *out = *number;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string ini_path;
    LoopSettings settings;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool has_value = i + 1 < argc;
        uint64_t number = 0;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--config" && has_value) {
            ini_path = argv[++i];
        } else if (arg == "--max-sessions" && has_value && ReadCount(argv[++i], 1, 4096, &number)) {
            settings.max_sessions = number;
        } else if (arg == "--retransmit-ms" && has_value &&
                   ReadCount(argv[++i], 10, 255000, &number)) {
            settings.limits.retransmit = std::chrono::milliseconds(number);
        } else if (arg == "--retries" && has_value && ReadCount(argv[++i], 0, 100, &number)) {
            settings.limits.max_retries = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "FileServer: bad argument %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (ini_path.empty()) ini_path = OwnFolder() + "/FileServer.ini";

    std::string error;
    auto config = LoadServerConfig(ini_path, &error);
    if (!config) {
        std::fprintf(stderr, "FileServer: %s\n", error.c_str());
        return 2;
    }
    settings.config = *config;

    // The stop signals are taken through a descriptor the loop waits on, so
    // a stop is seen at once, never between a check and a wait.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &stop, nullptr) != 0) return 1;
    int stop_fd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    if (stop_fd < 0) {
        std::perror("FileServer: signalfd");
        return 1;
    }
    TransferLog log(FolderOf(ini_path));
    int status = RunServer(settings, stop_fd, log);
    close(stop_fd);
    return status;
}
