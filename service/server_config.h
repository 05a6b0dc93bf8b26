#pragma once
// The file server's settings: FileServer.ini beside the executable (or the
// file named with --config), section SERVER: Directory (the folder served)
// and Port (default 69).

#include <cstdint>
#include <optional>
#include <string>

namespace kestrix::tftp {

inline constexpr uint16_t kDefaultPort = 69;

struct ServerConfig {
    std::string ini_path;
    std::string directory;
    uint16_t port = kDefaultPort;
};

// nullopt with `error` set when the file cannot be read, Directory is
// missing or empty, or Port is not a number from 1 to 65535. A relative
// Directory is taken relative to the settings file's folder.
std::optional<ServerConfig> LoadServerConfig(const std::string& ini_path, std::string* error);

// The folder part of a path ("." when there is none).
std::string FolderOf(const std::string& path);

}  // namespace kestrix::tftp
