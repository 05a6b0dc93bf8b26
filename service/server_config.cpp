#include "service/server_config.h"

#include "base/profile.h"
#include "service/tftp_options.h"

namespace kestrix::tftp {

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::optional<ServerConfig> LoadServerConfig(const std::string& ini_path, std::string* error) {
    auto profile = ProfileFile::Load(ini_path);
    if (!profile) {
        *error = "cannot read " + ini_path;
        return std::nullopt;
    }
    ServerConfig config;
    config.ini_path = ini_path;
    auto directory = profile->Find("SERVER", "Directory");
    if (!directory || directory->empty()) {
        *error = ini_path + ": [SERVER] Directory is not set";
        return std::nullopt;
    }
    config.directory = std::string(*directory);
    if (config.directory.front() != '/') {
        config.directory = FolderOf(ini_path) + "/" + config.directory;
    }
    if (auto port = profile->Find("SERVER", "Port"); port && !port->empty()) {
        auto number = ParseOptionNumber(std::string(*port));
        if (!number || *number < 1 || *number > 65535) {
            *error = ini_path + ": [SERVER] Port must be a number from 1 to 65535";
            return std::nullopt;
        }
        config.port = static_cast<uint16_t>(*number);
    }
    return config;
}

}  // namespace kestrix::tftp
