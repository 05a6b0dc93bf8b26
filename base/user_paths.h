#pragma once
// Where the program writes. A copy in a folder of its own that the user may
// write to (the build folder, an unpacked portable copy) keeps everything
// beside the executable, as it always has. An installed copy (a program
// folder it cannot write to, such as /usr/lib/kestrix) writes into the
// user's own folders instead:
//   scratch (data.mdb)             $XDG_RUNTIME_DIR/kestrix/
//   file server (FileServer.ini, .log)  $XDG_STATE_HOME/kestrix/ or ~/.local/state/kestrix/
// and reads ~/.config/kestrix/Setting.ini ($XDG_CONFIG_HOME) in place of
// the program folder's Setting.ini when the user has one.

#include <functional>
#include <string>

namespace kestrix {

struct UserPaths {
    bool installed = false;  // the program folder is not writable
    // Every folder ends with '/'.
    std::string programDir;   // Skin/, Languages/, Help/, service/FileServer
    std::string settingsDir;  // the folder whose Setting.ini is read
    std::string scratchDir;   // data.mdb
    std::string stateDir;     // FileServer.ini and FileServer.log
};

// What the resolution looks at, injectable for tests.
struct PathEnvironment {
    std::function<const char*(const char*)> getenv;      // like std::getenv
    std::function<bool(const std::string&)> writable;    // may create files in the folder
    std::function<bool(const std::string&)> fileExists;  // a regular file
    std::function<std::string()> home;                   // the user's home folder
    static PathEnvironment System();
};

// Resolves the folders for a program in `programDir` (ending with '/');
// creates nothing.
UserPaths ResolveUserPaths(const std::string& programDir, const PathEnvironment& env);
// For the running program, computed once.
const UserPaths& CurrentUserPaths();

// Creates `dir` and its missing parents; the folders made here are
// private to the user (0700). True when `dir` is a folder afterwards.
bool EnsureUserFolder(const std::string& dir);

}  // namespace kestrix
