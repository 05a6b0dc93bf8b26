// The program's writable places: beside it, or in the user's own folders.

#include "base/user_paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/os_utils.h"

namespace kestrix {
namespace {

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

// An XDG variable counts only when it holds an absolute path; a relative
// one is to be ignored.
std::string XdgDir(const PathEnvironment& env, const char* name) {
    const char* v = env.getenv ? env.getenv(name) : nullptr;
    if (v == nullptr || v[0] != '/') return {};
    return WithSlash(v);
}

}  // namespace

PathEnvironment PathEnvironment::System() {
    PathEnvironment env;
    env.getenv = [](const char* name) { return std::getenv(name); };
    env.writable = [](const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; };
    env.fileExists = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    env.home = [] {
        if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') return std::string(h);
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            return std::string(pw->pw_dir);
        return std::string();
    };
    return env;
}

UserPaths ResolveUserPaths(const std::string& programDir, const PathEnvironment& env) {
    UserPaths p;
    p.programDir = WithSlash(programDir);
    p.installed = !p.programDir.empty() && env.writable && !env.writable(p.programDir);
    if (!p.installed) {
        p.settingsDir = p.programDir;
        p.scratchDir = p.programDir;
        p.stateDir = p.programDir + "service/";
        return p;
    }
    const std::string home = env.home ? WithSlash(env.home()) : std::string();
    auto underHome = [&](const char* xdg, const char* fallback) {
        std::string dir = XdgDir(env, xdg);
        if (!dir.empty()) return dir;
        return home.empty() ? std::string() : home + fallback;
    };
    const std::string state = underHome("XDG_STATE_HOME", ".local/state/");
    const std::string config = underHome("XDG_CONFIG_HOME", ".config/");
    if (state.empty()) {
        // No home folder and no XDG folders: nowhere of the user's own, so
        // the program folder it is (the store then says it cannot write).
        p.settingsDir = p.programDir;
        p.scratchDir = p.programDir;
        p.stateDir = p.programDir + "service/";
        return p;
    }
    p.stateDir = state + "kestrix/";
    // Without a runtime folder (no login session) the scratch database goes
    // with the file server's files: still the user's own, never the
    // program folder.
    const std::string runtime = XdgDir(env, "XDG_RUNTIME_DIR");
    p.scratchDir = runtime.empty() ? p.stateDir : runtime + "kestrix/";
    const std::string userSettings = config.empty() ? std::string() : config + "kestrix/";
    p.settingsDir =
        !userSettings.empty() && env.fileExists && env.fileExists(userSettings + "Setting.ini")
            ? userSettings
            : p.programDir;
    return p;
}

const UserPaths& CurrentUserPaths() {
    static const UserPaths paths =
        ResolveUserPaths(COperateSystemInfo::ProgramFolderCached(), PathEnvironment::System());
    return paths;
}

bool EnsureUserFolder(const std::string& dir) {
    if (dir.empty()) return false;
    std::string path;
    size_t at = 0;
    while (at != std::string::npos) {
        at = dir.find('/', at + 1);
        path = dir.substr(0, at);
        if (path.empty()) continue;
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace kestrix
