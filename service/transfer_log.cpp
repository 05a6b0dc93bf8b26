#include "service/transfer_log.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrix::tftp {

std::string QuoteForLog(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    out += '"';
    return out;
}

TransferLog::TransferLog(const std::string& folder) {
    std::string path = folder + "/FileServer.log";
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && st.st_size > kRotateBytes) {
        std::rename(path.c_str(), (path + ".1").c_str());
    }
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
        file_ = fdopen(fd, "a");
        if (!file_) close(fd);
    }
}

TransferLog::~TransferLog() {
    if (file_) std::fclose(file_);
}

void TransferLog::Transfer(std::string_view peer, std::string_view file, uint64_t bytes,
                           std::string_view result) {
    Line("peer=" + std::string(peer) + " file=" + QuoteForLog(file) +
         " bytes=" + std::to_string(bytes) + " result=" + std::string(result));
}

void TransferLog::Note(std::string_view text) {
    Line(std::string(text));
}

void TransferLog::Line(const std::string& text) {
    char stamp[32] = "";
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (localtime_r(&now, &tm)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    FILE* out = file_ ? file_ : stderr;
    std::fprintf(out, "%s FileServer %s\n", stamp, text.c_str());
    std::fflush(out);
}

}  // namespace kestrix::tftp
