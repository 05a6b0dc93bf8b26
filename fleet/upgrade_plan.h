#pragma once
// What the firmware upgrade decides before anything is sent, shared by the
// upgrade dialog and `kestrix-cli upgrade`: how many devices may be picked,
// which device types the picked devices offer, whether a path names a
// firmware file, the UpgradeRequestBlock announcing that file, and the file
// server the devices fetch it from (configured, started and stopped by its
// process name, through an interface that tests replace).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/user_paths.h"
#include "fleet/selection.h"
#include "fleet/validation.h"
#include "link/wire/wire_format.h"

namespace kestrix {

// At most this many devices are upgraded at once, in one group.
inline constexpr size_t kMaxUpgradeTargets = 10;

// "Please select the devices!" for none, "Maximum selection of 10 devices!"
// for more than ten; both warnings.
RuleResult CheckUpgradeTargetCount(size_t count);

// One entry of the dialog's type box: a model name with its type code.
struct UpgradeTypeChoice {
    uint16_t type = 0;
    std::string modelName;
    bool operator==(const UpgradeTypeChoice&) const = default;
};
// The distinct model names of the targets' types, in target order.
std::vector<UpgradeTypeChoice> UpgradeTypeChoices(const std::vector<SelectedDevice>& targets);
// The targets of `type`, order kept.
std::vector<SelectedDevice> TargetsOfType(const std::vector<SelectedDevice>& targets,
                                          uint16_t type);

// The file checks of the dialog's Upgrade button: an empty path, then a path
// whose last four characters are neither ".bin" nor ".BIN". A name the
// request block cannot carry whole (its length byte counts at most 255
// bytes) is refused as well: a cut name names a file the devices cannot
// fetch.
RuleResult CheckUpgradePath(std::string_view path);

// The firmware file as the upgrade announces it.
struct UpgradeFile {
    std::string path;    // as entered
    std::string folder;  // the folder the file server serves (no trailing '/')
    std::string name;    // the file name without folder
    uint64_t size = 0;   // 0 when the file cannot be opened
    bool opened = false;
};
// Splits the path and takes the size of the file (opened for reading only;
// a directory or a file that cannot be read counts as not opened).
UpgradeFile InspectUpgradeFile(std::string_view path);
// The name in the local code page and its byte length, and the size. A
// size above what the block's 32 bits hold is announced as 0, like a file
// that could not be opened, rather than as a wrapped-around number.
UpgradeRequestBlock MakeUpgradeRequest(const UpgradeFile& file);

// ---- The file server ---------------------------------------------------------

// The process names ended before the server starts and on every way out:
// our own server, and the name an older server went by.
inline constexpr std::string_view kFileServerProcess = "FileServer";
inline constexpr std::string_view kOlderServerProcess = "tftpd32_svc_qk";

class FileServerControl {
public:
    virtual ~FileServerControl() = default;
    // Ends every process of both server names.
    virtual void TerminateAll() = 0;
    // Writes [SERVER] Directory= of the server's settings file.
    virtual bool WriteDirectory(const std::string& folder) = 0;
    // Starts the server hidden, without waiting for it.
    virtual bool StartHidden() = 0;
    virtual bool IsRunning() = 0;
};

// Where the server's settings file is written and what the server is
// started with. A copy that may write its program folder keeps
// FileServer.ini beside the server, which finds it there by itself; an
// installed copy cannot write there, so the file goes to the user's state
// folder and the server is told about it with --config.
struct FileServerFiles {
    std::string settingsPath;
    std::string parameters;  // for RunProgram; empty when the server needs none
    std::string folder;      // the folder to create before writing, when it is the user's
};
FileServerFiles ChooseFileServerFiles(const std::string& serviceDir, const UserPaths& paths);

// The real one: `serviceDir`/FileServer with the settings file chosen above.
class ProcessFileServer final : public FileServerControl {
public:
    // `serviceDir` ends with '/' (the program folder's "service/").
    explicit ProcessFileServer(std::string serviceDir);
    ProcessFileServer(std::string serviceDir, const UserPaths& paths);
    void TerminateAll() override;
    bool WriteDirectory(const std::string& folder) override;
    bool StartHidden() override;
    bool IsRunning() override;

    std::string ProgramPath() const;
    std::string SettingsPath() const;

private:
    std::string serviceDir_;
    FileServerFiles files_;
};

// The start's preparation: end the old copies, write the folder, start it.
// True when the server was started.
bool PrepareFileServer(FileServerControl& server, const std::string& folder);

}  // namespace kestrix
