#pragma once
// For tests that end processes by name (the upgrade ends every FileServer):
// whether this process runs under tests/support/own-pid-namespace, so that
// the only processes it can see and end are its own, and what /proc shows
// of processes by name.

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrix::testing {

// PID 1 is the launcher's bash, recognisable by the name it runs under.
inline bool InOwnPidNamespace() {
    std::ifstream in("/proc/1/cmdline", std::ios::binary);
    const std::string cmdline((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < cmdline.size();) {
        const size_t end = cmdline.find('\0', start);
        args.push_back(cmdline.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return ::getppid() == 1 && args.size() > 3 && args[3] == "kx-own-pid-namespace";
}

// Every process /proc lists whose command name is `comm`, zombies included.
inline std::vector<pid_t> ProcessesNamed(const std::string& comm) {
    std::vector<pid_t> found;
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) return found;
    while (const dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/comm");
        std::string name;
        if (std::getline(in, name) && name == comm) found.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(dir);
    return found;
}

// True once no process named `comm` is left (an ended one may take a moment
// to be reaped by PID 1).
inline bool NoneLeftNamed(const std::string& comm, std::chrono::milliseconds within) {
    const auto end = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (ProcessesNamed(comm).empty()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace kestrix::testing
