#pragma once
// The small services the program needs from the operating system: its own
// folder, file versions, starting programs, finding and ending processes by
// executable name, and two text helpers of the settings reader.
//
// Linux flavour: the program folder comes from /proc/self/exe, versions are
// the ones compiled into our executables, processes are found by walking
// /proc. Nothing here includes a Qt header; the CLI uses it too.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace kestrix {

class COperateSystemInfo {
public:
    COperateSystemInfo();

    // True when a 32-bit build runs on a 64-bit host. We only ship native
    // builds, so this is always false on Linux.
    bool IsWow64() const { return isWow64_; }
    // The program's operating-system version code. Codes above 4 meant
    // "asks for elevation through the shell"; Linux has no such shell verb,
    // so it reports the code of "any other platform", 3.
    int OsVersionCode() const { return osVersionCode_; }

    // The folder of the running executable (symbolic links resolved), with
    // a trailing '/'. Empty when /proc/self/exe cannot be read.
    static std::string ProgramFolder();
    // The same, computed once per process.
    static const std::string& ProgramFolderCached();

    // "%d.%d.%d.%d" of the version stamped into one of our executables
    // (the running one, the CLI, the file server); empty for any other file
    // and for files that cannot be read.
    static std::string FileVersionText(const std::string& path);

    // Starts `path` with `parameters` (split at blanks; double quotes group
    // a parameter that holds blanks) in the folder of `path`, with its
    // standard streams on /dev/null. With `wait`, returns once it ended.
    // True when the program was started (its exec succeeded).
    static bool RunProgram(const std::string& path, const std::string& parameters, bool wait);

    // The first live process whose executable file name is exactly `name`
    // (case-sensitive); processes that already ended (zombies) do not count.
    static std::optional<pid_t> FindProcessByName(std::string_view name);

    // Ends every process named `name`. Stops when none is left, when one
    // cannot be signalled, or when one survives its signal for longer than
    // a short grace period, so the loop always ends.
    static void TerminateProcessesByName(std::string_view name);

    // The same with the signal call injected (tests), returning how many
    // processes were signalled. `kill` behaves like ::kill.
    using KillFunction = std::function<int(pid_t, int)>;
    static int TerminateProcessesByName(std::string_view name, const KillFunction& kill,
                                        int graceMs = 2000);

private:
    bool isWow64_ = false;
    int osVersionCode_ = 3;
};

// The executable name of a process as FindProcessByName compares it: the
// file name of /proc/<pid>/exe (without a " (deleted)" suffix), else of the
// first word of its command line. Empty for ended or unknown processes.
std::string ProcessExecutableName(pid_t pid);

}  // namespace kestrix
