#include "fleet/upgrade_plan.h"

#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "base/os_utils.h"
#include "base/profile.h"
#include "store/field_texts.h"

namespace kestrix {

namespace {

// The request block's name length is one byte.
constexpr size_t kMaxRequestNameBytes = 255;

std::string_view FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

RuleResult CheckUpgradeTargetCount(size_t count) {
    if (count == 0) return RuleResult::Reject("Please select the devices!", MessageKind::kWarning);
    if (count > kMaxUpgradeTargets)
        return RuleResult::Reject("Maximum selection of 10 devices!", MessageKind::kWarning);
    return RuleResult::Accept();
}

std::vector<UpgradeTypeChoice> UpgradeTypeChoices(const std::vector<SelectedDevice>& targets) {
    std::vector<UpgradeTypeChoice> choices;
    for (const SelectedDevice& t : targets) {
        std::string name = ModelName(t.type);
        bool known = false;
        for (const UpgradeTypeChoice& c : choices) known = known || c.modelName == name;
        if (!known) choices.push_back({t.type, std::move(name)});
    }
    return choices;
}

std::vector<SelectedDevice> TargetsOfType(const std::vector<SelectedDevice>& targets,
                                          uint16_t type) {
    std::vector<SelectedDevice> out;
    for (const SelectedDevice& t : targets) {
        if (t.type == type) out.push_back(t);
    }
    return out;
}

RuleResult CheckUpgradePath(std::string_view path) {
    if (path.empty())
        return RuleResult::Reject("Please select the upgrade file!", MessageKind::kWarning);
    const std::string_view tail = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    if (tail != ".bin" && tail != ".BIN")
        return RuleResult::Reject("Upgrade file is not .bin file!", MessageKind::kWarning);
    if (FileNameOf(path).size() > kMaxRequestNameBytes)
        return RuleResult::Reject("Upgrade file name is too long!", MessageKind::kWarning);
    return RuleResult::Accept();
}

UpgradeFile InspectUpgradeFile(std::string_view path) {
    UpgradeFile f;
    f.path = std::string(path);
    f.name = std::string(FileNameOf(path));
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(f.path), ec);
    if (ec) absolute = std::filesystem::path(f.path);
    f.folder = absolute.parent_path().string();
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return f;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        f.opened = true;
        f.size = static_cast<uint64_t>(st.st_size);
    }
    ::close(fd);
    // The file server follows no symbolic link to a file, so a link (a
    // "latest.bin" pointing at the real image) is announced as the file it
    // names, from that file's folder; otherwise every device would be
    // refused the file it was told to fetch.
    struct stat link {};
    if (f.opened && ::lstat(f.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const std::filesystem::path real = std::filesystem::canonical(absolute, ec);
        if (!ec) {
            f.folder = real.parent_path().string();
            f.name = real.filename().string();
        }
    }
    return f;
}

UpgradeRequestBlock MakeUpgradeRequest(const UpgradeFile& file) {
    const uint64_t size = file.size <= std::numeric_limits<uint32_t>::max() ? file.size : 0;
    return BuildUpgradeRequestPayload(file.name, static_cast<uint32_t>(size));
}

// ---- The file server ---------------------------------------------------------

FileServerFiles ChooseFileServerFiles(const std::string& serviceDir, const UserPaths& paths) {
    FileServerFiles files;
    if (!paths.installed || paths.stateDir.empty() || paths.stateDir == serviceDir) {
        files.settingsPath = serviceDir + "FileServer.ini";
        return files;
    }
    files.folder = paths.stateDir;
    files.settingsPath = paths.stateDir + "FileServer.ini";
    // Quoted: a home folder may hold spaces. RunProgram's splitting has no
    // escape for a quote itself, and such a path would be cut wrongly, so
    // none is passed then and the start is refused.
    if (files.settingsPath.find('"') == std::string::npos)
        files.parameters = "--config \"" + files.settingsPath + "\"";
    return files;
}

ProcessFileServer::ProcessFileServer(std::string serviceDir)
    : ProcessFileServer(std::move(serviceDir), CurrentUserPaths()) {}

ProcessFileServer::ProcessFileServer(std::string serviceDir, const UserPaths& paths)
    : serviceDir_(std::move(serviceDir)), files_(ChooseFileServerFiles(serviceDir_, paths)) {}

std::string ProcessFileServer::ProgramPath() const {
    return serviceDir_ + std::string(kFileServerProcess);
}

std::string ProcessFileServer::SettingsPath() const {
    return files_.settingsPath;
}

void ProcessFileServer::TerminateAll() {
    COperateSystemInfo::TerminateProcessesByName(kOlderServerProcess);
    COperateSystemInfo::TerminateProcessesByName(kFileServerProcess);
}

bool ProcessFileServer::WriteDirectory(const std::string& folder) {
    if (!files_.folder.empty() && !EnsureUserFolder(files_.folder)) return false;
    return WriteProfileString(SettingsPath(), "SERVER", "Directory", folder);
}

bool ProcessFileServer::StartHidden() {
    // An installed copy's settings path that cannot be passed: the server
    // would read the program folder's stale file and serve the wrong folder.
    if (!files_.folder.empty() && files_.parameters.empty()) return false;
    return COperateSystemInfo::RunProgram(ProgramPath(), files_.parameters, false);
}

bool ProcessFileServer::IsRunning() {
    return COperateSystemInfo::FindProcessByName(kFileServerProcess).has_value();
}

bool PrepareFileServer(FileServerControl& server, const std::string& folder) {
    server.TerminateAll();
    server.WriteDirectory(folder);
    return server.StartHidden();
}

}  // namespace kestrix
